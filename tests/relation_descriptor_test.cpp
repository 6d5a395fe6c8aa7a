// A relation's pairs, kind, names, compound keys, log lines and refusals.
#include "relation_test_support.h"

namespace reltest {
namespace {

using RelationDescriptorTest = shopFixture;

TEST_F(RelationDescriptorTest, TowardClassPairsFromFieldWithPointerFieldKeptOutOfTargetFieldList) {
    refPtr<relationInfo> relation = orderToCustomer();

    ASSERT_EQ(relation->fieldRelations().size(), 1u);
    const relationInfo::fieldPair& pair = relation->fieldRelations().front();
    EXPECT_EQ(pair.first, field(order, L"customerId"));
    EXPECT_EQ(pair.second->scName().string(), L"PTR");
    EXPECT_EQ(pair.second->type(), ePtr);
    EXPECT_EQ(pair.second->classInfo(), customer);
    EXPECT_EQ(customer->countFields(), 2u);
    EXPECT_FALSE(customer->fieldInfo(L"PTR", true, true));
}

TEST_F(RelationDescriptorTest, TowardFieldPairsTheTwoFieldsBothWays) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    refPtr<fieldInfo> id = field(customer, L"id");
    refPtr<relationInfo> relation = orderToCustomerId();

    EXPECT_EQ(relation->fromClassInfo(), order);
    EXPECT_EQ(relation->toClassInfo(), customer);
    EXPECT_EQ(relation->firstFromFieldInfo(), customerId);
    EXPECT_EQ(relation->toFieldInfo(customerId), id);
    EXPECT_EQ(relation->fromFieldInfo(id), customerId);
}

TEST_F(RelationDescriptorTest, FieldsOutsideThePairsMatchNothing) {
    refPtr<relationInfo> relation = orderToCustomerId();

    EXPECT_FALSE(relation->fromFieldInfo(field(customer, L"region")));
    EXPECT_FALSE(relation->fromFieldInfo(field(order, L"customerId")));
    EXPECT_FALSE(relation->toFieldInfo(field(order, L"number")));
    EXPECT_FALSE(relation->toFieldInfo(nullptr));
    EXPECT_FALSE(relation->fromFieldInfo(nullptr));
}

TEST_F(RelationDescriptorTest, FromFieldBecomesRelationFieldWithEmptyAttributes) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    customerId->setSemantic(eSemCustom, ky::genericSet(), L"owner");

    orderToCustomer();

    EXPECT_EQ(customerId->semantic(), eSemRelation);
    EXPECT_TRUE(customerId->semanticAttribs().empty());
}

TEST_F(RelationDescriptorTest, GivenNamesAreKeptAsWritten) {
    refPtr<relationInfo> relation = orderToCustomer(eAgg, L"PlacedBy", L"Orders");

    EXPECT_EQ(relation->scName().string(), L"PlacedBy");
    EXPECT_EQ(relation->scReverseName().string(), L"Orders");
}

// Every kind is kept, and empty names get the same defaults whatever the kind.
class RelationKindTest : public shopFixture, public ::testing::WithParamInterface<eRelationType> {};

TEST_P(RelationKindTest, TowardClassKeepsKindAndNamesItAfterFromFieldAndFromClass) {
    refPtr<relationInfo> relation = orderToCustomer(GetParam());

    EXPECT_EQ(relation->relationType(), GetParam());
    EXPECT_EQ(relation->scName().string(), L"customerid");
    EXPECT_EQ(relation->scReverseName().string(), L"order");
}

TEST_P(RelationKindTest, TowardFieldKeepsKindAndNamesReverseAfterQualifiedFromField) {
    refPtr<relationInfo> relation = orderToCustomerId(GetParam());

    EXPECT_EQ(relation->relationType(), GetParam());
    EXPECT_EQ(relation->scName().string(), L"customerid");
    EXPECT_EQ(relation->scReverseName().string(), L"order.customerid");
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RelationKindTest, ::testing::Values(eRef, eAgg, eRevAgg, eBiAgg));

class RelationCompoundKeyTest : public shopFixture {
protected:
    refPtr<classInfo> shipment;
    refPtr<relationInfo> relation;

    void SetUp() override {
        shopFixture::SetUp();
        shipment = model->createClassInfo(L"Shipment", false);
        shipment->createFieldInfo(L"orderNumber", eInt, ky::genericSet(), L"");
        shipment->createFieldInfo(L"lineNo", eInt, ky::genericSet(), L"");
        relation = shipment->createRelation(L"orderNumber", false, field(orderLine, L"orderNumber"), eAgg, L"", L"");
    }
    void TearDown() override {
        relation = nullptr;
        shipment = nullptr;
        shopFixture::TearDown();
    }
    bool addLineNumbers() { return relation->addFieldRelation(field(shipment, L"lineNo"), field(orderLine, L"lineNo")); }
};

TEST_F(RelationCompoundKeyTest, AddedPairJoinsTheKeyInOrder) {
    EXPECT_TRUE(addLineNumbers());

    ASSERT_EQ(relation->fieldRelations().size(), 2u);
    EXPECT_EQ(relation->fieldRelations()[1].first, field(shipment, L"lineNo"));
    EXPECT_EQ(relation->toFieldInfo(field(shipment, L"lineNo")), field(orderLine, L"lineNo"));
    EXPECT_EQ(relation->fromFieldInfo(field(orderLine, L"lineNo")), field(shipment, L"lineNo"));
    EXPECT_EQ(relation->firstFromFieldInfo(), field(shipment, L"orderNumber"));
}

TEST_F(RelationCompoundKeyTest, AddedParentColumnKeepsItsSemantic) {
    field(shipment, L"lineNo")->setSemantic(eSemLength, ky::genericSet(), L"");
    addLineNumbers();
    EXPECT_EQ(field(shipment, L"lineNo")->semantic(), eSemLength);
}

TEST_F(RelationCompoundKeyTest, SamePairAddedTwiceIsKeptTwice) {
    addLineNumbers();
    addLineNumbers();
    EXPECT_EQ(relation->fieldRelations().size(), 3u);
}

TEST_F(RelationCompoundKeyTest, PointerFieldAcceptsColumnsOfTheTargetClass) {
    refPtr<relationInfo> toClass = order->createRelation(L"number", false, orderLine, eAgg, L"", L"");
    EXPECT_TRUE(toClass->addFieldRelation(field(order, L"customerId"), field(orderLine, L"lineNo")));
    EXPECT_EQ(toClass->fieldRelations().size(), 2u);
}

TEST_F(RelationCompoundKeyTest, ParentColumnOfAnotherClassIsRefused) {
    expectAssertion([&] { relation->addFieldRelation(field(order, L"number"), field(orderLine, L"lineNo")); },
                    assertionReport(L"mRelations[0].first->classInfo() && "
                                    L"mRelations[0].first->classInfo()==pParentColumn->classInfo()",
                                    relationFile, 137));
    EXPECT_EQ(relation->fieldRelations().size(), 1u);
}

TEST_F(RelationCompoundKeyTest, DependentColumnOfAnotherClassIsRefused) {
    expectAssertion([&] { relation->addFieldRelation(field(shipment, L"lineNo"), field(order, L"number")); },
                    assertionReport(L"mRelations[0].second->classInfo() && "
                                    L"mRelations[0].second->classInfo()==pDepColumn->classInfo()",
                                    relationFile, 138));
    EXPECT_EQ(relation->fieldRelations().size(), 1u);
}

TEST_F(RelationCompoundKeyTest, EmptyColumnIsRefusedByThePointer) {
    expectAssertion([&] { relation->addFieldRelation(nullptr, field(orderLine, L"lineNo")); },
                    assertionReport(L"m_p != NULL", refPtrFile, 144));
    expectAssertion([&] { relation->addFieldRelation(field(shipment, L"lineNo"), nullptr); },
                    assertionReport(L"m_p != NULL", refPtrFile, 144));
    EXPECT_EQ(relation->fieldRelations().size(), 1u);
}

TEST_F(RelationCompoundKeyTest, ColumnWithoutClassIsRefused) {
    refPtr<classInfo> loose = classInfo::createClassInfo(L"Loose");
    refPtr<fieldInfo> orphan = loose->createFieldInfo(L"lineNo", eInt, ky::genericSet(), L"");
    loose->releaseInfo();

    expectAssertion([&] { relation->addFieldRelation(field(shipment, L"lineNo"), orphan); },
                    assertionReport(L"pParentColumn->classInfo()&&pDepColumn->classInfo()", relationFile, 135));
    EXPECT_EQ(relation->fieldRelations().size(), 1u);
}

class RelationRefusalTest : public shopFixture {
protected:
    std::size_t orderRelations() const {
        return static_cast<std::size_t>(order->toRelations_end() - order->toRelations_begin());
    }
};

TEST_F(RelationRefusalTest, EmptyTargetClassIsRefused) {
    expectAssertion([&] { order->createRelation(L"customerId", false, refPtr<classInfo>(), eRef, L"", L""); },
                    assertionReport(L"pFromField&&pToClass", relationFile, 54));
    EXPECT_EQ(orderRelations(), 0u);
    EXPECT_EQ(field(order, L"customerId")->semantic(), eSemNone);
}

TEST_F(RelationRefusalTest, EmptyTargetFieldIsRefused) {
    expectAssertion([&] { order->createRelation(L"customerId", false, refPtr<fieldInfo>(), eRef, L"", L""); },
                    assertionReport(L"pFromField&&pToField", relationFile, 19));
    EXPECT_EQ(orderRelations(), 0u);
    EXPECT_EQ(field(order, L"customerId")->semantic(), eSemNone);
}

TEST_F(RelationRefusalTest, TargetFieldWithoutClassIsRefused) {
    refPtr<classInfo> loose = classInfo::createClassInfo(L"Loose");
    refPtr<fieldInfo> orphan = loose->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    loose->releaseInfo();

    expectAssertion([&] { order->createRelation(L"customerId", false, orphan, eRef, L"", L""); },
                    assertionReport(L"pFromField->classInfo()&&pToField->classInfo()", relationFile, 20));
    EXPECT_EQ(orderRelations(), 0u);
}

class RelationLogTest : public shopFixture {
protected:
    logRecorder log;

    void expectLine(const kylog::logRecord& r, const wchar_t* logger, const std::wstring& message, int line) {
        EXPECT_EQ(r.lvl, kylog::level::trace);
        EXPECT_EQ(r.logger, logger);
        EXPECT_EQ(r.function, logger);
        EXPECT_EQ(r.message, message);
        EXPECT_EQ(r.file, relationFile);
        EXPECT_EQ(r.line, line);
    }
};

TEST_F(RelationLogTest, CreationTowardClassIsLoggedWithTheFilledNames) {
    orderToCustomer();
    std::vector<kylog::logRecord> lines = log.startingWith(L"relationInfo created");
    ASSERT_EQ(lines.size(), 1u);
    expectLine(lines[0], L"ky::metamodel::relationInfo::relationInfo",
               L"relationInfo created: \"customerid\" to \"order\"", 59);
}

TEST_F(RelationLogTest, CreationTowardFieldIsLoggedWithTheGivenNames) {
    orderToCustomerId(eRef, L"PlacedBy", L"Orders");
    std::vector<kylog::logRecord> lines = log.startingWith(L"relationInfo created");
    ASSERT_EQ(lines.size(), 1u);
    expectLine(lines[0], L"ky::metamodel::relationInfo::relationInfo",
               L"relationInfo created: \"PlacedBy\" to \"Orders\"", 24);
}

TEST_F(RelationLogTest, ReleaseIsLoggedWhenBothClassesAreGone) {
    orderToCustomerId(eBiAgg, L"PlacedBy", L"");
    TearDown();
    std::vector<kylog::logRecord> lines = log.startingWith(L"relationInfo released");
    ASSERT_EQ(lines.size(), 1u);
    expectLine(lines[0], L"ky::metamodel::relationInfo::~relationInfo",
               L"relationInfo released: \"PlacedBy\" to \"order.customerid\"", 91);
}

TEST_F(RelationLogTest, ReuseLogsNothing) {
    orderToCustomer();
    log.clear();
    orderToCustomer(eAgg, L"Other", L"Names");
    EXPECT_EQ(log.count(L"relationInfo created"), 0u);
}

}  // namespace
}  // namespace reltest
