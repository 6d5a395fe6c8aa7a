// Assertion reports: the report text, the thrown false and the host handler.

#include <gtest/gtest.h>
#include <kyassert.h>
#include <kyrefptr.h>

#include <string>

namespace {

// Installs a handler that keeps the last report, and puts the previous one back.
class AssertReport : public ::testing::Test {
protected:
    void SetUp() override {
        lastReport().clear();
        mPrevious = ky::setAssertHandler(&capture);
    }
    void TearDown() override { ky::setAssertHandler(mPrevious); }

    static std::wstring& lastReport() {
        static std::wstring report;
        return report;
    }
    // Runs `f` and answers whether it threw a bool of value false.
    template <class F>
    static bool throwsFalse(F f) {
        try {
            f();
        } catch (bool b) {
            return !b;
        }
        return false;
    }

    static void capture(const wchar_t* text) { lastReport() = text; }

private:
    ky::assertHandler mPrevious = nullptr;
};

TEST_F(AssertReport, ArrowOnEmptyRefPtrReportsLine144) {
    ky::refPtr<ky::refObj> empty;
    EXPECT_TRUE(throwsFalse([&] { empty->refCount(); }));
    EXPECT_EQ(lastReport(), L"Assertion failed:\nm_p != NULL\n\nFile: libs/utils/inc/kyrefptr\nLine: 144");
}

TEST_F(AssertReport, ArrowOnEmptyConstRefPtrReportsLine315) {
    ky::const_refPtr<ky::refObj> empty;
    EXPECT_TRUE(throwsFalse([&] { (*empty).refCount(); }));
    EXPECT_EQ(lastReport(), L"Assertion failed:\nm_p != NULL\n\nFile: libs/utils/inc/kyrefptr\nLine: 315");
}

TEST_F(AssertReport, MacroReportsTheConditionTextFileAndLine) {
    EXPECT_TRUE(throwsFalse([] { KY_ASSERT(1 + 1 == 3, L"src/some file.cpp", 7); }));
    EXPECT_EQ(lastReport(), L"Assertion failed:\n1 + 1 == 3\n\nFile: src/some file.cpp\nLine: 7");
}

TEST_F(AssertReport, LongConditionIsCutToTheReportBuffer) {
    const std::wstring condition(5000, L'c');
    EXPECT_TRUE(throwsFalse([&] { ky::assertFailed(condition.c_str(), L"f", 1); }));
    EXPECT_EQ(lastReport().size(), 1023u);
    EXPECT_EQ(lastReport().substr(0, 19), L"Assertion failed:\nc");
}

TEST_F(AssertReport, NullHandlerRestoresTheDefaultWhichWritesUtf8ToStderr) {
    EXPECT_EQ(ky::setAssertHandler(nullptr), &capture);
    ::testing::internal::CaptureStderr();
    ky::assertMsg(L"Grüße");
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("Gr\xC3\xBC\xC3\x9F" "e"), std::string::npos);
    EXPECT_TRUE(lastReport().empty());

    const ky::assertHandler defaultHandler = ky::setAssertHandler(&capture);
    EXPECT_NE(defaultHandler, nullptr);
    EXPECT_NE(defaultHandler, &capture);
}

}  // namespace
