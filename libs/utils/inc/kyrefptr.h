// Intrusive reference counting: the counting bases and the counted pointers.
//
// An object derived from refObj carries its own count, which starts at 0; a
// refPtr takes a reference with addRef and drops it with release, and the
// release that brings the count to 0 destroys the object (on that thread
// alone). Counts change atomically, so pointers to one object may be copied
// and dropped from several threads; a single refPtr is used by one thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "kyassert.h"
#include "kyutilsexport.h"

namespace ky {

using refCount_t = std::uint32_t;  ///< A reference count.

/// Atomic increment and decrement of a count; both return the new count.
/// Incrementing is relaxed; decrementing is acquire-release, so the thread that
/// destroys an object sees every write its other owners made.
inline refCount_t interlockedIncrement(std::atomic<refCount_t>& count) noexcept {
    return count.fetch_add(1, std::memory_order_relaxed) + 1;
}
inline refCount_t interlockedDecrement(std::atomic<refCount_t>& count) noexcept {  ///< See interlockedIncrement.
    return count.fetch_sub(1, std::memory_order_acq_rel) - 1;
}

/// The counting interface of every counted object.
/// An object implementing it is owned by its references; counts change
/// atomically, so references may be taken and dropped from several threads.
class KY_UTILS_API iRefCount {
public:
    /// The current count.
    virtual refCount_t refCount() const = 0;
    /// Adds one reference; answers the new count.
    virtual refCount_t addRef() const = 0;
    /// Drops one reference, destroying the object at 0; answers the new count.
    virtual refCount_t release() const = 0;

protected:
    ~iRefCount() = default;
};

/// The interface base of counted descriptors.
/// Its objects are owned by their references, as with iRefCount.
class KY_UTILS_API iRefObj : public iRefCount {
protected:
    ~iRefObj() = default;
};

/// Carries the count. Host objects kept as user properties derive from it.
/// The count is not copied with the object.
/// Owned by its references: the release that brings the count to 0 destroys
/// it. Counts change atomically and may be changed from several threads.
class KY_UTILS_API refObj {
public:
    /// Adds one reference; answers the new count.
    virtual refCount_t addRef() const;
    /// Drops one reference and destroys the object when it was the last.
    virtual refCount_t release() const;
    /// Ends the object's life: runs the virtual destructor and frees it.
    virtual void destroy() const;
    /// The current count.
    refCount_t refCount() const noexcept { return mCount.load(std::memory_order_relaxed); }

protected:
    refObj() noexcept = default;
    /// A copy starts with no references: the count is not copied.
    refObj(const refObj&) noexcept {}
    /// Keeps this object's count: the count is not assigned.
    refObj& operator=(const refObj&) noexcept { return *this; }
    virtual ~refObj();

private:
    mutable std::atomic<refCount_t> mCount{0};
};

/// The counting interface iRefObj answered by refObj's own count: the one
/// base of the counted descriptors. Owned by its references like refObj;
/// counts change atomically and may be changed from several threads.
class KY_UTILS_API countedRefObj : public iRefObj, public refObj {
public:
    /// The current count.
    refCount_t refCount() const override { return refObj::refCount(); }
    /// Adds one reference; answers the new count.
    refCount_t addRef() const override { return refObj::addRef(); }
    /// Drops one reference, destroying the object at 0; answers the new count.
    refCount_t release() const override { return refObj::release(); }

protected:
    /// An object with no references yet.
    countedRefObj() noexcept = default;
    /// Out of line, so that reRazud holds the virtual table.
    ~countedRefObj() override;
};

/// The file and lines the counted pointers report an empty dereference from.
inline constexpr const wchar_t* refPtrFile = L"libs/utils/inc/kyrefptr";
inline constexpr int refPtrLine = 144;       ///< The line a refPtr reports.
inline constexpr int constRefPtrLine = 315;  ///< The line a const_refPtr reports.
/// What a refPtr and a const_refPtr report when an empty one is dereferenced.
inline constexpr assertSite refPtrEmpty{L"m_p != NULL", refPtrFile, refPtrLine};
inline constexpr assertSite constRefPtrEmpty{L"m_p != NULL", refPtrFile, constRefPtrLine};  ///< See refPtrEmpty.

namespace detail {

/// What refPtr and const_refPtr share: one reference to a `P` (T or const T)
/// and the checked access to it. `Self` is the pointer type built on it, which
/// the assignments answer; an empty dereference reports `emptySite`. One
/// pointer is used by one thread at a time.
template <class P, class Self, const assertSite& emptySite>
class KY_UTILS_TEMPLATE countedPointer {
public:
    /// The type pointed to.
    using element_type = P;

    /// The object; an empty pointer reports "m_p != NULL" and throws false.
    P* operator->() const {
        KY_ASSERT_AT(m_p != NULL, emptySite);
        return m_p;
    }
    /// The object; an empty pointer reports "m_p != NULL" and throws false.
    P& operator*() const { return *operator->(); }
    /// The object, or null; never checks.
    P* get() const noexcept { return m_p; }
    /// Whether the pointer refers to an object.
    explicit operator bool() const noexcept { return m_p != nullptr; }
    /// Whether the pointer is empty.
    bool operator!() const noexcept { return m_p == nullptr; }
    /// Drops the reference and leaves the pointer empty.
    void reset() noexcept { drop(); m_p = nullptr; }

protected:
    /// An empty pointer.
    countedPointer() noexcept = default;
    /// Takes a new reference to `p` (may be null).
    explicit countedPointer(P* p) noexcept : m_p(p) { acquire(); }
    /// A copy takes a reference of its own.
    countedPointer(const countedPointer& other) noexcept : m_p(other.m_p) { acquire(); }
    /// Hands the other's reference over, leaving it empty.
    countedPointer(countedPointer&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    /// Drops the reference.
    ~countedPointer() { drop(); }
    /// Refers to the other's object.
    countedPointer& operator=(const countedPointer& other) noexcept {
        assign(other.m_p);
        return *this;
    }
    /// Hands the other's reference over.
    countedPointer& operator=(countedPointer&& other) noexcept {
        take(std::move(other));
        return *this;
    }
    /// Refers to `p`: the new reference is taken before the old one is
    /// dropped, so assigning a pointer to itself is safe.
    Self& assign(P* p) noexcept {
        if (p) p->addRef();
        P* old = std::exchange(m_p, p);
        if (old) old->release();
        return self();
    }
    /// Takes the other's reference over, leaving it empty; the old one is dropped.
    Self& take(countedPointer&& other) noexcept {
        if (this != &other) {
            P* old = std::exchange(m_p, std::exchange(other.m_p, nullptr));
            if (old) old->release();
        }
        return self();
    }
    /// This pointer as the type built on it.
    Self& self() noexcept { return static_cast<Self&>(*this); }

private:
    void acquire() const noexcept { if (m_p) m_p->addRef(); }
    void drop() noexcept { if (m_p) m_p->release(); }

    P* m_p = nullptr;
};

}  // namespace detail

/// A counted pointer to a T (a type with addRef and release).
/// It owns one reference; pointers to one object may be copied and dropped
/// from several threads, while a single refPtr is used by one thread.
template <class T>
class KY_UTILS_TEMPLATE refPtr : public detail::countedPointer<T, refPtr<T>, refPtrEmpty> {
    using base = detail::countedPointer<T, refPtr<T>, refPtrEmpty>;

public:
    /// An empty pointer.
    refPtr() noexcept = default;
    /// An empty pointer.
    refPtr(std::nullptr_t) noexcept {}
    /// Takes a new reference to `p` (may be null).
    refPtr(T* p) noexcept : base(p) {}
    /// A copy takes a reference of its own.
    refPtr(const refPtr& other) noexcept = default;
    /// Hands the other's reference over, leaving it empty.
    refPtr(refPtr&& other) noexcept = default;
    /// Takes a reference of its own to the other's object (a U converting to T).
    template <class U>
    refPtr(const refPtr<U>& other) noexcept : base(other.get()) {}

    /// Refers to another object: the new reference is taken before the old one
    /// is dropped, so assigning a pointer to itself is safe.
    refPtr& operator=(const refPtr& other) noexcept { return this->assign(other.get()); }
    /// Hands the other's reference over, leaving it empty; the old one is dropped.
    refPtr& operator=(refPtr&& other) noexcept { return this->take(std::move(other)); }
    /// Refers to `p` (may be null), taking a reference before dropping the old one.
    refPtr& operator=(T* p) noexcept { return this->assign(p); }
    /// Drops the reference and leaves the pointer empty.
    refPtr& operator=(std::nullptr_t) noexcept {
        this->reset();
        return *this;
    }
};

/// A counted pointer to a const T.
/// It owns one reference; pointers to one object may be copied and dropped
/// from several threads, while a single const_refPtr is used by one thread.
template <class T>
class KY_UTILS_TEMPLATE const_refPtr : public detail::countedPointer<const T, const_refPtr<T>, constRefPtrEmpty> {
    using base = detail::countedPointer<const T, const_refPtr<T>, constRefPtrEmpty>;

public:
    /// An empty pointer.
    const_refPtr() noexcept = default;
    /// An empty pointer.
    const_refPtr(std::nullptr_t) noexcept {}
    /// Takes a new reference to `p` (may be null).
    const_refPtr(const T* p) noexcept : base(p) {}
    /// Takes a reference of its own to the other's object.
    const_refPtr(const const_refPtr& other) noexcept = default;
    /// Hands the other's reference over, leaving it empty.
    const_refPtr(const_refPtr&& other) noexcept = default;
    /// Takes a reference of its own to the refPtr's object.
    template <class U>
    const_refPtr(const refPtr<U>& other) noexcept : base(other.get()) {}
    /// Takes a reference of its own to the other's object (a U converting to T).
    template <class U>
    const_refPtr(const const_refPtr<U>& other) noexcept : base(other.get()) {}

    /// Refers to another object; assigning a pointer to itself is safe.
    const_refPtr& operator=(const const_refPtr& other) noexcept { return this->assign(other.get()); }
    /// Hands the other's reference over, leaving it empty; the old one is dropped.
    const_refPtr& operator=(const_refPtr&& other) noexcept { return this->take(std::move(other)); }
    /// Refers to the refPtr's object, taking a reference before dropping the old one.
    template <class U>
    const_refPtr& operator=(const refPtr<U>& other) noexcept { return this->assign(other.get()); }
    /// Refers to `p` (may be null), taking a reference before dropping the old one.
    const_refPtr& operator=(const T* p) noexcept { return this->assign(p); }
    /// Drops the reference and leaves the pointer empty.
    const_refPtr& operator=(std::nullptr_t) noexcept {
        this->reset();
        return *this;
    }
};

/// Pointers, counted or const, compare by the object they refer to (`!=`
/// and the reversed forms follow from these).
template <class P, class S, const assertSite& L, class Q, class R, const assertSite& M>
bool operator==(const detail::countedPointer<P, S, L>& a, const detail::countedPointer<Q, R, M>& b) noexcept {
    return a.get() == b.get();
}
/// A pointer equals nullptr when it is empty.
template <class P, class S, const assertSite& L>
bool operator==(const detail::countedPointer<P, S, L>& a, std::nullptr_t) noexcept {
    return !a;
}

}  // namespace ky
