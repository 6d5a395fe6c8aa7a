// The relations of a class: both lists, reuse of an existing relation,
// from-fields found in base classes and the lookup by name.
#include "relation_test_support.h"

namespace reltest {
namespace {

class ClassRelationsTest : public shopFixture {
protected:
    // Party with a self relation; Person and Company derive from it.
    refPtr<classInfo> party;

    void addParties() {
        party = model->createClassInfo(L"Party", false);
        party->createFieldInfo(L"parentId", eInt, ky::genericSet(), L"");
        party->createFieldInfo(L"homeId", eInt, ky::genericSet(), L"");
    }
    refPtr<classInfo> derivedFrom(const wchar_t* name, const refPtr<classInfo>& base) {
        refPtr<classInfo> cls = model->createClassInfo(name, false);
        cls->addBaseClass(base);
        return cls;
    }
    void TearDown() override {
        party = nullptr;
        shopFixture::TearDown();
    }
};

TEST_F(ClassRelationsTest, RelationIsListedOutOfItsClassAndIntoItsTarget) {
    refPtr<relationInfo> relation = orderToCustomer();

    EXPECT_EQ(toRelations(order), std::vector<refPtr<relationInfo>>{relation});
    EXPECT_EQ(fromRelations(customer), std::vector<refPtr<relationInfo>>{relation});
    EXPECT_TRUE(fromRelations(order).empty());
    EXPECT_TRUE(toRelations(customer).empty());
}

TEST_F(ClassRelationsTest, RelationTowardFieldIsListedIntoTheFieldsClass) {
    refPtr<relationInfo> relation = orderToCustomerId();

    EXPECT_EQ(toRelations(order), std::vector<refPtr<relationInfo>>{relation});
    EXPECT_EQ(fromRelations(customer), std::vector<refPtr<relationInfo>>{relation});
}

TEST_F(ClassRelationsTest, RelationOfAClassToItselfIsInBothItsLists) {
    addParties();
    refPtr<relationInfo> relation = party->createRelation(L"parentId", false, party, eAgg, L"", L"");

    EXPECT_EQ(toRelations(party), std::vector<refPtr<relationInfo>>{relation});
    EXPECT_EQ(fromRelations(party), std::vector<refPtr<relationInfo>>{relation});
}

TEST_F(ClassRelationsTest, ReadOnlyRangesGiveTheSamePositions) {
    orderToCustomer();
    orderToCustomerId();
    const classInfo& readOnly = *order;

    EXPECT_EQ(readOnly.toRelations_begin(), relationInfoList::const_iterator(order->toRelations_begin()));
    EXPECT_EQ(readOnly.toRelations_end(), relationInfoList::const_iterator(order->toRelations_end()));
    EXPECT_EQ(readOnly.fromRelations_begin(), readOnly.fromRelations_end());
    EXPECT_EQ(toRelations(order).size(), 2u);
}

TEST_F(ClassRelationsTest, SecondRelationTowardSameClassIsTheFirstWhateverTheNames) {
    refPtr<relationInfo> first = orderToCustomer(eRef, L"PlacedBy", L"Orders");
    refPtr<relationInfo> second = orderToCustomer(eAgg, L"Other", L"Names");

    EXPECT_EQ(second, first);
    EXPECT_EQ(second->relationType(), eRef);
    EXPECT_EQ(second->scName().string(), L"PlacedBy");
    EXPECT_EQ(toRelations(order).size(), 1u);
    EXPECT_EQ(fromRelations(customer).size(), 1u);
}

TEST_F(ClassRelationsTest, SecondRelationTowardSameFieldIsTheFirstWhateverTheNames) {
    refPtr<relationInfo> first = orderToCustomerId(eRef, L"PlacedBy", L"");
    refPtr<relationInfo> second = orderToCustomerId(eBiAgg, L"", L"Orders");

    EXPECT_EQ(second, first);
    EXPECT_EQ(toRelations(order).size(), 1u);
}

TEST_F(ClassRelationsTest, OtherTargetsMakeNewRelations) {
    refPtr<relationInfo> toClass = orderToCustomer();
    refPtr<relationInfo> toField = orderToCustomerId();
    refPtr<relationInfo> toOtherField =
        order->createRelation(L"customerId", false, field(customer, L"region"), eRef, L"", L"");
    refPtr<relationInfo> toOtherClass = order->createRelation(L"customerId", false, orderLine, eRef, L"", L"");

    EXPECT_NE(toField, toClass);
    EXPECT_NE(toOtherField, toField);
    EXPECT_NE(toOtherClass, toClass);
    EXPECT_EQ(toRelations(order).size(), 4u);
}

TEST_F(ClassRelationsTest, FieldAddedToACompoundKeyFindsItsRelationTowardTheClass) {
    refPtr<relationInfo> relation = orderToCustomer();
    relation->addFieldRelation(field(order, L"customerRegion"), field(customer, L"region"));

    EXPECT_EQ(order->createRelation(L"customerRegion", false, customer, eAgg, L"", L""), relation);
}

TEST_F(ClassRelationsTest, FromFieldFoundInABaseClassStaysTheBaseClasssField) {
    addParties();
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    refPtr<relationInfo> relation = person->createRelation(L"homeId", true, customer, eRef, L"", L"");

    EXPECT_EQ(toRelations(person), std::vector<refPtr<relationInfo>>{relation});
    EXPECT_TRUE(toRelations(party).empty());
    EXPECT_EQ(relation->fromClassInfo(), party);
    EXPECT_EQ(relation->scReverseName().string(), L"party");
}

TEST_F(ClassRelationsTest, MissingFromFieldIsRefusedTowardAClass) {
    addParties();
    refPtr<classInfo> person = derivedFrom(L"Person", party);

    expectAssertion([&] { person->createRelation(L"homeId", false, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 674));
    EXPECT_TRUE(toRelations(person).empty());
    EXPECT_TRUE(fromRelations(customer).empty());
}

TEST_F(ClassRelationsTest, FromFieldWithoutTypeIsRefusedTowardAClassOnly) {
    order->createFieldInfo(L"untyped", static_cast<eFieldType>(0), ky::genericSet(), L"");

    expectAssertion([&] { order->createRelation(L"untyped", false, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld->type()", classFile, 675));
    EXPECT_TRUE(toRelations(order).empty());

    EXPECT_TRUE(order->createRelation(L"untyped", false, field(customer, L"id"), eRef, L"", L""));
}

TEST_F(ClassRelationsTest, MissingFromFieldIsRefusedTowardAField) {
    expectAssertion([&] { order->createRelation(L"nothing", true, field(customer, L"id"), eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 640));
    EXPECT_TRUE(toRelations(order).empty());
    EXPECT_TRUE(fromRelations(customer).empty());
}

TEST_F(ClassRelationsTest, FromFieldIsLookedUpWithoutAliases) {
    field(order, L"customerId")->addAliasname(L"buyer");

    expectAssertion([&] { order->createRelation(L"buyer", false, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 674));
}

TEST_F(ClassRelationsTest, CopyRelationFromAnswersNothing) {
    refPtr<relationInfo> relation = orderToCustomer();

    EXPECT_FALSE(orderLine->copyRelationFrom(relation));
    EXPECT_TRUE(toRelations(orderLine).empty());
    EXPECT_EQ(fromRelations(customer).size(), 1u);
}

class RelationLookupTest : public ClassRelationsTest {};

TEST_F(RelationLookupTest, NameIsComparedAsWritten) {
    refPtr<relationInfo> named = orderToCustomer(eRef, L"PlacedBy", L"");
    refPtr<relationInfo> defaulted = orderToCustomerId();

    EXPECT_EQ(order->toRelation(L"PlacedBy", false), named);
    EXPECT_FALSE(order->toRelation(L"placedby", false));
    EXPECT_EQ(order->toRelation(L"customerid", false), defaulted);
    EXPECT_FALSE(order->toRelation(L"customerId", false));
}

TEST_F(RelationLookupTest, FirstRelationOfTheNameWins) {
    refPtr<relationInfo> first = orderToCustomer(eRef, L"Buyer", L"");
    orderToCustomerId(eRef, L"Buyer", L"");

    EXPECT_EQ(order->toRelation(L"Buyer", false), first);
}

TEST_F(RelationLookupTest, IncomingRelationsAreNotFound) {
    orderToCustomer(eRef, L"PlacedBy", L"");
    EXPECT_FALSE(customer->toRelation(L"PlacedBy", true));
}

TEST_F(RelationLookupTest, BaseClassRelationsAreFoundOnlyWithTheFlag) {
    addParties();
    refPtr<relationInfo> home = party->createRelation(L"homeId", false, customer, eRef, L"Home", L"");
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    refPtr<classInfo> employee = derivedFrom(L"Employee", person);

    EXPECT_FALSE(person->toRelation(L"Home", false));
    EXPECT_EQ(person->toRelation(L"Home", true), home);
    EXPECT_EQ(employee->toRelation(L"Home", true), home);
}

TEST_F(RelationLookupTest, OwnRelationHidesTheBaseClassOne) {
    addParties();
    party->createRelation(L"homeId", false, customer, eRef, L"Home", L"");
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    person->createFieldInfo(L"flatId", eInt, ky::genericSet(), L"");
    refPtr<relationInfo> own = person->createRelation(L"flatId", false, customer, eRef, L"Home", L"");

    EXPECT_EQ(person->toRelation(L"Home", true), own);
}

TEST_F(RelationLookupTest, BasesAreSearchedInMapOrderDepthFirst) {
    refPtr<classInfo> left = model->createClassInfo(L"Left", false);
    refPtr<classInfo> right = model->createClassInfo(L"Right", false);
    refPtr<classInfo> root = model->createClassInfo(L"Root", false);
    for (const refPtr<classInfo>& cls : {left, right, root})
        cls->createFieldInfo(L"ownerId", eInt, ky::genericSet(), L"");
    refPtr<classInfo> child = derivedFrom(L"Child", left);
    child->addBaseClass(right);
    // The first base in map order reaches the relation only through its own
    // base; the second base has it directly. Depth first, the first base wins.
    refPtr<classInfo> first = *child->baseClasses_begin();
    refPtr<classInfo> second = first == left ? right : left;
    first->addBaseClass(root);
    refPtr<relationInfo> deep = root->createRelation(L"ownerId", false, customer, eRef, L"Owner", L"");
    second->createRelation(L"ownerId", false, customer, eRef, L"Owner", L"");

    EXPECT_EQ(child->toRelation(L"Owner", true), deep);
}

}  // namespace
}  // namespace reltest
