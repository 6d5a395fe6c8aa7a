// Loggers: the level filter, the host sink and the default sink.
#include "test_support.h"

namespace kytest {
namespace {

using kylog::level;
using kylog::logManager;

kylog::logger& testLogger() { return logManager::getLogger(L"ky::tests::Logging"); }

TEST(Logging, LinesBelowTheLevelNeverReachTheSinkOthersArriveWithEveryField) {
    EXPECT_EQ(logManager::getLevel(), level::warn);
    logRecorder log;
    logManager::setLevel(level::off);
    testLogger().log_error(L"e", L"f.cpp", 1, L"fn", nullptr);
    logManager::setLevel(level::debug);
    testLogger().log_trace(L"t", L"f.cpp", 1, L"fn", nullptr);
    testLogger().log_debug(L"made Person", L"libs/x.cpp", 42, L"ky::x::make", nullptr);
    ASSERT_EQ(log.lines.size(), 1u);
    const kylog::logRecord& r = log.lines.front();
    EXPECT_EQ(r.lvl, level::debug);
    EXPECT_EQ(r.logger, L"ky::tests::Logging");
    EXPECT_EQ(r.message, L"made Person");
    EXPECT_EQ(r.file, L"libs/x.cpp");
    EXPECT_EQ(r.line, 42);
    EXPECT_EQ(r.function, L"ky::x::make");
}

TEST(Logging, ASinkMayItselfLog) {
    logRecorder log;
    int calls = 0;
    logManager::setSink([&calls](const kylog::logRecord& r) {
        if (++calls == 1) logManager::getLogger(L"inner").log_info(r.message + L"!", L"", 0, L"", nullptr);
    });
    testLogger().log_info(L"outer", L"", 0, L"", nullptr);
    EXPECT_EQ(calls, 2);

    logManager::setSink(kylog::logSink());
    ::testing::internal::CaptureStderr();
    testLogger().log_warn(L"Größe", L"libs/x.cpp", 7, L"fn", nullptr);
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("Gr\xC3\xB6\xC3\x9F" "e"), std::string::npos);
    EXPECT_NE(written.find("libs/x.cpp:7"), std::string::npos);
}

TEST(Logging, ASinkMayTakeTheLinePartByPart) {
    logRecorder log;
    std::vector<std::wstring> seen;
    logManager::setSink([&seen](kylog::level l, const ky::string& logger, const ky::string& message,
                                const ky::string& file, int line, const ky::string& function) {
        seen = {kylog::levelName(l), logger, message, file, std::to_wstring(line), function};
    });
    testLogger().log_info(L"hello", L"libs/y", 3, L"ky::y::f", nullptr);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"info", testLogger().name(), L"hello", L"libs/y", L"3", L"ky::y::f"}));
}

TEST(Logging, ALoggerIsFetchedByItsNameInEitherForm) {
    kylog::logger& byText = logManager::getLogger(ky::string(L"ky::tests::Logging"));
    EXPECT_EQ(&byText, &testLogger());
    EXPECT_EQ(byText.name(), L"ky::tests::Logging");
}

TEST(Logging, ALoggerWritesWhatTheManagersLevelLetsThrough) {
    logRecorder log;
    logManager::setLevel(level::error);
    EXPECT_FALSE(testLogger().isEnabled(level::warn));
    EXPECT_TRUE(testLogger().isEnabled(level::fatal));
    logManager::setLevel(level::off);
    EXPECT_FALSE(testLogger().isEnabled(level::off));
}

// The object a line is about is the host's; the line arrives as any other.
TEST(Logging, ALineAboutAnObjectArrives) {
    logRecorder log;
    const kylog::iLogObj subject;
    testLogger().log(level::info, L"about", L"", 0, L"", &subject);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines.front().message, L"about");
}

TEST(Logging, EachLevelHasItsWord) {
    const std::vector<std::wstring> words{kylog::levelName(level::trace), kylog::levelName(level::debug),
                                          kylog::levelName(level::info),  kylog::levelName(level::warn),
                                          kylog::levelName(level::error), kylog::levelName(level::fatal),
                                          kylog::levelName(level::off)};
    EXPECT_EQ(words, (std::vector<std::wstring>{L"trace", L"debug", L"info", L"warn", L"error", L"fatal", L"off"}));
}

}  // namespace
}  // namespace kytest
