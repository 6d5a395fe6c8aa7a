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
    EXPECT_EQ(relation->toClassInfo(), customer);
    EXPECT_EQ(customer->countFields(), 2u);
    EXPECT_FALSE(customer->fieldInfo(L"PTR", true, true));
}

TEST_F(RelationDescriptorTest, TowardFieldAnswersEachFieldOfThePairAndNothingElse) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    refPtr<fieldInfo> id = field(customer, L"id");
    refPtr<relationInfo> relation = orderToCustomerId();

    EXPECT_EQ(relation->fromClassInfo(), order);
    EXPECT_EQ(relation->toClassInfo(), customer);
    EXPECT_EQ(relation->firstFromFieldInfo(), customerId);
    EXPECT_EQ(relation->toFieldInfo(customerId), id);
    EXPECT_EQ(relation->fromFieldInfo(id), customerId);
    EXPECT_FALSE(relation->fromFieldInfo(customerId));
    EXPECT_FALSE(relation->toFieldInfo(id));
    EXPECT_FALSE(relation->fromFieldInfo(nullptr));
    EXPECT_FALSE(relation->toFieldInfo(nullptr));
}

TEST_F(RelationDescriptorTest, FromFieldBecomesRelationFieldWithEmptyAttributes) {
    refPtr<fieldInfo> customerId = field(order, L"customerId");
    customerId->setSemantic(eSemCustom, ky::genericSet(), L"owner");

    orderToCustomer();

    EXPECT_EQ(customerId->semantic(), eSemRelation);
    EXPECT_TRUE(customerId->semanticAttribs().empty());
}

// Every kind is kept; given names stay as written, empty ones get the same
// defaults whatever the kind.
class RelationKindTest : public shopFixture, public ::testing::WithParamInterface<eRelationType> {};

TEST_P(RelationKindTest, TowardClassIsNamedAfterFromFieldAndFromClass) {
    refPtr<relationInfo> relation = orderToCustomer(GetParam());

    EXPECT_EQ(relation->relationType(), GetParam());
    EXPECT_EQ(relation->scName().string(), L"customerid");
    EXPECT_EQ(relation->scReverseName().string(), L"order");
}

TEST_P(RelationKindTest, TowardFieldHasTheQualifiedFromFieldAsReverseName) {
    refPtr<relationInfo> relation = orderToCustomerId(GetParam());

    EXPECT_EQ(relation->relationType(), GetParam());
    EXPECT_EQ(relation->scName().string(), L"customerid");
    EXPECT_EQ(relation->scReverseName().string(), L"order.customerid");
}

TEST_P(RelationKindTest, GivenNamesAreKeptAsWritten) {
    refPtr<relationInfo> relation = orderToCustomer(GetParam(), L"PlacedBy", L"Orders");

    EXPECT_EQ(relation->scName().string(), L"PlacedBy");
    EXPECT_EQ(relation->scReverseName().string(), L"Orders");
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RelationKindTest, ::testing::Values(eRef, eAgg, eRevAgg, eBiAgg));

// Shipments refer to order lines by order number and line number.
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
    bool addLineNumbers() {
        return relation->addFieldRelation(field(shipment, L"lineNo"), field(orderLine, L"lineNo"));
    }
    void expectRefused(refPtr<fieldInfo> parent, refPtr<fieldInfo> dependent, const std::wstring& report) {
        expectAssertion([&] { relation->addFieldRelation(parent, dependent); }, report);
        EXPECT_EQ(relation->fieldRelations().size(), 1u);
    }
};

TEST_F(RelationCompoundKeyTest, AddedPairsJoinTheKeyInOrderWithoutChecksForDuplicates) {
    field(shipment, L"lineNo")->setSemantic(eSemLength, ky::genericSet(), L"");

    EXPECT_TRUE(addLineNumbers());
    EXPECT_TRUE(addLineNumbers());

    ASSERT_EQ(relation->fieldRelations().size(), 3u);
    EXPECT_EQ(relation->fieldRelations()[1].first, field(shipment, L"lineNo"));
    EXPECT_EQ(relation->toFieldInfo(field(shipment, L"lineNo")), field(orderLine, L"lineNo"));
    EXPECT_EQ(relation->firstFromFieldInfo(), field(shipment, L"orderNumber"));
    EXPECT_EQ(field(shipment, L"lineNo")->semantic(), eSemLength);
}

TEST_F(RelationCompoundKeyTest, PointerFieldAcceptsColumnsOfTheTargetClass) {
    refPtr<relationInfo> toClass = order->createRelation(L"number", false, orderLine, eAgg, L"", L"");
    EXPECT_TRUE(toClass->addFieldRelation(field(order, L"customerId"), field(orderLine, L"lineNo")));
    EXPECT_EQ(toClass->fieldRelations().size(), 2u);
}

TEST_F(RelationCompoundKeyTest, ColumnsOfOtherClassesAreRefused) {
    expectRefused(field(order, L"number"), field(orderLine, L"lineNo"),
                  assertionReport(L"mRelations[0].first->classInfo() && "
                                  L"mRelations[0].first->classInfo()==pParentColumn->classInfo()",
                                  relationFile, 137));
    expectRefused(field(shipment, L"lineNo"), field(order, L"number"),
                  assertionReport(L"mRelations[0].second->classInfo() && "
                                  L"mRelations[0].second->classInfo()==pDepColumn->classInfo()",
                                  relationFile, 138));
}

TEST_F(RelationCompoundKeyTest, EmptyColumnsAndColumnsWithoutClassAreRefused) {
    refPtr<classInfo> loose = classInfo::createClassInfo(L"Loose");
    refPtr<fieldInfo> orphan = loose->createFieldInfo(L"lineNo", eInt, ky::genericSet(), L"");
    loose->releaseInfo();

    expectRefused(nullptr, field(orderLine, L"lineNo"), assertionReport(L"m_p != NULL", refPtrFile, 144));
    expectRefused(field(shipment, L"lineNo"), nullptr, assertionReport(L"m_p != NULL", refPtrFile, 144));
    expectRefused(field(shipment, L"lineNo"), orphan,
                  assertionReport(L"pParentColumn->classInfo()&&pDepColumn->classInfo()", relationFile, 135));
}

// A refused relation leaves the class's list and the from-field as they were.
class RelationRefusalTest : public shopFixture {
protected:
    template <class Target>
    void expectRefused(Target target, const std::wstring& report) {
        expectAssertion([&] { order->createRelation(L"customerId", false, target, eRef, L"", L""); }, report);
        EXPECT_EQ(order->toRelations_begin(), order->toRelations_end());
        EXPECT_EQ(field(order, L"customerId")->semantic(), eSemNone);
    }
};

TEST_F(RelationRefusalTest, EmptyTargetsAreRefused) {
    expectRefused(refPtr<classInfo>(), assertionReport(L"pFromField&&pToClass", relationFile, 54));
    expectRefused(refPtr<fieldInfo>(), assertionReport(L"pFromField&&pToField", relationFile, 19));
}

TEST_F(RelationRefusalTest, TargetFieldWithoutClassIsRefused) {
    refPtr<classInfo> loose = classInfo::createClassInfo(L"Loose");
    refPtr<fieldInfo> orphan = loose->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    loose->releaseInfo();

    expectRefused(orphan, assertionReport(L"pFromField->classInfo()&&pToField->classInfo()", relationFile, 20));
}

class RelationLogTest : public shopFixture {
protected:
    logRecorder log;

    void expectOneLine(const std::wstring& prefix, const wchar_t* logger, const std::wstring& message, int line) {
        std::vector<kylog::logRecord> lines = log.startingWith(prefix);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].lvl, kylog::level::trace);
        EXPECT_EQ(lines[0].logger, logger);
        EXPECT_EQ(lines[0].function, logger);
        EXPECT_EQ(lines[0].message, message);
        EXPECT_EQ(lines[0].file, relationFile);
        EXPECT_EQ(lines[0].line, line);
    }
};

TEST_F(RelationLogTest, CreationIsLoggedWithTheNamesTheRelationWasMadeWith) {
    orderToCustomer();
    expectOneLine(L"relationInfo created", L"ky::metamodel::relationInfo::relationInfo",
                  L"relationInfo created: \"customerid\" to \"order\"", 59);
    log.clear();
    orderToCustomerId(eRef, L"PlacedBy", L"Orders");
    expectOneLine(L"relationInfo created", L"ky::metamodel::relationInfo::relationInfo",
                  L"relationInfo created: \"PlacedBy\" to \"Orders\"", 24);
}

TEST_F(RelationLogTest, ReleaseIsLoggedWhenBothClassesAreGone) {
    orderToCustomerId(eBiAgg, L"PlacedBy", L"");
    TearDown();
    expectOneLine(L"relationInfo released", L"ky::metamodel::relationInfo::~relationInfo",
                  L"relationInfo released: \"PlacedBy\" to \"order.customerid\"", 91);
}

}  // namespace
}  // namespace reltest
