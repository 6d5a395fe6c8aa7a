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
    // The relations out of `c`, and those into it.
    static relations outOf(const refPtr<classInfo>& c) { return {c->toRelations_begin(), c->toRelations_end()}; }
    static relations into(const refPtr<classInfo>& c) { return {c->fromRelations_begin(), c->fromRelations_end()}; }

    refPtr<classInfo> customer = makeClass(L"Customer");
    refPtr<classInfo> order = makeClass(L"Order");
    refPtr<classInfo> orderLine = makeClass(L"OrderLine");
};

// Toward a class the from-field is paired with a pointer field outside the
// target's field list; toward a field each field of the pair answers the
// other and nothing else does.
TEST_F(Relations, FromFieldIsPairedWithAPointerFieldOfTheTargetClassOrWithTheTargetField) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    customerId->setSemantic(eSemCustom, ky::genericSet(), L"owner");
    refPtr<relationInfo> toClass = toCustomer();
    ASSERT_EQ(toClass->fieldRelations().size(), 1u);
    const relationInfo::fieldPair& pair = toClass->fieldRelations().front();
    EXPECT_EQ(pair.first, customerId);
    EXPECT_EQ(toClass->toClassInfo(), customer);
    EXPECT_EQ(pair.second->qualifiedName(), L"customer.PTR");
    EXPECT_EQ(pair.second->type(), ePtr);
    EXPECT_EQ(customer->countFields(), 2u);
    EXPECT_FALSE(customer->fieldInfo(L"PTR", true, true));
    EXPECT_EQ(customerId->semantic(), eSemRelation);
    EXPECT_TRUE(customerId->semanticAttribs().empty());

    refPtr<fieldInfo> region = field(order, L"customerRegion");
    refPtr<fieldInfo> id = field(customer, L"id");
    refPtr<relationInfo> toField = order->createRelation(L"customerRegion", false, id, eRef, L"", L"");
    EXPECT_EQ(toField->fromClassInfo(), order);
    EXPECT_EQ(toField->toClassInfo(), customer);
    EXPECT_EQ(toField->firstFromFieldInfo(), region);
    EXPECT_EQ(toField->toFieldInfo(region), id);
    EXPECT_EQ(toField->fromFieldInfo(id), region);
    EXPECT_FALSE(toField->fromFieldInfo(region));
    EXPECT_FALSE(toField->toFieldInfo(id));
    EXPECT_FALSE(toField->toFieldInfo(nullptr));
}

// Every kind is kept; given names stay as written, empty ones get the same
// defaults whatever the kind.
class RelationKinds : public Relations, public ::testing::WithParamInterface<eRelationType> {};

TEST_P(RelationKinds, EmptyNamesDefaultToTheFromSide) {
    refPtr<relationInfo> toClass = toCustomer(GetParam());
    refPtr<relationInfo> toField = toCustomerId(GetParam());
    refPtr<relationInfo> named = relate(orderLine, GetParam(), L"PlacedBy", L"Orders");

    for (const auto& relation : {toClass, toField, named}) EXPECT_EQ(relation->relationType(), GetParam());
    const auto names = [](const refPtr<relationInfo>& r) {
        return r->scName().string() + L" " + r->scReverseName().string();
    };
    EXPECT_EQ(names(toClass), L"customerid order");
    EXPECT_EQ(names(toField), L"customerid order.customerid");
    EXPECT_EQ(names(named), L"PlacedBy Orders");
}

// Cases are named by the relation kind, so test names stay stable.
std::string kindName(const ::testing::TestParamInfo<eRelationType>& info) {
    switch (info.param) {
        case eRef: return "eRef";
        case eAgg: return "eAgg";
        case eRevAgg: return "eRevAgg";
        case eBiAgg: return "eBiAgg";
        default: return "kind" + std::to_string(info.index);
    }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RelationKinds, ::testing::Values(eRef, eAgg, eRevAgg, eBiAgg), kindName);

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

// Reuse toward a class asks only for the from-field and the target class,
// so an earlier relation toward a field of that class answers for it.
TEST_F(Relations, SameFromFieldAndTargetGiveTheFirstRelation) {
    refPtr<relationInfo> toField = relate(field(customer, L"id"), eRef, L"Buyer");
    EXPECT_EQ(relate(field(customer, L"id"), eBiAgg, L"", L"Names"), toField);
    EXPECT_EQ(relate(customer, eAgg, L"Other", L"Names"), toField);
    EXPECT_EQ(toField->relationType(), eRef);
    EXPECT_EQ(toField->scName().string(), L"Buyer");

    refPtr<relationInfo> toRegion = relate(field(customer, L"region"));
    refPtr<relationInfo> self = order->createRelation(L"number", false, order, eAgg, L"", L"");
    EXPECT_EQ(outOf(order), (relations{toField, toRegion, self}));
    EXPECT_EQ(into(customer), (relations{toField, toRegion}));
    EXPECT_EQ(into(order), relations{self});
    EXPECT_TRUE(outOf(customer).empty());
    EXPECT_FALSE(orderLine->copyRelationFrom(toField));
    EXPECT_TRUE(outOf(orderLine).empty());
}

TEST_F(Relations, FromFieldFoundInABaseClassStaysTheBaseClasssFieldWhateverItsType) {
    addField(order, L"untyped", static_cast<eFieldType>(0));
    refPtr<classInfo> rush = makeClass(L"RushOrder", {order});
    refPtr<relationInfo> relation = rush->createRelation(L"customerId", true, customer, eRef, L"", L"");

    EXPECT_EQ(outOf(rush), relations{relation});
    EXPECT_TRUE(outOf(order).empty());
    EXPECT_EQ(relation->fromClassInfo(), order);
    EXPECT_EQ(relation->scReverseName().string(), L"order");
    EXPECT_TRUE(order->createRelation(L"untyped", false, field(customer, L"id"), eRef, L"", L""));
}

// Order is a base of the first base in map order, so it is searched before
// the second one; a relation of the class itself comes first.
TEST_F(Relations, LookupSearchesBasesOnlyWithTheFlag) {
    refPtr<relationInfo> named = relate(customer, eRef, L"PlacedBy");
    refPtr<relationInfo> defaulted = toCustomerId();
    EXPECT_EQ(order->toRelation(L"PlacedBy", false), named);
    EXPECT_EQ(order->toRelation(L"customerid", false), defaulted);
    EXPECT_FALSE(order->toRelation(L"placedby", false));
    EXPECT_FALSE(order->toRelation(L"customerId", false));
    EXPECT_FALSE(customer->toRelation(L"PlacedBy", true));

    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> child = makeClass(L"Child", {bases.back(), bases.front()});
    bases.front()->addBaseClass(order);
    addField(bases.back(), L"ownerId");
    bases.back()->createRelation(L"ownerId", false, customer, eRef, L"PlacedBy", L"");
    EXPECT_FALSE(child->toRelation(L"PlacedBy", false));
    EXPECT_EQ(child->toRelation(L"PlacedBy", true), named);
    addField(child, L"payerId");
    refPtr<relationInfo> own = child->createRelation(L"payerId", false, customer, eRef, L"PlacedBy", L"");
    EXPECT_EQ(child->toRelation(L"PlacedBy", true), own);
}

TEST_F(Relations, AnotherFromFieldTowardTheSameClassMakesANewRelation) {
    refPtr<relationInfo> byId = toCustomer();
    refPtr<relationInfo> byRegion = order->createRelation(L"customerRegion", false, customer, eRef, L"", L"");
    EXPECT_NE(byRegion, byId);
    EXPECT_EQ(into(customer), (relations{byId, byRegion}));
    const classInfo& target = *customer;
    EXPECT_EQ(target.fromRelations_end() - target.fromRelations_begin(), 2);
    const classInfo& source = *order;
    EXPECT_EQ(*source.toRelations_begin(), byId);
    EXPECT_EQ(source.toRelations_end() - source.toRelations_begin(), 2);
}

}  // namespace
}  // namespace kytest
