// Helpers of the relation, identity and lifecycle tests: an assertion
// recorder, a log recorder and a small shop model to build scenarios on.
#pragma once

#include <gtest/gtest.h>

#include <kymetamodel.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace reltest {

using namespace ky::metamodel;

// The text of the assertion report for `condition` at `file`:`line`.
inline std::wstring assertionReport(const std::wstring& condition, const std::wstring& file, int line) {
    return L"Assertion failed:\n" + condition + L"\n\nFile: " + file + L"\nLine: " + std::to_wstring(line);
}

inline const wchar_t* const relationFile = L"libs/metamodel/src/kymdlrelationinfo";
inline const wchar_t* const classFile = L"libs/metamodel/src/kymdlclassinfo";
inline const wchar_t* const idFile = L"libs/metamodel/src/kymdlidinfo";
inline const wchar_t* const refPtrFile = L"libs/utils/inc/kyrefptr";

// Keeps every assertion report made while it lives, instead of printing it.
class assertionRecorder {
public:
    assertionRecorder() : mPrevious(ky::setAssertHandler(&record)) { reports().clear(); }
    ~assertionRecorder() { ky::setAssertHandler(mPrevious); }
    assertionRecorder(const assertionRecorder&) = delete;
    assertionRecorder& operator=(const assertionRecorder&) = delete;

    static std::vector<std::wstring>& reports() {
        static std::vector<std::wstring> texts;
        return texts;
    }

private:
    static void record(const wchar_t* text) { reports().emplace_back(text); }
    ky::assertHandler mPrevious;
};

// Runs `action`, which must report exactly `expectedReport` and throw false.
template <class Action>
void expectAssertion(Action&& action, const std::wstring& expectedReport) {
    assertionRecorder recorder;
    bool thrown = false;
    bool value = true;
    try {
        action();
    } catch (bool b) {
        thrown = true;
        value = b;
    }
    EXPECT_TRUE(thrown) << "no bool was thrown";
    EXPECT_FALSE(value);
    ASSERT_EQ(assertionRecorder::reports().size(), 1u);
    EXPECT_EQ(assertionRecorder::reports().front(), expectedReport);
}

// Runs `action`, which must throw false without any assertion report.
template <class Action>
void expectSilentThrow(Action&& action) {
    assertionRecorder recorder;
    EXPECT_THROW(action(), bool);
    EXPECT_TRUE(assertionRecorder::reports().empty());
}

// Captures every log line at trace level and above while it lives; the
// host's former sink and level come back afterwards.
class logRecorder {
public:
    logRecorder()
        : mPreviousSink(kylog::logManager::setSink([this](const kylog::logRecord& r) { mRecords.push_back(r); })),
          mPreviousLevel(kylog::logManager::setLevel(kylog::level::trace)) {}
    ~logRecorder() {
        kylog::logManager::setLevel(mPreviousLevel);
        kylog::logManager::setSink(std::move(mPreviousSink));
    }
    logRecorder(const logRecorder&) = delete;
    logRecorder& operator=(const logRecorder&) = delete;

    const std::vector<kylog::logRecord>& records() const { return mRecords; }
    // The lines whose message begins with `prefix`.
    std::vector<kylog::logRecord> startingWith(const std::wstring& prefix) const {
        std::vector<kylog::logRecord> found;
        for (const kylog::logRecord& r : mRecords)
            if (r.message.compare(0, prefix.size(), prefix) == 0) found.push_back(r);
        return found;
    }
    std::size_t count(const std::wstring& prefix) const { return startingWith(prefix).size(); }
    void clear() { mRecords.clear(); }

private:
    std::vector<kylog::logRecord> mRecords;
    kylog::logSink mPreviousSink;
    kylog::level mPreviousLevel;
};

// A small model that folds names: customers with an id and a region, orders
// that refer to them, order lines with a compound key.
class shopFixture : public ::testing::Test {
protected:
    void SetUp() override {
        model = modelInfo::createModelInfo(false);
        customer = model->createClassInfo(L"Customer", false);
        customer->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
        customer->createFieldInfo(L"region", eString, ky::genericSet(), L"");
        order = model->createClassInfo(L"Order", false);
        order->createFieldInfo(L"number", eInt, ky::genericSet(), L"");
        order->createFieldInfo(L"customerId", eInt, ky::genericSet(), L"");
        order->createFieldInfo(L"customerRegion", eString, ky::genericSet(), L"");
        orderLine = model->createClassInfo(L"OrderLine", false);
        orderLine->createFieldInfo(L"orderNumber", eInt, ky::genericSet(), L"");
        orderLine->createFieldInfo(L"lineNo", eInt, ky::genericSet(), L"");
    }

    void TearDown() override {
        orderLine = nullptr;
        order = nullptr;
        customer = nullptr;
        model = nullptr;
    }

    static refPtr<fieldInfo> field(const refPtr<classInfo>& cls, const wchar_t* name) {
        return cls->fieldInfo(name, false, false);
    }

    static void makeKey(const refPtr<fieldInfo>& f) { f->setSemantic(eSemPrimkey, ky::genericSet(), L""); }

    // order.customerId towards the class Customer.
    refPtr<relationInfo> orderToCustomer(eRelationType kind = eRef, const ky::string& name = L"",
                                         const ky::string& reverse = L"") {
        return order->createRelation(L"customerId", false, customer, kind, name, reverse);
    }
    // order.customerId towards the field Customer.id.
    refPtr<relationInfo> orderToCustomerId(eRelationType kind = eRef, const ky::string& name = L"",
                                           const ky::string& reverse = L"") {
        return order->createRelation(L"customerId", false, field(customer, L"id"), kind, name, reverse);
    }

    static std::vector<refPtr<relationInfo>> toRelations(const refPtr<classInfo>& cls) {
        return {cls->toRelations_begin(), cls->toRelations_end()};
    }
    static std::vector<refPtr<relationInfo>> fromRelations(const refPtr<classInfo>& cls) {
        return {cls->fromRelations_begin(), cls->fromRelations_end()};
    }

    refPtr<modelInfo> model;
    refPtr<classInfo> customer;
    refPtr<classInfo> order;
    refPtr<classInfo> orderLine;
};

}  // namespace reltest
