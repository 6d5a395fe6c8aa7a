// Helpers of the class, inheritance and model tests: recorders for assertion
// reports and log lines, and a fixture that builds classes and fields in a
// line each.
#pragma once

#include <gtest/gtest.h>

#include <kymetamodel.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace classtest {

using namespace ky::metamodel;

inline const wchar_t* const classFile = L"libs/metamodel/src/kymdlclassinfo";
inline const wchar_t* const modelFile = L"libs/metamodel/src/kymdlmodelinfo";
inline const wchar_t* const idFile = L"libs/metamodel/src/kymdlidinfo";
inline const wchar_t* const pointerFile = L"libs/utils/inc/kyrefptr";

// The text the assertion of `condition` at `file`:`line` reports.
inline std::wstring report(const std::wstring& condition, const std::wstring& file, int line) {
    return L"Assertion failed:\n" + condition + L"\n\nFile: " + file + L"\nLine: " + std::to_wstring(line);
}

// Keeps the assertion reports made while it lives instead of printing them.
class reportRecorder {
public:
    reportRecorder() : mPrevious(ky::setAssertHandler(&record)) { texts().clear(); }
    ~reportRecorder() { ky::setAssertHandler(mPrevious); }
    reportRecorder(const reportRecorder&) = delete;
    reportRecorder& operator=(const reportRecorder&) = delete;

    static std::vector<std::wstring>& texts() {
        static std::vector<std::wstring> all;
        return all;
    }

private:
    static void record(const wchar_t* text) { texts().emplace_back(text); }
    ky::assertHandler mPrevious;
};

// Whether `action` throws a bool of value false.
template <class Action>
bool throwsFalse(Action&& action) {
    try {
        action();
    } catch (bool b) {
        return !b;
    }
    return false;
}

// Runs `action`, which must report exactly `expected` and then throw false.
template <class Action>
void expectReport(Action&& action, const std::wstring& expected) {
    reportRecorder recorder;
    EXPECT_TRUE(throwsFalse(action));
    EXPECT_EQ(reportRecorder::texts(), std::vector<std::wstring>{expected});
}

// Runs `action`, which must throw false without any report.
template <class Action>
void expectSilentThrow(Action&& action) {
    reportRecorder recorder;
    EXPECT_TRUE(throwsFalse(action));
    EXPECT_TRUE(reportRecorder::texts().empty());
}

// Captures every log line while it lives; the former sink and level return
// afterwards.
class logCapture {
public:
    logCapture()
        : mSink(kylog::logManager::setSink([this](const kylog::logRecord& r) { mLines.push_back(r); })),
          mLevel(kylog::logManager::setLevel(kylog::level::trace)) {}
    ~logCapture() {
        kylog::logManager::setLevel(mLevel);
        kylog::logManager::setSink(std::move(mSink));
    }
    logCapture(const logCapture&) = delete;
    logCapture& operator=(const logCapture&) = delete;

    const std::vector<kylog::logRecord>& lines() const { return mLines; }
    std::size_t count(const std::wstring& message) const {
        return static_cast<std::size_t>(std::count_if(
            mLines.begin(), mLines.end(), [&](const kylog::logRecord& r) { return r.message == message; }));
    }

private:
    std::vector<kylog::logRecord> mLines;
    kylog::logSink mSink;
    kylog::level mLevel;
};

// A host object to keep as a user property; counts the live ones.
class hostObject : public ky::refObj {
public:
    hostObject() { ++live(); }
    ~hostObject() override { --live(); }
    static int& live() {
        static int count = 0;
        return count;
    }
};

// Builds standalone classes (names folded) and their fields; the classes are
// emptied at the end of each test so that nothing outlives it.
class classFixture : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& cls : mMade) cls->releaseInfo();
        mMade.clear();
    }

    refPtr<classInfo> makeClass(const ky::string& name) {
        mMade.push_back(classInfo::createClassInfo(name));
        return mMade.back();
    }
    // A class derived from each of `bases`.
    refPtr<classInfo> makeDerived(const ky::string& name, std::initializer_list<refPtr<classInfo>> bases) {
        refPtr<classInfo> cls = makeClass(name);
        for (const auto& base : bases) cls->addBaseClass(base);
        return cls;
    }
    static refPtr<fieldInfo> addField(const refPtr<classInfo>& cls, const ky::string& name, eFieldType type = eInt) {
        return cls->createFieldInfo(name, type, ky::genericSet(), L"");
    }
    static std::vector<refPtr<fieldInfo>> fieldsOf(const refPtr<classInfo>& cls) {
        return {cls->fields_begin(), cls->fields_end()};
    }
    static void makeKey(const refPtr<fieldInfo>& field) { field->setSemantic(eSemPrimkey, ky::genericSet(), L""); }
    // `classes` sorted into the order of a base-class or derived-class map.
    static std::vector<refPtr<classInfo>> inMapOrder(std::vector<refPtr<classInfo>> classes) {
        std::sort(classes.begin(), classes.end(),
                  [](const auto& a, const auto& b) { return a->scName() < b->scName(); });
        return classes;
    }

private:
    std::vector<refPtr<classInfo>> mMade;
};

}  // namespace classtest
