// sharedPtr, a shared owning pointer whose count lives beside the object.
//
// Copies share one counter (from shptr::allocCounter); the last copy to go
// deletes the object with its deleter D and frees the counter. Copies of one
// sharedPtr may be made and dropped from several threads.
#pragma once

#include <atomic>
#include <utility>

#include "kyrefptr.h"
#include "kyutilsexport.h"

namespace ky {

/// Deletes an object with `delete` (its virtual destructor, if any).
/// The default deleter of sharedPtr; it holds no state, so any thread may use it.
template <class T>
struct KY_UTILS_TEMPLATE deleteObj {
    /// Deletes `p`.
    void operator()(T* p) const noexcept { delete p; }
};

namespace shptr {
/// A new shared counter holding 1.
KY_UTILS_API std::atomic<refCount_t>* allocCounter();
/// Frees a counter made by allocCounter.
KY_UTILS_API void releaseCounter(std::atomic<refCount_t>* counter) noexcept;
}  // namespace shptr

template <class T, class D = deleteObj<T>>
/// A shared owning pointer to a T whose counter lives beside the object; the
/// last copy to go deletes the object with D. Copies of one sharedPtr may be
/// made and dropped from several threads; a single sharedPtr is used by one.
class KY_UTILS_TEMPLATE sharedPtr {
public:
    /// An empty pointer.
    sharedPtr() noexcept = default;
    /// Takes ownership of `p` (null gives an empty pointer).
    explicit sharedPtr(T* p) : mPtr(p), mCount(p ? shptr::allocCounter() : nullptr) {}
    /// A copy shares the object and its counter.
    sharedPtr(const sharedPtr& other) noexcept : mPtr(other.mPtr), mCount(other.mCount) {
        if (mCount) interlockedIncrement(*mCount);
    }
    /// Hands the object and its counter over, leaving the other empty.
    sharedPtr(sharedPtr&& other) noexcept
        : mPtr(std::exchange(other.mPtr, nullptr)), mCount(std::exchange(other.mCount, nullptr)) {}
    /// The last pointer to go deletes the object.
    ~sharedPtr() { drop(); }

    /// Shares another object, letting go of the current one.
    sharedPtr& operator=(const sharedPtr& other) noexcept {
        sharedPtr copy(other);
        swap(copy);
        return *this;
    }
    /// Takes over the other's object, leaving it empty; lets go of the current one.
    sharedPtr& operator=(sharedPtr&& other) noexcept {
        sharedPtr moved(std::move(other));
        swap(moved);
        return *this;
    }

    /// The object, or null.
    T* get() const noexcept { return mPtr; }
    /// The object (null when empty; never checks).
    T* operator->() const noexcept { return mPtr; }
    /// The object; the pointer must not be empty.
    T& operator*() const noexcept { return *mPtr; }
    /// Whether the pointer owns an object.
    explicit operator bool() const noexcept { return mPtr != nullptr; }
    /// How many sharedPtr share the object (0 when empty).
    refCount_t useCount() const noexcept { return mCount ? mCount->load() : 0; }
    /// Lets go of the object and leaves the pointer empty.
    void reset() noexcept { drop(); mPtr = nullptr; mCount = nullptr; }
    /// Exchanges objects with `other`.
    void swap(sharedPtr& other) noexcept {
        std::swap(mPtr, other.mPtr);
        std::swap(mCount, other.mCount);
    }
    /// Equal when both share the same object.
    friend bool operator==(const sharedPtr& a, const sharedPtr& b) noexcept { return a.mPtr == b.mPtr; }

private:
    void drop() noexcept {
        if (mCount && interlockedDecrement(*mCount) == 0) {
            D()(mPtr);
            shptr::releaseCounter(mCount);
        }
    }

    T* mPtr = nullptr;
    std::atomic<refCount_t>* mCount = nullptr;
};

}  // namespace ky
