// scString: the process-wide intern table.
#include <gtest/gtest.h>
#include <kyscstring.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using ky::scString;
using ky::string;

TEST(ScString, EqualTextsGiveEqualHandles) {
    const scString a = scString::createFrom(L"alpha");
    EXPECT_EQ(a, scString::createFrom(string(L"alpha")));
    EXPECT_EQ(a, scString::createFrom(L"alphabet", 5));
    EXPECT_EQ(a.string(), L"alpha");
    EXPECT_EQ(a.hash(), scString::hashOf(L"alpha", 5));
    EXPECT_NE(scString::createFrom(L"Name"), scString::createFrom(L"name"));
    const scString withNul = scString::createFrom(L"a\0b", 3);
    EXPECT_NE(withNul, scString::createFrom(L"a"));
    EXPECT_EQ(withNul.length(), 3u);
    EXPECT_EQ(scString::createFrom(L""), scString());
    EXPECT_EQ(scString::createFrom(static_cast<const wchar_t*>(nullptr)), scString());
    EXPECT_TRUE(scString().empty());
    EXPECT_EQ(scString().c_str()[0], L'\0');
}

// Enough names to make the table grow while the threads race; each thread
// walks them from another starting point. Distinct texts keep distinct
// handles, as each handle reads back its own text.
TEST(ScString, EqualTextsInternedFromSeveralThreadsAtOnceGiveEqualHandles) {
    constexpr int threadCount = 4;
    constexpr int nameCount = 5000;
    const auto name = [](int i) { return string::sformat(L"scstring-test.threads.%d", i); };
    std::vector<std::vector<scString>> handles(threadCount, std::vector<scString>(nameCount));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < threadCount) std::this_thread::yield();
            for (int k = 0; k < nameCount; ++k) {
                const int i = (k + t * nameCount / threadCount) % nameCount;
                handles[t][i] = scString::createFrom(name(i));
            }
        });
    }
    for (std::thread& th : threads) th.join();

    for (int i = 0; i < nameCount; ++i) {
        for (int t = 1; t < threadCount; ++t) ASSERT_EQ(handles[t][i], handles[0][i]) << "name " << i;
        ASSERT_EQ(handles[0][i].string(), name(i));
    }
}

}  // namespace
