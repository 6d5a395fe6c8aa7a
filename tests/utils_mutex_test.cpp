// ky::mutex: re-entrant for its holder, exclusive for others.

#include <gtest/gtest.h>
#include <kymutex.h>

#include <thread>

namespace {

bool otherThreadCanLock(ky::mutex& m) {
    bool locked = false;
    std::thread([&] {
        locked = m.tryLock();
        if (locked) m.release();
    }).join();
    return locked;
}

TEST(Mutex, HolderMayLockAgainAndOthersWaitForTheLastRelease) {
    ky::mutex m;
    EXPECT_TRUE(m.lock());
    EXPECT_TRUE(m.lock());
    EXPECT_FALSE(otherThreadCanLock(m));
    m.release();
    EXPECT_FALSE(otherThreadCanLock(m));
    m.release();
    EXPECT_TRUE(otherThreadCanLock(m));
}

}  // namespace
