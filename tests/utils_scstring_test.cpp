// scString: the process-wide intern table.
#include <gtest/gtest.h>
#include <kyscstring.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

using ky::scString;
using ky::string;

// Names unique to one test, so tests do not see each other's entries.
string uniqueName(const wchar_t* prefix, int i) { return string::sformat(L"scstring-test.%s.%d", prefix, i); }

TEST(ScString, EqualTextsGiveEqualHandlesCaseAndEmbeddedNulsCountTheEmptyTextIsTheDefault) {
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
    EXPECT_TRUE(scString().empty() && scString().c_str()[0] == L'\0');
}

TEST(ScString, HandlesAndTextsSurviveTableGrowth) {
    std::vector<scString> handles;
    for (int i = 0; i < 20000; ++i) handles.push_back(scString::createFrom(uniqueName(L"grow", i)));
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(handles[i], scString::createFrom(uniqueName(L"grow", i)));
        ASSERT_EQ(handles[i].string(), uniqueName(L"grow", i));
    }
}

TEST(ScString, EqualTextsInternedFromSeveralThreadsAtOnceGiveEqualHandles) {
    constexpr int threadCount = 4;
    constexpr int nameCount = 4000;
    std::vector<std::vector<scString>> handles(threadCount, std::vector<scString>(nameCount));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < threadCount) std::this_thread::yield();
            // Each thread walks the names from another starting point.
            for (int k = 0; k < nameCount; ++k) {
                const int i = (k + t * nameCount / threadCount) % nameCount;
                handles[t][i] = scString::createFrom(uniqueName(L"threads", i));
            }
        });
    }
    for (std::thread& th : threads) th.join();

    std::set<scString> distinct;
    for (int i = 0; i < nameCount; ++i) {
        for (int t = 1; t < threadCount; ++t) ASSERT_EQ(handles[t][i], handles[0][i]) << "name " << i;
        distinct.insert(handles[0][i]);
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(nameCount));
}

}  // namespace
