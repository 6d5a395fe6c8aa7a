// Helpers shared by the test suite: an assertion catcher, a log recorder, a
// host object that counts its instances, and fixtures that build a model,
// classes and fields in a line each.
#pragma once

#include <gtest/gtest.h>

#include <kymetamodel.h>

#include "kymdlsites.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kytest {

using namespace ky::metamodel;

namespace sites = ky::metamodel::detail::sites;

// The text the assertion of `condition` at `file`:`line` reports.
inline std::wstring report(const std::wstring& condition, const std::wstring& file, int line) {
    return L"Assertion failed:\n" + condition + L"\n\nFile: " + file + L"\nLine: " + std::to_wstring(line);
}
// The text the assertion of `site` reports.
inline std::wstring report(const ky::assertSite& site) { return report(site.condition, site.file, site.line); }

// Keeps the assertion reports made while it lives instead of printing them;
// the former handler returns afterwards.
class assertCatcher {
public:
    assertCatcher() : mPrevious(ky::setAssertHandler(&record)) { reports().clear(); }
    ~assertCatcher() { ky::setAssertHandler(mPrevious); }

    static std::vector<std::wstring>& reports() {
        static std::vector<std::wstring> texts;
        return texts;
    }

private:
    static void record(const wchar_t* text) { reports().emplace_back(text); }
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

// Runs `action`, which must throw false after reporting exactly `expected`,
// or nothing at all when `expected` is empty.
template <class Action>
void expectThrow(Action&& action, const std::wstring& expected = L"") {
    assertCatcher catcher;
    EXPECT_TRUE(throwsFalse(action)) << "no false was thrown";
    const std::vector<std::wstring> none;
    EXPECT_EQ(assertCatcher::reports(), expected.empty() ? none : std::vector<std::wstring>{expected});
}

// Records every log line while it lives; the former sink and level return
// afterwards.
class logRecorder {
public:
    logRecorder()
        : mSink(kylog::logManager::setSink([this](const kylog::logRecord& r) { lines.push_back(r); })),
          mLevel(kylog::logManager::setLevel(kylog::level::trace)) {}
    ~logRecorder() {
        kylog::logManager::setLevel(mLevel);
        kylog::logManager::setSink(std::move(mSink));
    }

    // How many lines begin with `prefix`.
    std::size_t count(const std::wstring& prefix) const {
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const kylog::logRecord& r) {
            return r.message.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    std::vector<kylog::logRecord> lines;

private:
    kylog::logSink mSink;
    kylog::level mLevel;
};

// A host condition that counts its live copies.
class rangeCondition : public ky::conditions::condition {
public:
    explicit rangeCondition(int limit) : limit(limit) { ++alive; }
    rangeCondition(const rangeCondition& other) : condition(other), limit(other.limit) { ++alive; }
    ~rangeCondition() override { --alive; }
    condition* clone() const override { return new rangeCondition(*this); }
    int limit;
    static inline int alive = 0;
};

// A host object kept as a user property; counts the live ones.
class hostObject : public ky::refObj {
public:
    hostObject() { ++live; }
    ~hostObject() override { --live; }
    static ky::refPtr<ky::refObj> make() { return ky::refPtr<ky::refObj>(new hostObject); }
    static inline int live = 0;
};

// A model that folds names; dropping it at the end of a test frees whatever
// the test built in it.
class modelTest : public ::testing::Test {
protected:
    refPtr<classInfo> makeClass(const ky::string& name, std::initializer_list<refPtr<classInfo>> bases = {}) {
        refPtr<classInfo> cls = model->createClassInfo(name, false);
        for (const auto& base : bases) cls->addBaseClass(base);
        return cls;
    }
    static refPtr<fieldInfo> addField(const refPtr<classInfo>& cls, const ky::string& name, eFieldType type = eInt,
                                      const ky::string& customType = L"") {
        return cls->createFieldInfo(name, type, ky::genericSet(), customType);
    }
    // The field `name` of `cls` or of one of its bases.
    static refPtr<fieldInfo> field(const refPtr<classInfo>& cls, const ky::string& name) {
        return cls->fieldInfo(name, true, false);
    }
    static void makeKey(const refPtr<fieldInfo>& f) { f->setSemantic(eSemPrimkey, ky::genericSet(), L""); }
    static std::vector<refPtr<fieldInfo>> fieldsOf(const refPtr<classInfo>& cls) {
        return {cls->fields_begin(), cls->fields_end()};
    }
    // `classes` sorted into the order of a base-class or derived-class map.
    static std::vector<refPtr<classInfo>> inMapOrder(std::vector<refPtr<classInfo>> classes) {
        std::sort(classes.begin(), classes.end(),
                  [](const auto& a, const auto& b) { return a->scName() < b->scName(); });
        return classes;
    }
    // Semantic attributes holding an empty list of enumeration items.
    static ky::genericSet enumItems() {
        ky::genericSet attribs;
        attribs.setValue(ky::scString::createFrom(L"enumItems"), std::vector<enumItem>{}, true);
        return attribs;
    }

    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
};

// A base class "box" whose fields the derived class "crate" may stand for.
class fieldTest : public modelTest {
protected:
    refPtr<fieldInfo> make(const ky::string& name, eFieldType type, const ky::string& customType = L"") {
        return addField(box, name, type, customType);
    }
    // A field of crate standing for box's field `name`.
    refPtr<fieldInfo> referring(const ky::string& name) { return crate->createFieldInfo(box, name); }

    refPtr<classInfo> box = makeClass(L"box");
    refPtr<classInfo> crate = makeClass(L"crate", {box});
};

}  // namespace kytest
