// Assertion reports: the report text, the thrown false and the host handler.
#include "test_support.h"

#include <kyassert.h>

namespace kytest {
namespace {

TEST(AssertReport, MacroReportIsCutToTheBuffer) {
    expectThrow([] { KY_ASSERT(1 + 1 == 3, L"src/some file.cpp", 7); },
                L"Assertion failed:\n1 + 1 == 3\n\nFile: src/some file.cpp\nLine: 7");
    const std::wstring condition(5000, L'c');
    expectThrow([&] { ky::assertFailed(condition.c_str(), L"f", 1); },
                L"Assertion failed:\n" + condition.substr(0, 1023 - 18));
}

TEST(AssertReport, NullHandlerRestoresTheDefaultWhichWritesUtf8ToStandardError) {
    assertCatcher catcher;
    const ky::assertHandler mine = ky::setAssertHandler(nullptr);
    ::testing::internal::CaptureStderr();
    ky::assertMsg(L"Grüße");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Gr\xC3\xBC\xC3\x9F" "e"), std::string::npos);
    EXPECT_TRUE(assertCatcher::reports().empty());
    EXPECT_TRUE(ky::setAssertHandler(mine));
}

TEST(AssertReport, HandlersMayTakeTheTextAsAString) {
    static std::vector<ky::string> seen;
    const ky::assertHandler previous = ky::setAssertHandler([](const ky::string& text) { seen.push_back(text); });
    EXPECT_TRUE(throwsFalse([] { ky::assertFailed(L"x", L"f", 2); }));
    ky::setAssertHandler(previous);
    EXPECT_EQ(seen, std::vector<ky::string>{L"Assertion failed:\nx\n\nFile: f\nLine: 2"});
}

}  // namespace
}  // namespace kytest
