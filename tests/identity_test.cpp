// The identity object (its fields, class and comparison) and how a relation
// from a primary-key field changes the identity of its class.
#include "relation_test_support.h"

namespace reltest {
namespace {

class IdentityTest : public shopFixture {
protected:
    using fields = std::vector<refPtr<fieldInfo>>;

    refPtr<fieldInfo> orderNumber() { return field(orderLine, L"orderNumber"); }
    refPtr<fieldInfo> lineNo() { return field(orderLine, L"lineNo"); }
    // Order lines keyed by order number and line number, asked for once.
    refPtr<idInfo> compoundKey() {
        makeKey(orderNumber());
        makeKey(lineNo());
        return orderLine->idInfo();
    }
};

TEST_F(IdentityTest, HoldsTheKeyFieldsInFieldOrderAndTheirClass) {
    makeKey(lineNo());
    makeKey(orderNumber());
    refPtr<idInfo> identity = orderLine->idInfo();

    EXPECT_EQ(identity->fieldInfos(), (fields{orderNumber(), lineNo()}));
    EXPECT_EQ(identity->classInfo(), orderLine);
}

TEST_F(IdentityTest, OutlivesTheReleaseOfItsClass) {
    refPtr<idInfo> identity = compoundKey();
    orderLine->releaseInfo();

    EXPECT_EQ(identity->fieldInfos().size(), 2u);
    EXPECT_FALSE(identity->classInfo());
}

TEST_F(IdentityTest, RelationFromAKeyFieldTakesItOutOfTheIdentity) {
    refPtr<idInfo> before = compoundKey();

    orderLine->createRelation(L"orderNumber", false, order, eRevAgg, L"", L"");

    refPtr<idInfo> after = orderLine->idInfo();
    EXPECT_NE(after, before);
    EXPECT_EQ(after->fieldInfos(), fields{lineNo()});
    EXPECT_EQ(before->fieldInfos(), (fields{orderNumber(), lineNo()}));
}

TEST_F(IdentityTest, RelationFromTheOnlyKeyFieldLeavesTheClassWithoutIdentity) {
    makeKey(orderNumber());
    orderLine->idInfo();

    orderLine->createRelation(L"orderNumber", false, field(order, L"number"), eRevAgg, L"", L"");

    expectAssertion([&] { orderLine->idInfo(); }, assertionReport(L"rfields.size()>=1", idFile, 11));
}

TEST_F(IdentityTest, RelationFromAnOrdinaryFieldKeepsTheIdentity) {
    refPtr<idInfo> identity = compoundKey();
    orderLine->createFieldInfo(L"productSku", eString, ky::genericSet(), L"");

    orderLine->createRelation(L"productSku", false, order, eRef, L"", L"");

    EXPECT_EQ(orderLine->idInfo(), identity);
}

class IdentityComparisonTest : public IdentityTest {};

TEST_F(IdentityComparisonTest, IdentitiesBuiltAtDifferentTimesOverTheSameFieldsAreEqual) {
    refPtr<idInfo> first = compoundKey();
    makeKey(lineNo());
    refPtr<idInfo> second = orderLine->idInfo();

    ASSERT_NE(second, first);
    EXPECT_TRUE(first->isEqualTo(second.get()));
    EXPECT_TRUE(second->isEqualTo(first.get()));
}

TEST_F(IdentityComparisonTest, OtherFieldsOrAnotherCountAreNotEqual) {
    makeKey(orderNumber());
    refPtr<idInfo> one = orderLine->idInfo();
    makeKey(lineNo());
    refPtr<idInfo> two = orderLine->idInfo();
    refPtr<classInfo> twin = model->createClassInfo(L"Twin", false);
    makeKey(twin->createFieldInfo(L"orderNumber", eInt, ky::genericSet(), L""));

    EXPECT_FALSE(one->isEqualTo(two.get()));
    EXPECT_FALSE(two->isEqualTo(one.get()));
    EXPECT_FALSE(one->isEqualTo(twin->idInfo().get()));
}

TEST_F(IdentityComparisonTest, NullOtherIsRefused) {
    refPtr<idInfo> identity = compoundKey();

    expectAssertion([&] { identity->isEqualTo(nullptr); }, assertionReport(L"pOther!=0", idFile, 34));
}

}  // namespace
}  // namespace reltest
