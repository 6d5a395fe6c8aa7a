// Relations: a relation's pairs, kind and names, compound keys, and the
// relation lists of classes with reuse and the lookup by name.
#include "test_support.h"

namespace kytest {
namespace {

using relations = std::vector<refPtr<relationInfo>>;

// Customers with an id and a region, orders that refer to them, order lines.
class Relations : public modelTest {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"id", L"region"}) addField(customer, name);
        for (const wchar_t* name : {L"number", L"customerId", L"customerRegion"}) addField(order, name);
        for (const wchar_t* name : {L"orderNumber", L"lineNo"}) addField(orderLine, name);
    }
    // order.customerId towards `target`, a class or a field.
    template <class Target>
    refPtr<relationInfo> relate(Target target, eRelationType kind = eRef, const wchar_t* name = L"",
                                const wchar_t* reverse = L"") {
        return order->createRelation(L"customerId", false, target, kind, name, reverse);
    }
    refPtr<relationInfo> toCustomer(eRelationType kind = eRef) { return relate(customer, kind); }
    refPtr<relationInfo> toCustomerId(eRelationType kind = eRef) { return relate(field(customer, L"id"), kind); }
    static relations toRelations(const refPtr<classInfo>& c) { return {c->toRelations_begin(), c->toRelations_end()}; }
    static relations fromRelations(const refPtr<classInfo>& c) {
        return {c->fromRelations_begin(), c->fromRelations_end()};
    }

    refPtr<classInfo> customer = makeClass(L"Customer");
    refPtr<classInfo> order = makeClass(L"Order");
    refPtr<classInfo> orderLine = makeClass(L"OrderLine");
};

TEST_F(Relations, TowardAClassPairsTheFromFieldWithAPointerFieldOutsideTheTargetsFieldList) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    customerId->setSemantic(eSemCustom, ky::genericSet(), L"owner");
    refPtr<relationInfo> relation = toCustomer();

    ASSERT_EQ(relation->fieldRelations().size(), 1u);
    const relationInfo::fieldPair& pair = relation->fieldRelations().front();
    EXPECT_EQ(pair.first, customerId);
    EXPECT_EQ(pair.second->qualifiedName(), L"customer.PTR");
    EXPECT_EQ(pair.second->type(), ePtr);
    EXPECT_EQ(relation->toClassInfo(), customer);
    EXPECT_EQ(customer->countFields(), 2u);
    EXPECT_FALSE(customer->fieldInfo(L"PTR", true, true));
    EXPECT_EQ(customerId->semantic(), eSemRelation);
    EXPECT_TRUE(customerId->semanticAttribs().empty());
}

TEST_F(Relations, TowardAFieldAnswersEachFieldOfThePairAndNothingElse) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    refPtr<fieldInfo> id = field(customer, L"id");
    refPtr<relationInfo> relation = toCustomerId();

    EXPECT_EQ(relation->fromClassInfo(), order);
    EXPECT_EQ(relation->toClassInfo(), customer);
    EXPECT_EQ(relation->firstFromFieldInfo(), customerId);
    EXPECT_EQ(relation->toFieldInfo(customerId), id);
    EXPECT_EQ(relation->fromFieldInfo(id), customerId);
    EXPECT_FALSE(relation->fromFieldInfo(customerId) || relation->toFieldInfo(id));
    EXPECT_FALSE(relation->fromFieldInfo(nullptr) || relation->toFieldInfo(nullptr));
}

// Every kind is kept; given names stay as written, empty ones get the same
// defaults whatever the kind.
class RelationKinds : public Relations, public ::testing::WithParamInterface<eRelationType> {};

TEST_P(RelationKinds, EmptyNamesDefaultToTheFromFieldAndTheFromClassOrQualifiedField) {
    refPtr<relationInfo> toClass = toCustomer(GetParam());
    refPtr<relationInfo> toField = toCustomerId(GetParam());
    refPtr<relationInfo> named = relate(orderLine, GetParam(), L"PlacedBy", L"Orders");

    for (const auto& relation : {toClass, toField, named}) EXPECT_EQ(relation->relationType(), GetParam());
    EXPECT_EQ(toClass->scName().string(), L"customerid");
    EXPECT_EQ(toClass->scReverseName().string(), L"order");
    EXPECT_EQ(toField->scName().string(), L"customerid");
    EXPECT_EQ(toField->scReverseName().string(), L"order.customerid");
    EXPECT_EQ(named->scName().string(), L"PlacedBy");
    EXPECT_EQ(named->scReverseName().string(), L"Orders");
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RelationKinds, ::testing::Values(eRef, eAgg, eRevAgg, eBiAgg));

TEST_F(Relations, AddedPairsJoinTheKeyInOrderWithoutChecksForDuplicates) {
    refPtr<relationInfo> relation = order->createRelation(L"number", false, field(orderLine, L"orderNumber"), eAgg,
                                                          L"", L"");
    refPtr<fieldInfo> from = field(order, L"customerId");
    refPtr<fieldInfo> to = field(orderLine, L"lineNo");
    EXPECT_TRUE(relation->addFieldRelation(from, to));
    EXPECT_TRUE(relation->addFieldRelation(from, to));
    ASSERT_EQ(relation->fieldRelations().size(), 3u);
    EXPECT_EQ(relation->fieldRelations()[1].first, from);
    EXPECT_EQ(relation->toFieldInfo(from), to);
    EXPECT_EQ(relation->firstFromFieldInfo(), field(order, L"number"));
    EXPECT_EQ(from->semantic(), eSemNone);

    // A pointer field stands for the whole target class, and a column added
    // to its key finds the relation again.
    refPtr<relationInfo> toClass = toCustomer();
    EXPECT_TRUE(toClass->addFieldRelation(field(order, L"customerRegion"), field(customer, L"region")));
    EXPECT_EQ(order->createRelation(L"customerRegion", false, customer, eAgg, L"", L""), toClass);
}

TEST_F(Relations, ARelationIsListedOutOfItsClassAndIntoItsTargetAndCannotBeCopied) {
    refPtr<relationInfo> toClass = toCustomer();
    refPtr<relationInfo> toField = toCustomerId(eRef);
    refPtr<relationInfo> self = order->createRelation(L"number", false, order, eAgg, L"", L"");

    EXPECT_EQ(toRelations(order), (relations{toClass, toField, self}));
    EXPECT_EQ(fromRelations(customer), (relations{toClass, toField}));
    EXPECT_EQ(fromRelations(order), relations{self});
    EXPECT_TRUE(toRelations(customer).empty());
    EXPECT_FALSE(orderLine->copyRelationFrom(toClass));
    EXPECT_TRUE(toRelations(orderLine).empty());
}

// Reuse toward a class asks only for the from-field and the target class,
// so an earlier relation toward a field of that class answers for it.
TEST_F(Relations, SameFromFieldAndTargetGiveTheFirstRelationWhateverTheNamesAndKind) {
    refPtr<relationInfo> toField = relate(field(customer, L"id"), eRef, L"Buyer");
    EXPECT_EQ(relate(field(customer, L"id"), eBiAgg, L"", L"Names"), toField);
    EXPECT_EQ(relate(customer, eAgg, L"Other", L"Names"), toField);
    EXPECT_EQ(toField->relationType(), eRef);
    EXPECT_EQ(toField->scName().string(), L"Buyer");

    EXPECT_NE(order->createRelation(L"customerId", false, field(customer, L"region"), eRef, L"", L""), toField);
    EXPECT_NE(order->createRelation(L"customerId", false, orderLine, eRef, L"", L""), toField);
    EXPECT_EQ(toRelations(order).size(), 3u);
    EXPECT_EQ(fromRelations(customer).size(), 2u);
}

TEST_F(Relations, FromFieldFoundInABaseClassStaysTheBaseClasssFieldWhateverItsType) {
    addField(order, L"untyped", static_cast<eFieldType>(0));
    refPtr<classInfo> rush = makeClass(L"RushOrder", {order});
    refPtr<relationInfo> relation = rush->createRelation(L"customerId", true, customer, eRef, L"", L"");

    EXPECT_EQ(toRelations(rush), relations{relation});
    EXPECT_TRUE(toRelations(order).empty());
    EXPECT_EQ(relation->fromClassInfo(), order);
    EXPECT_EQ(relation->scReverseName().string(), L"order");
    EXPECT_TRUE(order->createRelation(L"untyped", false, field(customer, L"id"), eRef, L"", L""));
}

TEST_F(Relations, LookupComparesTheNameAsWrittenAndSearchesBasesOnlyWithTheFlag) {
    refPtr<relationInfo> named = relate(customer, eRef, L"PlacedBy");
    refPtr<relationInfo> defaulted = toCustomerId();
    refPtr<classInfo> rush = makeClass(L"RushOrder", {order});
    refPtr<classInfo> express = makeClass(L"ExpressOrder", {rush});

    EXPECT_EQ(order->toRelation(L"PlacedBy", false), named);
    EXPECT_FALSE(order->toRelation(L"placedby", false));
    EXPECT_EQ(order->toRelation(L"customerid", false), defaulted);
    EXPECT_FALSE(order->toRelation(L"customerId", false));
    EXPECT_FALSE(customer->toRelation(L"PlacedBy", true));
    EXPECT_FALSE(rush->toRelation(L"PlacedBy", false));
    EXPECT_EQ(express->toRelation(L"PlacedBy", true), named);

    addField(rush, L"payerId");
    refPtr<relationInfo> own = rush->createRelation(L"payerId", false, customer, eRef, L"PlacedBy", L"");
    EXPECT_EQ(express->toRelation(L"PlacedBy", true), own);
}

TEST_F(Relations, BasesAreSearchedInMapOrderDepthFirst) {
    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> root = makeClass(L"Root");
    refPtr<classInfo> child = makeClass(L"Child", {bases.back(), bases.front()});
    bases.front()->addBaseClass(root);
    for (const auto& cls : {root, bases.back()}) addField(cls, L"ownerId");
    refPtr<relationInfo> deep = root->createRelation(L"ownerId", false, customer, eRef, L"Owner", L"");
    bases.back()->createRelation(L"ownerId", false, customer, eRef, L"Owner", L"");

    EXPECT_EQ(child->toRelation(L"Owner", true), deep);
}

}  // namespace
}  // namespace kytest
