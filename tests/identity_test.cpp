// The identity of a class: its primary-key fields, the cached identity
// object, when it is rebuilt, and the comparison of identities.
#include "relation_test_support.h"

namespace reltest {
namespace {

class IdentityTest : public shopFixture {
protected:
    refPtr<fieldInfo> orderNumber() { return field(orderLine, L"orderNumber"); }
    refPtr<fieldInfo> lineNo() { return field(orderLine, L"lineNo"); }

    static std::vector<refPtr<fieldInfo>> idFields(const refPtr<classInfo>& cls) {
        std::vector<refPtr<fieldInfo>> out;
        cls->getIdFieldInfos(out);
        return out;
    }
    using fields = std::vector<refPtr<fieldInfo>>;
};

TEST_F(IdentityTest, RepeatedRequestsWithoutChangeGiveTheSameObject) {
    makeKey(orderNumber());
    refPtr<idInfo> first = orderLine->idInfo();

    EXPECT_EQ(orderLine->idInfo(), first);
    EXPECT_EQ(first->fieldInfos(), fields{orderNumber()});
    EXPECT_EQ(first->classInfo(), orderLine);
}

TEST_F(IdentityTest, NewKeyFieldGivesANewIdentityInFieldOrder) {
    makeKey(lineNo());
    refPtr<idInfo> first = orderLine->idInfo();
    makeKey(orderNumber());
    refPtr<idInfo> second = orderLine->idInfo();

    EXPECT_NE(second, first);
    EXPECT_EQ(second->fieldInfos(), (fields{orderNumber(), lineNo()}));
    EXPECT_EQ(first->fieldInfos(), fields{lineNo()});
}

TEST_F(IdentityTest, AddingAnOrdinaryFieldKeepsTheIdentity) {
    makeKey(orderNumber());
    refPtr<idInfo> first = orderLine->idInfo();
    orderLine->createFieldInfo(L"quantity", eDouble, ky::genericSet(), L"");
    field(orderLine, L"quantity")->setSemantic(eSemVolume, ky::genericSet(), L"");

    EXPECT_EQ(orderLine->idInfo(), first);
}

TEST_F(IdentityTest, ClassWithoutKeyIsRefusedAndBuildsLaterOnce) {
    expectAssertion([&] { orderLine->idInfo(); }, assertionReport(L"rfields.size()>=1", idFile, 11));

    makeKey(lineNo());
    EXPECT_EQ(orderLine->idInfo()->fieldInfos(), fields{lineNo()});
}

TEST_F(IdentityTest, KeyFieldLeavingTheKeyDropsTheIdentity) {
    makeKey(orderNumber());
    makeKey(lineNo());
    refPtr<idInfo> before = orderLine->idInfo();
    lineNo()->setSemantic(eSemLength, ky::genericSet(), L"");
    refPtr<idInfo> after = orderLine->idInfo();

    EXPECT_NE(after, before);
    EXPECT_EQ(after->fieldInfos(), fields{orderNumber()});
    EXPECT_EQ(before->fieldInfos(), (fields{orderNumber(), lineNo()}));
}

TEST_F(IdentityTest, RelationFromAKeyFieldTakesItOutOfTheIdentity) {
    makeKey(orderNumber());
    makeKey(lineNo());
    refPtr<idInfo> before = orderLine->idInfo();

    orderLine->createRelation(L"orderNumber", false, order, eRevAgg, L"", L"");

    EXPECT_EQ(orderNumber()->semantic(), eSemRelation);
    refPtr<idInfo> after = orderLine->idInfo();
    EXPECT_NE(after, before);
    EXPECT_EQ(after->fieldInfos(), fields{lineNo()});
}

TEST_F(IdentityTest, RelationFromTheOnlyKeyFieldLeavesAClassWithoutIdentity) {
    makeKey(orderNumber());
    orderLine->idInfo();

    orderLine->createRelation(L"orderNumber", false, field(order, L"number"), eRevAgg, L"", L"");

    expectAssertion([&] { orderLine->idInfo(); }, assertionReport(L"rfields.size()>=1", idFile, 11));
}

TEST_F(IdentityTest, KeyFieldsOfBaseClassesAreNotPartOfTheIdentity) {
    refPtr<classInfo> special = model->createClassInfo(L"SpecialLine", false);
    special->addBaseClass(orderLine);
    special->createFieldInfo(L"code", eString, ky::genericSet(), L"");
    makeKey(orderNumber());
    makeKey(field(special, L"code"));

    EXPECT_EQ(special->idInfo()->fieldInfos(), fields{field(special, L"code")});
    EXPECT_EQ(idFields(special), fields{field(special, L"code")});
}

TEST_F(IdentityTest, OverridingFieldFollowsItsSourcesSemantic) {
    refPtr<classInfo> special = model->createClassInfo(L"SpecialLine", false);
    special->addBaseClass(orderLine);
    refPtr<fieldInfo> overriding = special->createFieldInfo(orderLine, L"lineNo");
    makeKey(lineNo());

    EXPECT_EQ(idFields(special), fields{overriding});
}

TEST_F(IdentityTest, IdFieldsAreAppendedAfterExistingEntries) {
    makeKey(lineNo());
    fields out{field(order, L"number")};
    orderLine->getIdFieldInfos(out);

    EXPECT_EQ(out, (fields{field(order, L"number"), lineNo()}));
}

TEST_F(IdentityTest, EarlierIdentityOutlivesTheClasssRelease) {
    makeKey(lineNo());
    refPtr<idInfo> identity = orderLine->idInfo();
    orderLine->releaseInfo();

    EXPECT_EQ(identity->fieldInfos().size(), 1u);
    EXPECT_FALSE(identity->classInfo());
}

class IdentityComparisonTest : public IdentityTest {};

TEST_F(IdentityComparisonTest, IdentitiesBuiltAtDifferentTimesOverTheSameFieldsAreEqual) {
    makeKey(orderNumber());
    refPtr<idInfo> first = orderLine->idInfo();
    makeKey(orderNumber());
    refPtr<idInfo> second = orderLine->idInfo();

    ASSERT_NE(second, first);
    EXPECT_TRUE(first->isEqualTo(second.get()));
    EXPECT_TRUE(second->isEqualTo(first.get()));
}

TEST_F(IdentityComparisonTest, DifferentFieldsOrCountsAreNotEqual) {
    makeKey(orderNumber());
    refPtr<idInfo> one = orderLine->idInfo();
    makeKey(lineNo());
    refPtr<idInfo> two = orderLine->idInfo();
    makeKey(field(order, L"number"));
    refPtr<idInfo> other = order->idInfo();

    EXPECT_FALSE(one->isEqualTo(two.get()));
    EXPECT_FALSE(two->isEqualTo(one.get()));
    EXPECT_FALSE(one->isEqualTo(other.get()));
}

TEST_F(IdentityComparisonTest, SameNameAndTypeInAnotherClassIsNotEqual) {
    makeKey(orderNumber());
    refPtr<classInfo> twin = model->createClassInfo(L"Twin", false);
    makeKey(twin->createFieldInfo(L"orderNumber", eInt, ky::genericSet(), L""));

    EXPECT_FALSE(orderLine->idInfo()->isEqualTo(twin->idInfo().get()));
}

TEST_F(IdentityComparisonTest, NullOtherIsRefused) {
    makeKey(orderNumber());
    refPtr<idInfo> identity = orderLine->idInfo();

    expectAssertion([&] { identity->isEqualTo(nullptr); }, assertionReport(L"pOther!=0", idFile, 34));
}

}  // namespace
}  // namespace reltest
