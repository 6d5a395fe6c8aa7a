// Generic values and sets.
//
// A genericValue is a type-erased value: it owns a holder (a holderbase)
// that knows the value's type and copies, converts and hands out the value.
// valueholder<T> owns a T, ptrholder<T> refers to a T owned elsewhere and
// constptrholder<T> refers read-only to one. A genericSet keeps generic
// values under interned keys. Values and sets are plain values used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "kyconvert.h"
#include "kyrefptr.h"
#include "kyscstring.h"
#include "kysharedptr.h"
#include "kystring.h"
#include "kyutilsexport.h"
#include "kyvalues.h"

namespace ky {

/// The holder of one value. Holders live in memory from allocate/deallocate.
/// A holder is owned by the genericValue holding it and used by one thread at a time.
class KY_UTILS_API holderbase {
public:
    virtual ~holderbase();
    /// A new holder of the same kind and value type.
    virtual holderbase* clone() const = 0;
    /// Assigns this holder's value to `other`, converting when the types differ.
    virtual bool copyTo(holderbase& other) const = 0;
    /// Assigns `other`'s value to this holder, converting when the types differ.
    virtual bool copyFrom(const holderbase& other) = 0;
    /// The type of the value.
    virtual const std::type_info& type() const = 0;
    /// Writable address of the value (null for a read-only holder).
    virtual void* ptr() = 0;
    /// Read-only address of the value (null for a ptrholder without target).
    virtual const void* constPtr() const = 0;
    /// Whether the value is owned elsewhere.
    virtual bool isReference() const = 0;

    /// Memory of holders.
    static void* allocate(std::size_t size);
    /// Returns memory taken with allocate() to the holders' pool.
    static void deallocate(void* p) noexcept;
    /// Allocates a holder from the holders' pool.
    static void* operator new(std::size_t size) { return allocate(size); }
    /// Frees a holder into the holders' pool.
    static void operator delete(void* p) noexcept { deallocate(p); }

protected:
    holderbase() = default;
    /// Copies the base part of a holder (for derived holders' clone()).
    holderbase(const holderbase&) = default;
    /// Assigns the base part of a holder.
    holderbase& operator=(const holderbase&) = default;
};

/// Throws false: the value of a holder cannot be reached.
[[noreturn]] KY_UTILS_API void throwNoValue();

/// The holders of a T: copying between two of them never converts.
/// Owned by the genericValue holding it and used by one thread at a time.
template <class T>
class KY_UTILS_API holder : public holderbase {
public:
    bool copyTo(holderbase& other) const override {
        // A holder without a value has nothing to copy, whatever the target.
        if (!constPtr()) throwNoValue();
        if (auto* same = dynamic_cast<holder<T>*>(&other)) {
            same->setValue(constValue());
            return true;
        }
        return typeConversionManager::instance().convert(other.type(), other.ptr(), type(), constPtr(), 0,
                                                         nullptr);
    }
    bool copyFrom(const holderbase& other) override {
        if (auto* same = dynamic_cast<const holder<T>*>(&other)) {
            setValue(same->constValue());
            return true;
        }
        return typeConversionManager::instance().convert(type(), ptr(), other.type(), other.constPtr(), 0,
                                                         nullptr);
    }
    const std::type_info& type() const override { return typeid(T); }

    /// The value itself, writable; throws false where it cannot be written.
    virtual T& value() = 0;
    /// The value itself; throws false where there is none.
    virtual const T& constValue() const = 0;
    /// Assigns to the value; does nothing where it cannot be written.
    virtual void setValue(const T& v) = 0;
};

/// A holder owning its own copy of a T, owned in turn by the genericValue
/// holding it; like that value, it is used by one thread at a time.
template <class T>
class KY_UTILS_API valueholder final : public holder<T> {
public:
    /// Holds its own copy of `v`; the overrides work on that copy.
    explicit valueholder(const T& v) : mValue(v) {}
    /// Holds its own copy of `v`, moved in.
    explicit valueholder(T&& v) : mValue(std::move(v)) {}

    holderbase* clone() const override { return new valueholder<T>(mValue); }
    void* ptr() override { return &mValue; }
    const void* constPtr() const override { return &mValue; }
    bool isReference() const override { return false; }
    T& value() override { return mValue; }
    const T& constValue() const override { return mValue; }
    void setValue(const T& v) override { mValue = v; }

private:
    T mValue;
};

/// A holder referring to a writable T owned elsewhere; the owner must keep the
/// T alive while the holder exists. It does not synchronise access to the T.
template <class T>
class KY_UTILS_API ptrholder final : public holder<T> {
public:
    /// Refers to `*p`, owned elsewhere (null: a holder without value, whose
    /// reads throw false and whose writes do nothing); clones share `p`.
    explicit ptrholder(T* p) : mPtr(p) {}

    holderbase* clone() const override { return new ptrholder<T>(mPtr); }
    void* ptr() override { return mPtr; }
    const void* constPtr() const override { return mPtr; }
    bool isReference() const override { return true; }
    T& value() override {
        if (!mPtr) throwNoValue();
        return *mPtr;
    }
    const T& constValue() const override {
        if (!mPtr) throwNoValue();
        return *mPtr;
    }
    void setValue(const T& v) override {
        if (mPtr) *mPtr = v;
    }

private:
    T* mPtr;
};

/// A holder referring read-only to a T owned elsewhere; the owner must keep
/// the T alive while the holder exists. It does not synchronise access to the T.
template <class T>
class KY_UTILS_API constptrholder final : public holder<T> {
public:
    /// Refers read-only to `*p`, owned elsewhere: value() throws false and
    /// setValue does nothing; clones share `p`.
    explicit constptrholder(const T* p) : mPtr(p) {}

    holderbase* clone() const override { return new constptrholder<T>(mPtr); }
    void* ptr() override { return nullptr; }
    const void* constPtr() const override { return mPtr; }
    bool isReference() const override { return true; }
    T& value() override { throwNoValue(); }
    const T& constValue() const override {
        if (!mPtr) throwNoValue();
        return *mPtr;
    }
    void setValue(const T&) override {}

private:
    const T* mPtr;
};

/// A type-erased value: empty, or one owned holder.
/// It owns its holder and is a plain value, used by one thread at a time.
class KY_UTILS_API genericValue {
public:
    /// An empty value.
    genericValue() noexcept = default;
    /// Takes ownership of `h` (may be null).
    explicit genericValue(holderbase* h) noexcept : mHolder(h) {}
    /// A copy clones the other's holder (an empty value copies empty).
    genericValue(const genericValue& other) : mHolder(other.mHolder ? other.mHolder->clone() : nullptr) {}
    /// Takes over the other's holder, leaving it empty.
    genericValue(genericValue&& other) noexcept : mHolder(std::exchange(other.mHolder, nullptr)) {}
    /// Destroys the holder.
    ~genericValue() { delete mHolder; }

    /// Destroys the held value, then clones the other's; self-assignment does nothing.
    genericValue& operator=(const genericValue& other);
    /// Takes over the other's holder, leaving it empty; the old value is destroyed.
    genericValue& operator=(genericValue&& other) noexcept;

    /// A value holding a copy of `v`.
    template <class T>
    static genericValue create(const T& v) { return genericValue(new valueholder<T>(v)); }
    /// A value holding a copy of `text` as a ky::string.
    static genericValue create(const wchar_t* text) { return create(string(text)); }

    /// Whether the value holds nothing.
    bool empty() const noexcept { return mHolder == nullptr; }
    /// The holder (null when empty).
    holderbase* getHolder() noexcept { return mHolder; }
    /// The holder, read-only (null when empty).
    const holderbase* getHolder() const noexcept { return mHolder; }
    /// Gives up the holder to the caller, leaving the value empty.
    holderbase* detach() noexcept { return std::exchange(mHolder, nullptr); }
    /// Destroys the held value.
    void reset() noexcept { delete std::exchange(mHolder, nullptr); }
    /// The type of the held value (typeid(void) when empty).
    const std::type_info& type() const noexcept { return mHolder ? mHolder->type() : typeid(void); }

    /// Reads the value into `out`, converting when its type differs; false when
    /// the value is empty or does not convert (then `out` is unchanged).
    template <class T>
    bool read(T& out) const {
        if (!mHolder) return false;
        ptrholder<T> target(&out);
        return mHolder->copyTo(target);
    }
    /// Reads the value as a T; throws false when it is empty or does not convert.
    template <class T>
    T strictRead() const {
        T out{};
        if (!read(out)) throwNoValue();
        return out;
    }
    /// The held T itself when the value holds exactly a T, else null (no
    /// conversion is tried).
    template <class T>
    holder<T>* as() noexcept { return dynamic_cast<holder<T>*>(mHolder); }
    /// The held T itself, read-only, when the value holds exactly a T, else null.
    template <class T>
    const holder<T>* as() const noexcept { return dynamic_cast<const holder<T>*>(mHolder); }
    /// Address of the held T when the value holds exactly a writable T, else null.
    template <class T>
    T* valuePtr() noexcept {
        auto* h = as<T>();
        return h ? static_cast<T*>(h->ptr()) : nullptr;
    }
    /// Read-only address of the held T when the value holds exactly a T, else null.
    template <class T>
    const T* constValuePtr() const noexcept {
        auto* h = as<T>();
        return h ? static_cast<const T*>(h->constPtr()) : nullptr;
    }
    /// Assigns `text` to the held value, converting it to the value's type;
    /// false when the value is empty or the text does not convert.
    bool assignFromText(const string& text);

private:
    holderbase* mHolder = nullptr;
};

/// The key of a genericSet entry, given as an interned name, a wide text or a
/// string. Stores intern a text key; lookups only find it, so looking up a
/// name that was never stored does not grow the intern table.
/// A text key does not own its text, which must outlive it; one thread at a time.
class KY_UTILS_API genericKey {
public:
    /// A key given by an interned name.
    genericKey(const scString& key) noexcept : mKey(key) {}
    /// A key given by a wide text (null is the empty text), which must outlive the key.
    genericKey(const wchar_t* text) noexcept : mText(text ? text : L""), mLength(std::char_traits<wchar_t>::length(mText)) {}
    /// A key given by a string, which must outlive the key.
    genericKey(const string& text) noexcept : mText(text.c_str()), mLength(text.size()) {}

    /// The interned key, interning a text key on first use.
    scString intern() const { return mText ? scString::createFrom(mText, mLength) : mKey; }
    /// The interned key without interning; false for a text never interned.
    bool find(scString& key) const noexcept {
        if (!mText) {
            key = mKey;
            return true;
        }
        return scString::find(mText, mLength, key);
    }

private:
    scString mKey;
    const wchar_t* mText = nullptr;  ///< set for a text key
    std::size_t mLength = 0;
};

/// Generic values under interned keys. An empty set costs one pointer.
/// The set owns its values and is a plain value, used by one thread at a time.
class KY_UTILS_API genericSet {
public:
    /// An empty set (allocates nothing).
    genericSet() noexcept = default;
    /// Copies clone every value; the copy is independent of the original.
    genericSet(const genericSet& other);
    /// Takes over the other's entries, leaving it empty.
    genericSet(genericSet&& other) noexcept = default;
    /// Replaces the entries with clones of the other's.
    genericSet& operator=(const genericSet& other);
    /// Takes over the other's entries, leaving it empty.
    genericSet& operator=(genericSet&& other) noexcept = default;
    ~genericSet();

    /// The value stored under `key`, or null.
    const ky::genericValue* genericValue(const genericKey& key) const noexcept;
    /// The value stored under `key`, writable, or null.
    ky::genericValue* genericValue(const genericKey& key) noexcept;
    /// Stores a copy of `value` under `key`, replacing what was there; true.
    /// `flag` is kept for callers that pass it and does not change the outcome.
    bool setGenericValue(const genericKey& key, const ky::genericValue& value, bool flag);
    /// Stores `value` under `key`, replacing what was there; true. With `flag`
    /// false the set takes over the value's holder (leaving `value` empty),
    /// with true it stores a copy.
    bool _setGenericValue(const genericKey& key, ky::genericValue& value, bool flag);
    /// Removes the entry of `key`; false when there was none.
    bool erase(const genericKey& key);
    /// Whether an entry of `key` exists.
    bool contains(const genericKey& key) const noexcept { return genericValue(key) != nullptr; }
    /// The number of entries.
    std::size_t size() const noexcept { return mEntries ? mEntries->size() : 0; }
    /// Whether the set has no entry.
    bool empty() const noexcept { return size() == 0; }
    /// Removes every entry.
    void clear() noexcept { mEntries.reset(); }
    /// The keys in key order.
    std::vector<scString> keys() const;

    /// Stores a copy of `v` under `key` (see _setGenericValue for `flag`).
    template <class T>
    bool setValue(const genericKey& key, const T& v, bool flag) {
        ky::genericValue temp = ky::genericValue::create(v);
        const bool stored = _setGenericValue(key, temp, flag);
        temp.reset();
        return stored;
    }
    /// Reads the value under `key` into `out`, converting it; false when the
    /// key is missing, its value empty or not convertible.
    template <class T>
    bool getValue(const genericKey& key, T& out) const {
        const ky::genericValue* v = genericValue(key);
        return v && !v->empty() && v->read(out);
    }
    /// Points `out` at the T stored under `key` when the entry holds exactly a
    /// T; false (and `out` unchanged) otherwise. `out` may point to const T.
    template <class T>
    bool getValuePtr(const genericKey& key, T*& out) noexcept {
        ky::genericValue* v = genericValue(key);
        T* p = v ? v->valuePtr<std::remove_const_t<T>>() : nullptr;
        if (p) out = p;
        return p != nullptr;
    }
    /// Points `out` at the read-only T stored under `key` when the entry holds
    /// exactly a T; false (and `out` unchanged) otherwise.
    template <class T>
    bool getValuePtr(const genericKey& key, const T*& out) const noexcept {
        const ky::genericValue* v = genericValue(key);
        const T* p = v ? v->constValuePtr<T>() : nullptr;
        if (p) out = p;
        return p != nullptr;
    }

private:
    using entry = std::pair<scString, ky::genericValue>;
    using entries = std::vector<entry>;
    entry* find(const scString& key) const noexcept;
    entries& ensure();

    std::unique_ptr<entries> mEntries;  ///< null while the set is empty; sorted by key
};

/// Holders instantiated and exported by this library: every value type gets
/// a valueholder, those read through a pointer also a ptrholder.
#define KY_UTILS_POINTER_VALUE_TYPES(X)                                                          \
    X(bool) X(short) X(int) X(long) X(float) X(double) X(string) X(refPtr<refObj>) X(date) X(time) \
        X(timestamp) X(binaryBuffer) X(directory) X(file)
#define KY_UTILS_VALUE_ONLY_TYPES(X) X(std::vector<string>) X(std::vector<scString>) X(searchPath)  ///< The types held only by value.

#define KY_UTILS_EXTERN_HOLDER(T) extern template class holder<T>; extern template class valueholder<T>;  ///< Declares the holders of `T` that reRazud instantiates.
#define KY_UTILS_EXTERN_PTRHOLDER(T) extern template class ptrholder<T>;  ///< Declares the pointer holder of `T` that reRazud instantiates.
KY_UTILS_POINTER_VALUE_TYPES(KY_UTILS_EXTERN_HOLDER)
KY_UTILS_VALUE_ONLY_TYPES(KY_UTILS_EXTERN_HOLDER)
KY_UTILS_POINTER_VALUE_TYPES(KY_UTILS_EXTERN_PTRHOLDER)
extern template class constptrholder<string>;
#undef KY_UTILS_EXTERN_HOLDER
#undef KY_UTILS_EXTERN_PTRHOLDER

}  // namespace ky
