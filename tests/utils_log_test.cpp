// Loggers: the level filter, the host sink and the default sink.

#include <gtest/gtest.h>
#include <kylog.h>

#include <vector>

namespace {

using kylog::level;
using kylog::logManager;

// Installs a sink that records every line; restores sink and level after.
class Logging : public ::testing::Test {
protected:
    void SetUp() override {
        mPreviousLevel = logManager::getLevel();
        mPreviousSink = logManager::setSink([this](const kylog::logRecord& r) { records.push_back(r); });
    }
    void TearDown() override {
        logManager::setSink(mPreviousSink);
        logManager::setLevel(mPreviousLevel);
    }
    kylog::logger& log() { return logManager::getLogger(L"ky::tests::Logging"); }

    std::vector<kylog::logRecord> records;
    level mPreviousLevel = level::warn;

private:
    kylog::logSink mPreviousSink;
};

TEST_F(Logging, DefaultLevelIsWarn) { EXPECT_EQ(mPreviousLevel, level::warn); }

TEST_F(Logging, LinesBelowTheLevelNeverReachTheSink) {
    logManager::setLevel(level::warn);
    log().log_trace(L"t", L"f.cpp", 1, L"fn", nullptr);
    log().log_debug(L"d", L"f.cpp", 1, L"fn", nullptr);
    log().log_info(L"i", L"f.cpp", 1, L"fn", nullptr);
    EXPECT_TRUE(records.empty());
    logManager::setLevel(level::off);
    log().log_error(L"e", L"f.cpp", 1, L"fn", nullptr);
    EXPECT_TRUE(records.empty());
}

TEST_F(Logging, LinesAtOrAboveTheLevelReachTheSinkWithEveryField) {
    logManager::setLevel(level::debug);
    log().log_debug(L"made Person", L"libs/x.cpp", 42, L"ky::x::make", nullptr);
    ASSERT_EQ(records.size(), 1u);
    const kylog::logRecord& r = records.front();
    EXPECT_EQ(r.lvl, level::debug);
    EXPECT_EQ(r.logger, L"ky::tests::Logging");
    EXPECT_EQ(r.message, L"made Person");
    EXPECT_EQ(r.file, L"libs/x.cpp");
    EXPECT_EQ(r.line, 42);
    EXPECT_EQ(r.function, L"ky::x::make");
}

TEST_F(Logging, OneLoggerPerName) {
    EXPECT_EQ(&logManager::getLogger(L"a::b"), &logManager::getLogger(ky::string(L"a::b")));
    EXPECT_NE(&logManager::getLogger(L"a::b"), &logManager::getLogger(L"a::c"));
    EXPECT_EQ(logManager::getLogger(L"a::b").name(), L"a::b");
}

TEST_F(Logging, ASinkMayItselfLog) {
    logManager::setLevel(level::info);
    int calls = 0;
    logManager::setSink([&calls](const kylog::logRecord& r) {
        if (++calls == 1) logManager::getLogger(L"inner").log_info(r.message + L"!", L"", 0, L"", nullptr);
    });
    log().log_info(L"outer", L"", 0, L"", nullptr);
    EXPECT_EQ(calls, 2);
}

TEST_F(Logging, EmptySinkRestoresTheStandardErrorSink) {
    logManager::setSink(kylog::logSink());
    ::testing::internal::CaptureStderr();
    log().log_warn(L"Größe", L"libs/x.cpp", 7, L"fn", nullptr);
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("warn"), std::string::npos);
    EXPECT_NE(written.find("Gr\xC3\xB6\xC3\x9F" "e"), std::string::npos);
    EXPECT_NE(written.find("libs/x.cpp:7"), std::string::npos);
    EXPECT_TRUE(records.empty());
}

}  // namespace
