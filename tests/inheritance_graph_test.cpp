// The inheritance graph: adding bases, the two maps, the derivation tests,
// refused cycles and the iterators.
#include "test_support.h"

namespace kytest {
namespace {

class InheritanceGraph : public modelTest {
protected:
    using classes = std::vector<refPtr<classInfo>>;
    static classes walk(classInfosIterator it, const classInfosIterator& end) {
        classes out;
        for (; !(it == end); ++it) out.push_back(*it);
        return out;
    }
    static classes basesOf(const refPtr<classInfo>& x) { return walk(x->baseClasses_begin(), x->baseClasses_end()); }
    static classes derivedOf(const refPtr<classInfo>& x) {
        return walk(x->derivedClasses_begin(), x->derivedClasses_end());
    }
    static bool derives(const refPtr<classInfo>& x, const refPtr<classInfo>& y) { return x->isDerivedFrom(y); }
    static bool isBase(const refPtr<classInfo>& x, const refPtr<classInfo>& y) { return x->isBaseOf(y); }

    // A chain: c derives from b, b from a.
    refPtr<classInfo> a = makeClass(L"A");
    refPtr<classInfo> b = makeClass(L"B", {a});
    refPtr<classInfo> c = makeClass(L"C", {b});
};

// Adding the same class again, or another class of the same name, leaves each
// map with its first entry; the two insertions do not depend on each other.
TEST_F(InheritanceGraph, DerivationCountsAtAnyDepth) {
    EXPECT_EQ(basesOf(b), classes{a});
    EXPECT_EQ(derivedOf(a), classes{b});
    EXPECT_TRUE(derives(b, a));
    EXPECT_TRUE(derives(c, a));
    EXPECT_TRUE(isBase(a, b));
    EXPECT_FALSE(derives(a, b));
    EXPECT_FALSE(isBase(b, a));
    EXPECT_FALSE(isBase(a, c));
    EXPECT_FALSE(derives(c, c));
    EXPECT_FALSE(derives(c, nullptr));
    EXPECT_FALSE(isBase(a, nullptr));

    refPtr<classInfo> first = makeClass(L"Same");
    refPtr<modelInfo> other = modelInfo::createModelInfo(false);
    refPtr<classInfo> second = other->createClassInfo(L"SAME", false);
    refPtr<classInfo> d = makeClass(L"D", {first, first, second});

    EXPECT_EQ(basesOf(d), classes{first});
    EXPECT_EQ(derivedOf(first), classes{d});
    EXPECT_EQ(derivedOf(second), classes{d});
    EXPECT_FALSE(derives(d, second));
}

TEST_F(InheritanceGraph, BasesThatWouldCloseACycleAreRefusedDiamondsAreNot) {
    expectThrow([&] { a->addBaseClass(a); });
    expectThrow([&] { a->addBaseClass(c); });
    expectThrow([&] { b->addBaseClass(c); });
    EXPECT_TRUE(basesOf(a).empty());
    EXPECT_TRUE(derivedOf(c).empty());
    EXPECT_EQ(basesOf(b), classes{a});
    EXPECT_FALSE(c->fieldInfo(L"missing", true, true));

    c->addBaseClass(a);
    EXPECT_EQ(basesOf(c).size(), 2u);
}

TEST_F(InheritanceGraph, IteratorsWalkTheMapInItsOrderBothWays) {
    const auto bases = inMapOrder({makeClass(L"X"), makeClass(L"Y"), makeClass(L"Z")});
    refPtr<classInfo> cls = makeClass(L"Multi", {bases[2], bases[0], bases[1]});
    EXPECT_EQ(basesOf(cls), bases);

    classInfosIterator it = cls->baseClasses_begin();
    EXPECT_EQ(*it++, bases[0]);
    EXPECT_EQ(*++it, bases[2]);
    EXPECT_EQ(*it--, bases[2]);
    EXPECT_EQ(it->scName(), bases[1]->scName());
    EXPECT_EQ(*--it, bases[0]);

    // The read-only walks see the same maps.
    const classInfo& multi = *cls;
    std::vector<const classInfo*> walked;
    for (const_classInfosIterator constIt = multi.baseClasses_begin(); constIt != multi.baseClasses_end(); constIt++)
        walked.push_back((*constIt).get());
    EXPECT_EQ(walked, (std::vector<const classInfo*>{bases[0].get(), bases[1].get(), bases[2].get()}));
    const_classInfosIterator constIt = multi.baseClasses_begin();
    EXPECT_EQ((++constIt)->scName(), bases[1]->scName());
    EXPECT_EQ(const_classInfosIterator(--cls->baseClasses_end()), ++constIt);
    constIt--;
    EXPECT_EQ(constIt->scName(), bases[1]->scName());
    EXPECT_EQ(*std::as_const(*bases[1]).derivedClasses_begin(), cls);
    EXPECT_EQ(++std::as_const(*bases[1]).derivedClasses_begin(), std::as_const(*bases[1]).derivedClasses_end());
}

}  // namespace
}  // namespace kytest
