// Generic values and sets, and the holder instantiations this library exports.

#include "kygeneric.h"

#include <algorithm>

namespace ky {

// ---- holders ---------------------------------------------------------------

holderbase::~holderbase() = default;

void* holderbase::allocate(std::size_t size) { return ::operator new(size); }

void holderbase::deallocate(void* p) noexcept { ::operator delete(p); }

void throwNoValue() { throw false; }

// ---- genericValue ----------------------------------------------------------

genericValue& genericValue::operator=(const genericValue& other) {
    if (this != &other) {
        reset();
        if (other.mHolder) mHolder = other.mHolder->clone();
    }
    return *this;
}

genericValue& genericValue::operator=(genericValue&& other) noexcept {
    if (this != &other) {
        reset();
        mHolder = std::exchange(other.mHolder, nullptr);
    }
    return *this;
}

bool genericValue::assignFromText(const string& text) {
    if (!mHolder) return false;
    const constptrholder<string> source(&text);
    return mHolder->copyFrom(source);
}

// ---- genericSet ------------------------------------------------------------

namespace {

bool keyLess(const std::pair<scString, genericValue>& e, const scString& key) noexcept { return e.first < key; }

}  // namespace

genericSet::genericSet(const genericSet& other)
    : mEntries(other.empty() ? nullptr : std::make_unique<entries>(*other.mEntries)) {}

genericSet& genericSet::operator=(const genericSet& other) {
    if (this != &other) {
        genericSet copy(other);
        mEntries = std::move(copy.mEntries);
    }
    return *this;
}

genericSet::~genericSet() = default;

genericSet::entry* genericSet::find(const scString& key) const noexcept {
    if (!mEntries) return nullptr;
    const auto at = std::lower_bound(mEntries->begin(), mEntries->end(), key, keyLess);
    return at != mEntries->end() && at->first == key ? &*at : nullptr;
}

genericSet::entries& genericSet::ensure() {
    if (!mEntries) mEntries = std::make_unique<entries>();
    return *mEntries;
}

const ky::genericValue* genericSet::genericValue(const genericKey& key) const noexcept {
    scString k;
    const entry* e = key.find(k) ? find(k) : nullptr;
    return e ? &e->second : nullptr;
}

ky::genericValue* genericSet::genericValue(const genericKey& key) noexcept {
    scString k;
    entry* e = key.find(k) ? find(k) : nullptr;
    return e ? &e->second : nullptr;
}

bool genericSet::setGenericValue(const genericKey& name, const ky::genericValue& value, bool) {
    const scString key = name.intern();
    if (entry* e = find(key)) {
        e->second = value;
        return true;
    }
    entries& all = ensure();
    all.emplace(std::lower_bound(all.begin(), all.end(), key, keyLess), key, value);
    return true;
}

bool genericSet::_setGenericValue(const genericKey& name, ky::genericValue& value, bool flag) {
    if (flag) return setGenericValue(name, value, flag);
    const scString key = name.intern();
    if (entry* e = find(key)) {
        e->second = std::move(value);
        return true;
    }
    entries& all = ensure();
    all.emplace(std::lower_bound(all.begin(), all.end(), key, keyLess), key, std::move(value));
    return true;
}

bool genericSet::erase(const genericKey& name) {
    scString key;
    entry* e = name.find(key) ? find(key) : nullptr;
    if (!e) return false;
    mEntries->erase(mEntries->begin() + (e - mEntries->data()));
    if (mEntries->empty()) mEntries.reset();
    return true;
}

std::vector<scString> genericSet::keys() const {
    std::vector<scString> result;
    if (mEntries) {
        result.reserve(mEntries->size());
        for (const entry& e : *mEntries) result.push_back(e.first);
    }
    return result;
}

// ---- exported instantiations -----------------------------------------------
//
// The holder templates carry the library's export attribute, so these
// definitions give every holder below one vtable and one type_info, exported
// from this library; hosts see them through the extern declarations of
// kygeneric.h, and dynamic_cast agrees on both sides of the boundary.

#define KY_UTILS_HOLDER(T) template class holder<T>; template class valueholder<T>;
#define KY_UTILS_PTRHOLDER(T) template class ptrholder<T>;
KY_UTILS_POINTER_VALUE_TYPES(KY_UTILS_HOLDER)
KY_UTILS_VALUE_ONLY_TYPES(KY_UTILS_HOLDER)
KY_UTILS_POINTER_VALUE_TYPES(KY_UTILS_PTRHOLDER)
template class constptrholder<string>;
#undef KY_UTILS_HOLDER
#undef KY_UTILS_PTRHOLDER

}  // namespace ky
