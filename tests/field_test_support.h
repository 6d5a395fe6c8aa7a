// Helpers of the field tests: a model with a base class "box" and a derived
// class "crate", fields made in either, and recorders of assertion reports
// and log lines.
#pragma once

#include <gtest/gtest.h>

#include <kymetamodel.h>

#include <string>
#include <utility>
#include <vector>

namespace fieldtest {

using namespace ky::metamodel;

inline const std::wstring fieldFile = L"libs/metamodel/src/kymdlfieldinfo";

inline std::wstring report(const std::wstring& condition, const std::wstring& file, int line) {
    return L"Assertion failed:\n" + condition + L"\n\nFile: " + file + L"\nLine: " + std::to_wstring(line);
}

// Keeps the assertion reports made while it lives instead of printing them.
class assertionRecorder {
public:
    assertionRecorder() : mPrevious(ky::setAssertHandler(&record)) { texts().clear(); }
    ~assertionRecorder() { ky::setAssertHandler(mPrevious); }
    assertionRecorder(const assertionRecorder&) = delete;
    assertionRecorder& operator=(const assertionRecorder&) = delete;

    static std::vector<std::wstring>& texts() {
        static std::vector<std::wstring> all;
        return all;
    }

private:
    static void record(const wchar_t* text) { texts().emplace_back(text); }
    ky::assertHandler mPrevious;
};

// Captures every log line while it lives.
class logRecorder {
public:
    logRecorder()
        : mSink(kylog::logManager::setSink([this](const kylog::logRecord& r) { lines.push_back(r); })),
          mLevel(kylog::logManager::setLevel(kylog::level::trace)) {}
    ~logRecorder() {
        kylog::logManager::setLevel(mLevel);
        kylog::logManager::setSink(std::move(mSink));
    }
    logRecorder(const logRecorder&) = delete;
    logRecorder& operator=(const logRecorder&) = delete;

    // The lines written by `logger`.
    std::vector<kylog::logRecord> of(const std::wstring& logger) const {
        std::vector<kylog::logRecord> found;
        for (const auto& r : lines)
            if (r.logger == logger) found.push_back(r);
        return found;
    }

    std::vector<kylog::logRecord> lines;

private:
    kylog::logSink mSink;
    kylog::level mLevel;
};

class fieldFixture : public ::testing::Test {
protected:
    void SetUp() override {
        model = modelInfo::createModelInfo(false);
        box = model->createClassInfo(L"box", false);
        crate = model->createClassInfo(L"crate", false);
        crate->addBaseClass(box);
    }
    void TearDown() override {
        crate = nullptr;
        box = nullptr;
        model = nullptr;
    }

    refPtr<fieldInfo> field(const wchar_t* name, eFieldType type, const wchar_t* customType = L"") {
        return box->createFieldInfo(name, type, ky::genericSet(), customType);
    }
    // A field of crate standing for box's field `name`.
    refPtr<fieldInfo> referring(const wchar_t* name) { return crate->createFieldInfo(box, name); }

    static ky::genericSet withEnumItems() {
        ky::genericSet attribs;
        attribs.setValue(ky::scString::createFrom(L"enumItems"), std::vector<enumItem>{}, true);
        return attribs;
    }

    // Runs `action`, which must report `condition` from the field's file at
    // `line` and throw false.
    template <class Action>
    static void expectAssertion(Action&& action, const std::wstring& condition, int line) {
        assertionRecorder recorder;
        EXPECT_THROW(action(), bool);
        EXPECT_EQ(assertionRecorder::texts(), std::vector<std::wstring>{report(condition, fieldFile, line)});
    }

    refPtr<modelInfo> model;
    refPtr<classInfo> box;
    refPtr<classInfo> crate;
};

}  // namespace fieldtest
