// The relations of a class: both lists, reuse of an existing relation,
// from-fields found in base classes and the lookup by name.
#include "relation_test_support.h"

namespace reltest {
namespace {

using relations = std::vector<refPtr<relationInfo>>;

class ClassRelationsTest : public shopFixture {
protected:
    // Party, with two reference fields; classes derived from it on demand.
    refPtr<classInfo> party;

    void addParty() {
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
    refPtr<relationInfo> toClass = orderToCustomer();
    refPtr<relationInfo> toField = orderToCustomerId();

    EXPECT_EQ(toRelations(order), (relations{toClass, toField}));
    EXPECT_EQ(fromRelations(customer), (relations{toClass, toField}));
    EXPECT_TRUE(fromRelations(order).empty());
    EXPECT_TRUE(toRelations(customer).empty());
}

TEST_F(ClassRelationsTest, RelationOfAClassToItselfIsInBothItsLists) {
    addParty();
    refPtr<relationInfo> relation = party->createRelation(L"parentId", false, party, eAgg, L"", L"");

    EXPECT_EQ(toRelations(party), relations{relation});
    EXPECT_EQ(fromRelations(party), relations{relation});
}

TEST_F(ClassRelationsTest, SameFromFieldAndTargetGiveTheFirstRelationWhateverTheNames) {
    refPtr<relationInfo> toClass = orderToCustomer(eRef, L"PlacedBy", L"Orders");
    refPtr<relationInfo> toField = orderToCustomerId(eRef, L"Buyer", L"");

    EXPECT_EQ(orderToCustomer(eAgg, L"Other", L"Names"), toClass);
    EXPECT_EQ(orderToCustomerId(eBiAgg, L"", L"Names"), toField);
    EXPECT_EQ(toClass->relationType(), eRef);
    EXPECT_EQ(toClass->scName().string(), L"PlacedBy");
    EXPECT_EQ(toRelations(order).size(), 2u);
    EXPECT_EQ(fromRelations(customer).size(), 2u);
}

TEST_F(ClassRelationsTest, OtherTargetsMakeNewRelations) {
    refPtr<relationInfo> toClass = orderToCustomer();
    refPtr<relationInfo> toField = orderToCustomerId();

    EXPECT_NE(toField, toClass);
    EXPECT_NE(order->createRelation(L"customerId", false, field(customer, L"region"), eRef, L"", L""), toField);
    EXPECT_NE(order->createRelation(L"customerId", false, orderLine, eRef, L"", L""), toClass);
    EXPECT_EQ(toRelations(order).size(), 4u);
}

// Reuse toward a class asks only for the from-field and the target class, so
// an earlier relation toward a field of that class answers for the class.
TEST_F(ClassRelationsTest, RelationTowardAFieldAnswersForItsClass) {
    refPtr<relationInfo> toField = orderToCustomerId();

    EXPECT_EQ(orderToCustomer(), toField);
    EXPECT_EQ(toRelations(order).size(), 1u);
}

TEST_F(ClassRelationsTest, FieldAddedToACompoundKeyFindsItsRelationTowardTheClass) {
    refPtr<relationInfo> relation = orderToCustomer();
    relation->addFieldRelation(field(order, L"customerRegion"), field(customer, L"region"));

    EXPECT_EQ(order->createRelation(L"customerRegion", false, customer, eAgg, L"", L""), relation);
}

TEST_F(ClassRelationsTest, FromFieldFoundInABaseClassStaysTheBaseClasssField) {
    addParty();
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    refPtr<relationInfo> relation = person->createRelation(L"homeId", true, customer, eRef, L"", L"");

    EXPECT_EQ(toRelations(person), relations{relation});
    EXPECT_TRUE(toRelations(party).empty());
    EXPECT_EQ(relation->fromClassInfo(), party);
    EXPECT_EQ(relation->scReverseName().string(), L"party");
}

TEST_F(ClassRelationsTest, FromFieldMustBeFoundWithoutAliasesAndTypedTowardAClass) {
    addParty();
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    field(order, L"customerId")->addAliasname(L"buyer");
    order->createFieldInfo(L"untyped", static_cast<eFieldType>(0), ky::genericSet(), L"");

    expectAssertion([&] { person->createRelation(L"homeId", false, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 674));
    expectAssertion([&] { order->createRelation(L"buyer", true, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 674));
    expectAssertion([&] { order->createRelation(L"untyped", false, customer, eRef, L"", L""); },
                    assertionReport(L"pFromFld->type()", classFile, 675));
    EXPECT_TRUE(toRelations(person).empty());
    EXPECT_TRUE(toRelations(order).empty());
    EXPECT_TRUE(fromRelations(customer).empty());
}

TEST_F(ClassRelationsTest, FromFieldMustBeFoundTowardAFieldWhateverItsType) {
    order->createFieldInfo(L"untyped", static_cast<eFieldType>(0), ky::genericSet(), L"");

    expectAssertion([&] { order->createRelation(L"nothing", true, field(customer, L"id"), eRef, L"", L""); },
                    assertionReport(L"pFromFld", classFile, 640));
    EXPECT_TRUE(toRelations(order).empty());
    EXPECT_TRUE(order->createRelation(L"untyped", false, field(customer, L"id"), eRef, L"", L""));
}

TEST_F(ClassRelationsTest, CopyRelationFromAnswersNothing) {
    refPtr<relationInfo> relation = orderToCustomer();

    EXPECT_FALSE(orderLine->copyRelationFrom(relation));
    EXPECT_TRUE(toRelations(orderLine).empty());
    EXPECT_EQ(fromRelations(customer).size(), 1u);
}

using RelationLookupTest = ClassRelationsTest;

TEST_F(RelationLookupTest, NameIsComparedAsWrittenAmongOutgoingRelations) {
    refPtr<relationInfo> named = orderToCustomer(eRef, L"PlacedBy", L"");
    refPtr<relationInfo> defaulted = orderToCustomerId();

    EXPECT_EQ(order->toRelation(L"PlacedBy", false), named);
    EXPECT_FALSE(order->toRelation(L"placedby", false));
    EXPECT_EQ(order->toRelation(L"customerid", false), defaulted);
    EXPECT_FALSE(order->toRelation(L"customerId", false));
    EXPECT_FALSE(customer->toRelation(L"PlacedBy", true));
}

TEST_F(RelationLookupTest, BaseClassRelationsAreFoundOnlyWithTheFlag) {
    addParty();
    refPtr<relationInfo> home = party->createRelation(L"homeId", false, customer, eRef, L"Home", L"");
    refPtr<classInfo> person = derivedFrom(L"Person", party);
    refPtr<classInfo> employee = derivedFrom(L"Employee", person);

    EXPECT_FALSE(person->toRelation(L"Home", false));
    EXPECT_EQ(person->toRelation(L"Home", true), home);
    EXPECT_EQ(employee->toRelation(L"Home", true), home);

    person->createFieldInfo(L"flatId", eInt, ky::genericSet(), L"");
    refPtr<relationInfo> own = person->createRelation(L"flatId", false, customer, eRef, L"Home", L"");
    EXPECT_EQ(employee->toRelation(L"Home", true), own);
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
