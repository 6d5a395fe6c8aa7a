// ky::mutex: re-entrant for its holder, exclusive for others.
#include <gtest/gtest.h>
#include <kymutex.h>

#include <thread>

namespace {

TEST(Mutex, OthersWaitForTheLastRelease) {
    ky::mutex m;
    const auto otherThreadCanLock = [&m] {
        bool locked = false;
        std::thread([&] { if ((locked = m.tryLock())) m.release(); }).join();
        return locked;
    };
    EXPECT_TRUE(m.lock());
    EXPECT_TRUE(m.lock());
    m.release();
    EXPECT_FALSE(otherThreadCanLock());
    m.release();
    EXPECT_TRUE(otherThreadCanLock());
}

}  // namespace
