// The inheritance graph: adding bases, the two maps, the derivation tests,
// refused cycles and the iterators.
#include "class_test_support.h"

namespace classtest {
namespace {

class InheritanceGraph : public classFixture {
protected:
    static std::vector<refPtr<classInfo>> basesOf(const refPtr<classInfo>& cls) {
        std::vector<refPtr<classInfo>> out;
        for (classInfosIterator it = cls->baseClasses_begin(); !(it == cls->baseClasses_end()); ++it)
            out.push_back(*it);
        return out;
    }
    static std::vector<refPtr<classInfo>> derivedOf(const refPtr<classInfo>& cls) {
        std::vector<refPtr<classInfo>> out;
        for (classInfosIterator it = cls->derivedClasses_begin(); !(it == cls->derivedClasses_end()); ++it)
            out.push_back(*it);
        return out;
    }
    static bool derives(const refPtr<classInfo>& a, const refPtr<classInfo>& b) {
        return a->isDerivedFrom(const_refPtr<classInfo>(b));
    }
    static bool isBase(const refPtr<classInfo>& a, const refPtr<classInfo>& b) {
        return a->isBaseOf(const_refPtr<classInfo>(b));
    }
};

TEST_F(InheritanceGraph, AddingABaseLinksBothWays) {
    refPtr<classInfo> b = makeClass(L"B");
    refPtr<classInfo> a = makeDerived(L"A", {b});

    EXPECT_TRUE(derives(a, b));
    EXPECT_TRUE(isBase(b, a));
    EXPECT_FALSE(derives(b, a));
    EXPECT_FALSE(isBase(a, b));
    EXPECT_EQ(basesOf(a), std::vector<refPtr<classInfo>>{b});
    EXPECT_EQ(derivedOf(b), std::vector<refPtr<classInfo>>{a});
    EXPECT_TRUE(basesOf(b).empty());
}

TEST_F(InheritanceGraph, DerivationCountsAtAnyDepthBaseOfOnlyDirectly) {
    refPtr<classInfo> a = makeClass(L"A");
    refPtr<classInfo> c = makeDerived(L"C", {makeDerived(L"B", {a})});

    EXPECT_TRUE(derives(c, a));
    EXPECT_FALSE(isBase(a, c));
    EXPECT_FALSE(derives(c, c));
    EXPECT_FALSE(derives(c, nullptr));
    EXPECT_FALSE(isBase(a, nullptr));
}

// The same class again, or another class of the same name: each map keeps
// its first entry, and the two insertions do not depend on each other.
TEST_F(InheritanceGraph, InsertionsNeverReplaceAnEntry) {
    refPtr<classInfo> first = makeClass(L"Same");
    refPtr<classInfo> second = makeClass(L"SAME");
    refPtr<classInfo> a = makeDerived(L"A", {first, first, second});

    EXPECT_EQ(basesOf(a), std::vector<refPtr<classInfo>>{first});
    EXPECT_EQ(derivedOf(first), std::vector<refPtr<classInfo>>{a});
    EXPECT_EQ(derivedOf(second), std::vector<refPtr<classInfo>>{a});
    EXPECT_FALSE(derives(a, second));
}

TEST_F(InheritanceGraph, EmptyBaseIsReported) {
    refPtr<classInfo> a = makeClass(L"A");
    expectReport([&] { a->addBaseClass(nullptr); }, report(L"m_p != NULL", pointerFile, 144));
}

TEST_F(InheritanceGraph, BasesThatWouldCloseACycleAreRefusedDiamondsAreNot) {
    refPtr<classInfo> a = makeClass(L"A");
    refPtr<classInfo> b = makeDerived(L"B", {a});
    refPtr<classInfo> c = makeDerived(L"C", {b});

    expectSilentThrow([&] { a->addBaseClass(a); });
    expectSilentThrow([&] { a->addBaseClass(c); });
    expectSilentThrow([&] { b->addBaseClass(c); });
    EXPECT_TRUE(basesOf(a).empty());
    EXPECT_TRUE(derivedOf(c).empty());
    EXPECT_EQ(basesOf(b), std::vector<refPtr<classInfo>>{a});
    EXPECT_FALSE(c->fieldInfo(L"missing", true, true));

    c->addBaseClass(a);
    EXPECT_EQ(basesOf(c).size(), 2u);
}

TEST_F(InheritanceGraph, IteratorsWalkTheMapInItsOrder) {
    const auto bases = inMapOrder({makeClass(L"X"), makeClass(L"Y"), makeClass(L"Z")});
    refPtr<classInfo> cls = makeDerived(L"A", {bases[2], bases[0], bases[1]});

    EXPECT_EQ(basesOf(cls), bases);
    classInfosIterator end = cls->baseClasses_end();
    EXPECT_EQ(*--end, bases[2]);
    classInfosIterator it = cls->baseClasses_begin();
    EXPECT_EQ(*it++, bases[0]);
    EXPECT_EQ(*it, bases[1]);
    EXPECT_EQ(*++it, bases[2]);
    EXPECT_EQ(*it--, bases[2]);
    EXPECT_EQ(it->scName(), bases[1]->scName());

    classInfosIterator assigned;
    classInfosIterator copy = (assigned = cls->baseClasses_begin());
    EXPECT_TRUE(copy == cls->baseClasses_begin());
    EXPECT_TRUE(classInfosIterator() == classInfosIterator());
}

TEST_F(InheritanceGraph, ConstIteratorsGiveReadOnlyClassesAndComeFromMutableOnes) {
    refPtr<classInfo> b = makeClass(L"B");
    refPtr<classInfo> a = makeDerived(L"A", {b});
    const classInfo& view = *a;

    const_classInfosIterator it = view.baseClasses_begin();
    const_refPtr<classInfo> first = *it;
    EXPECT_EQ(first, b);
    EXPECT_EQ(it->scName(), b->scName());
    EXPECT_TRUE(++it == view.baseClasses_end());
    EXPECT_TRUE(it-- == view.baseClasses_end());
    EXPECT_TRUE(const_classInfosIterator(a->baseClasses_begin()) == it);
    const classInfo& baseView = *b;
    EXPECT_EQ(*baseView.derivedClasses_begin(), a);
}

}  // namespace
}  // namespace classtest
