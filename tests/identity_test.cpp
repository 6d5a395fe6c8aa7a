// A class's primary key: its identity object, the cache that keeps it
// across changes, and identity comparison.
#include "test_support.h"

namespace kytest {
namespace {

using fields = std::vector<refPtr<fieldInfo>>;

// Order lines keyed by order number and line number, with a product sku.
class Identity : public modelTest {
protected:
    refPtr<classInfo> orderLine = makeClass(L"OrderLine");
    refPtr<fieldInfo> orderNumber = addField(orderLine, L"orderNumber");
    refPtr<fieldInfo> lineNo = addField(orderLine, L"lineNo");
    refPtr<fieldInfo> sku = addField(orderLine, L"sku", eString);
    refPtr<classInfo> order = makeClass(L"Order");

    refPtr<idInfo> compoundKey() {
        makeKey(lineNo);
        makeKey(orderNumber);
        return orderLine->idInfo();
    }
};

// A class without key caches nothing; releaseInfo drops the cache, and the
// dropped identity keeps its fields.
TEST_F(Identity, HoldsTheOwnKeyFieldsInFieldOrderUntilReleaseInfoDropsIt) {
    expectThrow([&] { orderLine->idInfo(); }, report(sites::identityFields));
    refPtr<idInfo> identity = compoundKey();
    fields out{sku};
    orderLine->getIdFieldInfos(out);
    fields inherited;
    makeClass(L"Derived", {orderLine})->getIdFieldInfos(inherited);
    EXPECT_EQ(identity->fieldInfos(), (fields{orderNumber, lineNo}));
    EXPECT_EQ(identity->classInfo(), orderLine);
    EXPECT_EQ(out, (fields{sku, orderNumber, lineNo}));
    EXPECT_TRUE(inherited.empty());

    orderLine->releaseInfo();
    EXPECT_FALSE(identity->classInfo());
    EXPECT_EQ(identity->fieldInfos().size(), 2u);
    makeKey(addField(orderLine, L"id"));
    EXPECT_NE(orderLine->idInfo(), identity);
}

// A field entering the key again rebuilds the identity, equal to the former.
TEST_F(Identity, TheSameIdentityIsAnsweredUntilTheKeyChanges) {
    makeKey(orderNumber);
    refPtr<idInfo> first = orderLine->idInfo();
    sku->setSemantic(eSemLength, ky::genericSet(), L"");
    addField(orderLine, L"later");
    orderLine->createRelation(L"sku", false, order, eRef, L"", L"");
    EXPECT_EQ(orderLine->idInfo(), first);

    makeKey(lineNo);
    refPtr<idInfo> second = orderLine->idInfo();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->fieldInfos(), (fields{orderNumber, lineNo}));
    EXPECT_EQ(first->fieldInfos(), fields{orderNumber});
    makeKey(lineNo);
    refPtr<idInfo> rebuilt = orderLine->idInfo();
    EXPECT_NE(rebuilt, second);
    EXPECT_TRUE(rebuilt->isEqualTo(second.get()));
    EXPECT_TRUE(second->isEqualTo(rebuilt.get()));
    EXPECT_FALSE(first->isEqualTo(second.get()));
    EXPECT_FALSE(second->isEqualTo(first.get()));
    refPtr<classInfo> twin = makeClass(L"Twin");
    makeKey(addField(twin, L"orderNumber"));
    EXPECT_FALSE(first->isEqualTo(twin->idInfo().get()));
}

TEST_F(Identity, AFieldLeavingThePrimaryKeyLeavesTheIdentity) {
    compoundKey();
    orderNumber->setSemantic(eSemNone, ky::genericSet(), L"");
    EXPECT_EQ(orderLine->idInfo()->fieldInfos(), fields{lineNo});

    makeKey(orderNumber);
    orderLine->idInfo();
    orderLine->createRelation(L"orderNumber", false, order, eRevAgg, L"", L"");
    EXPECT_EQ(orderLine->idInfo()->fieldInfos(), fields{lineNo});

    addField(order, L"number");
    orderLine->createRelation(L"lineNo", false, field(order, L"number"), eRevAgg, L"", L"");
    expectThrow([&] { orderLine->idInfo(); }, report(sites::identityFields));
}

// An overriding field answers its source's semantic, so the derived class's
// identity loses it when the source leaves the primary key.
TEST_F(Identity, DerivedIdentityDropsAnOverrideWhoseSourceLeftThePrimaryKey) {
    refPtr<classInfo> rushLine = makeClass(L"RushLine", {orderLine});
    makeKey(orderNumber);
    refPtr<fieldInfo> rush = addField(rushLine, L"rush");
    makeKey(rush);
    rushLine->createFieldInfo(orderLine, L"orderNumber");
    refPtr<idInfo> before = rushLine->idInfo();
    ASSERT_EQ(before->fieldInfos().size(), 2u);

    orderNumber->setSemantic(eSemNone, ky::genericSet(), L"");
    refPtr<idInfo> after = rushLine->idInfo();
    EXPECT_EQ(after->fieldInfos(), fields{rush});
    EXPECT_EQ(rushLine->idInfo(), after);
    EXPECT_EQ(before->fieldInfos().size(), 2u);
}

}  // namespace
}  // namespace kytest
