// Borrowed lookups through modelInfo::readScope: the same answers as the
// counted lookups, no counting, pointers that outlive a replacement of their
// class and the model's last outside reference while the scope lives, and
// the one reference the model itself holds to each class.
#include <atomic>
#include <mutex>
#include <thread>

#include "test_support.h"

namespace kytest {
namespace {

using readScope = modelInfo::readScope;

// Persons with aliases, an employee deriving from person, and a class whose
// fields the replacement tests count.
class ReadScope : public modelTest {
protected:
    void SetUp() override {
        refPtr<classInfo> person = makeClass(L"Person");
        person->addAliasname(L"Human");
        addField(person, L"name", eString)->addAliasname(L"title");
        addField(person, L"a.b");
        refPtr<classInfo> employee = makeClass(L"Employee", {person});
        addField(employee, L"salary", eDouble);
        refPtr<classInfo> old = makeClass(L"Churn");
        old->setLabel(L"old churn");
        for (int f = 0; f < 50; ++f) addField(old, L"f" + std::to_wstring(f));
    }
    // Replaces Churn from another thread, which must not block.
    void replaceElsewhere() {
        std::thread([this] { model->createClassInfo(L"churn", true); }).join();
    }
};

TEST_F(ReadScope, AnswersAsTheCountedLookups) {
    const readScope scope(*model);
    const wchar_t* classQueries[] = {L"PERSON", L"employee", L"Human", L"nobody", L""};
    for (const wchar_t* name : classQueries) {
        for (bool aliases : {false, true}) {
            SCOPED_TRACE(testing::Message() << ky::string(name).toUtf8() << " aliases " << aliases);
            EXPECT_EQ(scope.classInfo(name, aliases), model->classInfo(name, aliases).get());
        }
    }
    const wchar_t* qualified[] = {L"Person.NAME", L"Employee.name", L"Human.name", L"Person.a.b",
                                  L"Person.title", L"Person", L"Person.", L".name"};
    for (const wchar_t* name : qualified) {
        for (bool further : {false, true}) {
            SCOPED_TRACE(testing::Message() << ky::string(name).toUtf8() << " further " << further);
            EXPECT_EQ(scope.fieldInfo(name, further), model->fieldInfo(name, further).get());
        }
    }
    EXPECT_EQ(scope.fieldInfo(L"employee", L"Name", true), field(model->classInfo(L"person", false), L"name").get());
    EXPECT_EQ(scope.fieldInfo(L"employee", L"Name", false), nullptr);
}

TEST_F(ReadScope, FollowsTheNameRuleOfACaseSensitiveModel) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    exact->createClassInfo(L"Person", false)->createFieldInfo(L"Name", eString, ky::genericSet(), L"");
    const readScope scope(*exact);
    EXPECT_EQ(scope.classInfo(L"person", true), nullptr);
    EXPECT_EQ(scope.classInfo(L"Person", false), exact->classInfo(L"Person", false).get());
    EXPECT_EQ(scope.fieldInfo(L"Person.name", true), nullptr);
    EXPECT_NE(scope.fieldInfo(L"Person.Name", false), nullptr);
}

TEST_F(ReadScope, BadNamesAnswerNothingAndInternNothing) {
    const readScope scope(*model);
    const std::size_t before = ky::scString::count();
    const ky::string odd[] = {L"", ky::string(100000, L'x'), L"Ärger.Straße", L"...", L".", L"Σίσυφος"};
    for (const ky::string& name : odd) {
        EXPECT_EQ(scope.classInfo(name, true), nullptr);
        EXPECT_EQ(scope.fieldInfo(name, true), nullptr);
        EXPECT_EQ(scope.fieldInfo(name, name, true), nullptr);
    }
    EXPECT_EQ(ky::scString::count(), before);
}

TEST_F(ReadScope, TheModelHoldsOneReferenceToAClassAndTheScopeNone) {
    model->createClassInfo(L"Fresh", false);
    const readScope scope(*model);
    EXPECT_EQ(scope.classInfo(L"fresh", false)->refCount(), 1u);
    EXPECT_EQ(scope.fieldInfo(L"Person.name", false)->refCount(), 1u);
    model->createClassInfo(L"Fresh", true);
    EXPECT_EQ(scope.classInfo(L"fresh", false)->refCount(), 1u);
}

TEST_F(ReadScope, APointerReadsItsClassAfterAnotherThreadReplacedIt) {
    logRecorder log;
    {
        const readScope scope(*model);
        const classInfo* old = scope.classInfo(L"churn", false);
        const fieldInfo* last = scope.fieldInfo(L"Churn.f49", false);
        replaceElsewhere();
        EXPECT_NE(scope.classInfo(L"churn", false), old);
        EXPECT_EQ(old->scName().string(), L"churn");
        EXPECT_EQ(old->countFields(), 50u);
        EXPECT_EQ(last->scName().string(), L"f49");
        EXPECT_EQ(last->classInfo().get(), old);
        EXPECT_EQ(log.count(L"classInfo releaseInfo called: \"old churn\""), 0u);
    }
    // Emptied and let go at the model's next creation after the scope.
    makeClass(L"Later");
    EXPECT_EQ(log.count(L"classInfo released: \"old churn\""), 1u);
}

// Replacing inside one's own scope does not wait for that scope.
TEST_F(ReadScope, ReplacingInsideOnesOwnScopeKeepsTheOldClassForIt) {
    logRecorder log;
    {
        const readScope scope(*model);
        const fieldInfo* first = scope.fieldInfo(L"churn", L"f0", false);
        refPtr<classInfo> fresh = model->createClassInfo(L"Churn", true);
        EXPECT_EQ(scope.classInfo(L"churn", false), fresh.get());
        EXPECT_EQ(first->scName().string(), L"f0");
        EXPECT_EQ(first->classInfo()->countFields(), 50u);
    }
    makeClass(L"Later");
    EXPECT_EQ(log.count(L"classInfo released: \"old churn\""), 1u);
}

TEST_F(ReadScope, AnOuterScopeKeepsAClassAfterTheInnerOneEnds) {
    logRecorder log;
    {
        const readScope outer(*model);
        const classInfo* old = outer.classInfo(L"churn", false);
        {
            const readScope inner(*model);
            replaceElsewhere();
        }
        makeClass(L"Between");
        EXPECT_EQ(log.count(L"classInfo releaseInfo called: \"old churn\""), 0u);
        EXPECT_EQ(old->countFields(), 50u);
    }
    makeClass(L"Later");
    EXPECT_EQ(log.count(L"classInfo released: \"old churn\""), 1u);
}

// One thread holds a scope, with no reference of its own, while another
// drops the model's last reference: the destruction waits for the scope and
// refuses new scopes meanwhile.
TEST_F(ReadScope, DestructionWaitsForTheScopesOfOtherThreads) {
    std::atomic<bool> destroying{false};
    const kylog::level level = kylog::logManager::setLevel(kylog::level::trace);
    kylog::logSink sink = kylog::logManager::setSink([&](const kylog::logRecord& r) {
        if (r.message == L"modelInfo released") destroying = true;
    });
    const modelInfo* raw = model.get();
    std::atomic<bool> opened{false}, destroyed{false};
    std::wstring name;
    bool refused = false;
    std::vector<std::wstring> reports;
    std::thread reader([&] {
        const readScope scope(*raw);
        const classInfo* person = scope.classInfo(L"person", false);
        opened = true;
        while (!destroying.load()) std::this_thread::yield();
        name = person->scName().string();
        assertCatcher catcher;
        refused = throwsFalse([&] { const readScope again(*raw); });
        reports = assertCatcher::reports();
        EXPECT_FALSE(destroyed.load());
    });
    while (!opened.load()) std::this_thread::yield();
    std::thread dropper([&] {
        model.reset();
        destroyed = true;
    });
    reader.join();
    dropper.join();
    kylog::logManager::setSink(std::move(sink));
    kylog::logManager::setLevel(level);
    EXPECT_EQ(name, L"person");
    EXPECT_TRUE(refused);
    EXPECT_EQ(reports, std::vector<std::wstring>{report(sites::scopeOfDyingModel)});
}

// Readers hold scopes, nested, long and short, over a model whose classes
// one thread replaces, each class with fields once, and over models that
// another thread drops and makes anew; run under ThreadSanitizer in CI.
// A class is changed by one thread at a time, so replacements stay empty.
TEST(ReadScopeStress, ScopesStayValidWhileClassesAndModelsAreReplaced) {
    constexpr int classes = 300;
    const auto build = [] {
        refPtr<modelInfo> m = modelInfo::createModelInfo(false);
        refPtr<classInfo> base = m->createClassInfo(L"Base", false);
        base->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
        for (int i = 0; i < classes; ++i) {
            refPtr<classInfo> cls = m->createClassInfo(L"C" + std::to_wstring(i), false);
            for (int f = 0; f < 20; ++f) cls->createFieldInfo(L"f" + std::to_wstring(f), eInt, ky::genericSet(), L"");
            cls->addBaseClass(base);
        }
        return m;
    };
    const refPtr<modelInfo> stable = build();
    std::mutex holder;  // guards `current`
    refPtr<modelInfo> current = build();
    std::atomic<bool> stop{false};
    std::atomic<long> read{0};

    const auto readAll = [](const readScope& scope, int round) {
        long sum = 0;
        const ky::string index = std::to_wstring(round % classes);
        if (const classInfo* cls = scope.classInfo(L"c" + index, false)) sum += static_cast<long>(cls->countFields());
        if (const fieldInfo* f = scope.fieldInfo(L"C" + index + L".F19", false)) sum += f->scName().string().size();
        if (const fieldInfo* f = scope.fieldInfo(L"C" + index, L"id", true)) sum += f->classInfo()->countFields();
        return sum;
    };
    auto reader = [&](int seed) {
        long sum = 0;
        for (int round = seed; !stop.load(std::memory_order_relaxed); ++round) {
            const readScope outer(*stable);
            const classInfo* kept = outer.classInfo(L"c" + std::to_wstring(round % classes), false);
            const modelInfo* other = nullptr;
            std::unique_lock<std::mutex> lock(holder);
            other = current.get();
            const readScope inner(*other);  // opened before `current` may drop it
            lock.unlock();
            const int length = round % 3 == 0 ? 200 : 1;  // long scopes and short ones
            for (int i = 0; i < length; ++i) {
                const readScope nested(*stable);
                sum += readAll(nested, round + i) + readAll(inner, round + i);
            }
            if (kept) sum += static_cast<long>(kept->countFields()) + kept->scName().string().size();
        }
        read += sum;
    };
    std::thread r1(reader, 1), r2(reader, 2);
    std::thread dropper([&] {
        for (int round = 0; round < 12; ++round) {
            refPtr<modelInfo> fresh = build();
            refPtr<modelInfo> old;
            {
                const std::lock_guard<std::mutex> lock(holder);
                old = current;
                current = fresh;
            }
            old.reset();  // the last reference: waits for the scopes on it
        }
    });
    for (int round = 0; round < 2 * classes; ++round) {
        stable->createClassInfo(L"C" + std::to_wstring(round % classes), true);
        std::this_thread::yield();
    }
    dropper.join();
    stop = true;
    r1.join();
    r2.join();
    EXPECT_GT(read.load(), 0);
    EXPECT_EQ(stable->countClasses(), classes + 1u);
}

}  // namespace
}  // namespace kytest
