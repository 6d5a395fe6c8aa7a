// The model from several threads at once, its class listing, lookups that
// leave the intern table alone, and walks through graphs whose bases share
// ancestors.
#include <atomic>
#include <thread>

#include "test_support.h"

namespace kytest {
namespace {

class ModelConcurrency : public modelTest {};

// Of several threads creating one name at once, exactly one registers it.
TEST_F(ModelConcurrency, OneOfSeveralThreadsCreatingANameGetsTheClass) {
    for (int round = 0; round < 300; ++round) {
        refPtr<modelInfo> shared = modelInfo::createModelInfo(false);
        std::atomic<int> created{0}, refused{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                while (!go.load()) std::this_thread::yield();
                try {
                    shared->createClassInfo(L"Person", false);
                    ++created;
                } catch (bool) {
                    ++refused;
                }
            });
        }
        go = true;
        for (auto& t : threads) t.join();
        ASSERT_EQ(created.load(), 1) << "round " << round;
        ASSERT_EQ(refused.load(), 3) << "round " << round;
    }
}

TEST_F(ModelConcurrency, ReplacingFromSeveralThreadsLeavesOneClassOfTheName) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) model->createClassInfo(L"Person", true);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(model->countClasses(), 1u);
    EXPECT_EQ(*model->classes_begin(), model->classInfo(L"person", false));
}

TEST_F(ModelConcurrency, ClassesAreListedInRegistrationOrderAReplacementInItsPlace) {
    refPtr<classInfo> b = makeClass(L"B");
    refPtr<classInfo> a = makeClass(L"A");
    refPtr<classInfo> c = makeClass(L"C");
    refPtr<classInfo> fresh = model->createClassInfo(L"a", true);

    const std::vector<refPtr<classInfo>> listed(model->classes_begin(), model->classes_end());
    EXPECT_EQ(listed, (std::vector<refPtr<classInfo>>{b, fresh, c}));
    EXPECT_EQ(model->countClasses(), 3u);
    EXPECT_EQ(modelInfo::createModelInfo(true)->countClasses(), 0u);
}

// A server looks up whatever names its users type; none of them may stay
// behind in the process-wide intern table.
TEST_F(ModelConcurrency, LookingUpUnknownNamesInternsNothing) {
    refPtr<classInfo> person = makeClass(L"Person");
    person->addAliasname(L"Human");
    addField(person, L"name")->addAliasname(L"Title");
    makeClass(L"Order")->addAliasname(L"Purchase");
    const std::size_t before = ky::scString::count();

    for (int i = 0; i < 1000000; ++i) {
        const ky::string name = L"Unknown" + std::to_wstring(i);
        ASSERT_FALSE(model->classInfo(name, true));
    }
    for (int i = 0; i < 1000; ++i) {
        const ky::string name = L"Missing" + std::to_wstring(i);
        ASSERT_FALSE(model->fieldInfo(L"Person." + name, true));
        ASSERT_FALSE(person->fieldInfo(name, true, true));
        ASSERT_FALSE(person->toRelation(name, true));
    }
    const ky::string odd[] = {L"", ky::string(100000, L'x'), L"Ärger.Straße", L"...", L".", L"Σίσυφος"};
    for (const ky::string& name : odd) {
        EXPECT_FALSE(model->classInfo(name, true));
        EXPECT_FALSE(model->fieldInfo(name, true));
        EXPECT_FALSE(model->fieldInfo(name, name, true));
        EXPECT_FALSE(person->fieldInfo(name, true, true));
    }
    EXPECT_EQ(ky::scString::count(), before);
    EXPECT_EQ(model->classInfo(L"HUMAN", true), person);
}

// Each level holds two classes that both derive from both classes of the
// level below; a depth-first walk that revisits shared bases would take
// 2^40 steps.
class Lattice : public modelTest {
protected:
    static constexpr int levels = 40;
    Lattice() {
        std::vector<refPtr<classInfo>> below = {makeClass(L"root")};
        addField(below[0], L"id");
        below[0]->setUserProperty(L"colour", ky::string(L"blue"), true);
        for (int level = 1; level <= levels; ++level) {
            std::vector<refPtr<classInfo>> here;
            for (int k = 0; k < 2; ++k) {
                const ky::string name = L"l" + std::to_wstring(level) + L"_" + std::to_wstring(k);
                refPtr<classInfo> cls = makeClass(name);
                for (const auto& base : below) cls->addBaseClass(base);
                here.push_back(cls);
            }
            below = here;
        }
        top = below[0];
    }
    refPtr<classInfo> top;
};

TEST_F(Lattice, WalksThroughSharedBasesVisitEachClassOnce) {
    EXPECT_FALSE(top->fieldInfo(L"missing", true, true));
    EXPECT_EQ(top->fieldInfo(L"id", true, false), field(model->classInfo(L"root", false), L"id"));
    EXPECT_FALSE(top->toRelation(L"id", true));
    ky::string colour;
    EXPECT_TRUE(top->getUserProperty(L"colour", colour, true));
    EXPECT_EQ(colour, L"blue");
    ky::string none;
    EXPECT_FALSE(top->getUserProperty(L"missing", none, true));
    EXPECT_FALSE(top->isDerivedFrom(model->classInfo(L"nobody", false)));
    EXPECT_FALSE(top->isDerivedFrom(classInfo::createClassInfo(L"stranger")));
    EXPECT_TRUE(top->isDerivedFrom(model->classInfo(L"root", false)));
    EXPECT_THROW(top->createFieldInfo(top, L"missing"), bool);
}

// Readers look up, copy and drop what they find while one thread creates
// and replaces classes; run under ThreadSanitizer in CI.
TEST_F(ModelConcurrency, ReadersRunWhileOneThreadCreatesAndReplacesClasses) {
    for (int i = 0; i < 50; ++i) {
        refPtr<classInfo> cls = makeClass(L"Stable" + std::to_wstring(i));
        cls->setLabel(L"A stable class");
        cls->addAliasname(L"Alias" + std::to_wstring(i));
        addField(cls, L"name", eString);
        if (i > 0) cls->addBaseClass(model->classInfo(L"Stable" + std::to_wstring(i - 1), false));
    }
    // The first replacement of each Churn class lets go of many fields while
    // readers search them, directly and from a derived class.
    for (int i = 0; i < 20; ++i) {
        refPtr<classInfo> churn = makeClass(L"Churn" + std::to_wstring(i));
        for (int f = 0; f < 200; ++f) addField(churn, L"f" + std::to_wstring(f), eInt);
        makeClass(L"Leaf" + std::to_wstring(i))->addBaseClass(churn);
    }
    std::atomic<bool> stop{false};
    std::atomic<long> found{0};
    auto reader = [&](int seed) {
        long hits = 0;
        for (int round = 0; !stop.load(std::memory_order_relaxed) || round < 2000; ++round) {
            const int i = (round * 7 + seed) % 50;
            const ky::string index = std::to_wstring(i);
            if (refPtr<classInfo> cls = model->classInfo(L"stable" + index, false)) hits += !cls->label().empty();
            if (const_refPtr<classInfo> cls = std::as_const(*model).classInfo(L"ALIAS" + index, true)) ++hits;
            if (refPtr<fieldInfo> f = model->fieldInfo(L"Stable" + index + L".name", true)) hits += f->type() == eString;
            if (refPtr<fieldInfo> f = model->fieldInfo(L"stable" + index, L"missing", true)) ++hits;
            const ky::string churnIndex = std::to_wstring(round % 20);
            if (refPtr<fieldInfo> f = model->fieldInfo(L"Churn" + churnIndex + L".f199", false)) ++hits;
            if (refPtr<fieldInfo> f = model->fieldInfo(L"Leaf" + churnIndex, L"f199", true)) ++hits;
            // A replaced class is emptied while readers may hold it, so only
            // what emptying leaves alone is read here.
            if (refPtr<classInfo> churn = model->classInfo(L"Churn" + std::to_wstring(round % 20), true)) {
                hits += !churn->scName().empty();
            }
            ky::scString::createFrom(L"interned" + std::to_wstring(round % 100));
            if (round % 100 == 0) {
                kylog::logManager::getLogger(L"kytest::reader").log_trace(L"reader round", L"test", round, L"reader",
                                                                          nullptr);
            }
            if (round > 100000) break;
        }
        found += hits;
    };
    std::thread r1(reader, 1), r2(reader, 2);
    for (int round = 0; round < 400; ++round) {
        model->createClassInfo(L"Churn" + std::to_wstring(round % 20), true);
        model->createClassInfo(L"New" + std::to_wstring(round), false);
    }
    stop = true;
    r1.join();
    r2.join();
    EXPECT_GT(found.load(), 0);
    EXPECT_EQ(model->countClasses(), 50u + 40u + 400u);
}

}  // namespace
}  // namespace kytest
