// The counting base refObj and the shared counters of sharedPtr.

#include "kyrefptr.h"
#include "kysharedptr.h"

namespace ky {

refObj::~refObj() = default;

refCount_t refObj::addRef() const { return interlockedIncrement(mCount); }

refCount_t refObj::release() const {
    const refCount_t count = interlockedDecrement(mCount);
    if (count == 0) destroy();
    return count;
}

void refObj::destroy() const { delete this; }

countedRefObj::~countedRefObj() = default;

namespace shptr {

std::atomic<refCount_t>* allocCounter() { return new std::atomic<refCount_t>(1); }

void releaseCounter(std::atomic<refCount_t>* counter) noexcept { delete counter; }

}  // namespace shptr

}  // namespace ky
