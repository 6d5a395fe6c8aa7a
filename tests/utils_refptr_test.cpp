// Reference counting: refObj, refPtr and const_refPtr.
#include <gtest/gtest.h>
#include <kyrefptr.h>

#include <thread>
#include <vector>

namespace {

// Counts how many of its kind were destroyed.
class counted : public ky::refObj {
public:
    explicit counted(int& destroyed) : mDestroyed(&destroyed) {}
    counted(const counted&) = default;

protected:
    ~counted() override { ++*mDestroyed; }

private:
    int* mDestroyed;
};

class RefCounting : public ::testing::Test {
protected:
    counted* make() { return new counted(destroyed); }
    int destroyed = 0;
};

// A copied object starts its own count; re-pointing at the same object keeps
// it alive.
TEST_F(RefCounting, TheLastReleaseDestroys) {
    counted* raw = make();
    EXPECT_EQ(raw->refCount(), 0u);
    ky::refPtr<counted> a(raw);
    ky::refPtr<counted> b = a;
    ky::refPtr<counted> other(new counted(*a));
    ky::refPtr<counted> c = std::move(b);
    a = a.get();
    EXPECT_FALSE(b);
    EXPECT_EQ(c->refCount(), 2u);
    EXPECT_EQ(other->refCount(), 1u);
    c.reset();
    EXPECT_EQ(a->refCount(), 1u);
    a = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST_F(RefCounting, CopiesFromSeveralThreadsKeepTheCountExact) {
    ky::refPtr<counted> shared(make());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared] { for (int i = 0; i < 20000; ++i) ky::refPtr<counted> copy = shared; });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(shared->refCount(), 1u);
}

}  // namespace
