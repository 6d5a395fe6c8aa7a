// Every refused call of the descriptors: the exact report (condition, file
// and line) or a silent throw, and a model left exactly as it was.
#include "test_support.h"

#include <functional>

namespace kytest {
namespace {

// Customers, orders and shipments of order lines, with one relation from
// shipments to order lines whose key the refused calls try to extend.
class AssertionSites : public modelTest {
protected:
    refPtr<classInfo> customer = makeClass(L"Customer");
    refPtr<classInfo> order = makeClass(L"Order");
    refPtr<classInfo> orderLine = makeClass(L"OrderLine");
    refPtr<classInfo> shipment = makeClass(L"Shipment");
    refPtr<classInfo> derived = makeClass(L"Derived", {order});
    refPtr<fieldInfo> orphan;
    refPtr<relationInfo> shipped;

    void SetUp() override {
        addField(customer, L"id");
        addField(order, L"customerId")->addAliasname(L"buyer");
        addField(order, L"untyped", static_cast<eFieldType>(0));
        addField(orderLine, L"lineNo");
        addField(shipment, L"lineNo");
        makeKey(addField(makeClass(L"Keyed"), L"id"));
        refPtr<classInfo> loose = classInfo::createClassInfo(L"Loose");
        orphan = addField(loose, L"id");
        loose->releaseInfo();
        shipped = shipment->createRelation(L"lineNo", false, field(orderLine, L"lineNo"), eAgg, L"", L"");
    }
    template <class Target>
    std::function<void()> relate(const wchar_t* from, Target target, bool searchBases = false) {
        return [=, this] { order->createRelation(from, searchBases, target, eRef, L"", L""); };
    }
    std::function<void()> extend(refPtr<fieldInfo> parent, refPtr<fieldInfo> dependent) {
        return [=, this] { shipped->addFieldRelation(parent, dependent); };
    }
};

// An empty `expected` stands for a throw without report.
struct site { const char* call; std::function<void()> action; std::wstring expected; };

TEST_F(AssertionSites, EachRefusalReportsItsSiteWithoutChanges) {
    const refPtr<fieldInfo> id = field(customer, L"id");
    const refPtr<fieldInfo> lineNo = field(orderLine, L"lineNo");
    const refPtr<fieldInfo> shipmentLine = field(shipment, L"lineNo");
    refPtr<classInfo> noClass;
    refPtr<fieldInfo> noField;
    const std::wstring refPtrEmpty = report(ky::refPtrEmpty);
    const std::wstring constRefPtrEmpty = report(ky::constRefPtrEmpty);
    const std::vector<site> sites{
        {"class alias added", [&] { customer->addAliasname(L""); }, report(sites::classAliasAdded)},
        {"class alias removed", [&] { customer->removeAliasname(L""); }, report(sites::classAliasRemoved)},
        {"field alias added", [&] { id->addAliasname(L""); }, report(sites::fieldAliasAdded)},
        {"field alias removed", [&] { id->removeAliasname(L""); }, report(sites::fieldAliasRemoved)},
        {"identity without key", [&] { customer->idInfo(); }, report(sites::identityFields)},
        {"identity compared with nothing", [&] { model->classInfo(L"Keyed", false)->idInfo()->isEqualTo(nullptr); },
         report(sites::identityCompared)},
        {"empty base", [&] { customer->addBaseClass(nullptr); }, refPtrEmpty},
        {"empty semantic notice", [&] { customer->onSemanticChanged(nullptr); }, refPtrEmpty},
        {"copy of no field", [&] { customer->copyFieldInfoFrom(nullptr, L"p_"); }, constRefPtrEmpty},
        {"copy of no class", [&] { customer->copyInfosFrom(nullptr, nullptr); }, constRefPtrEmpty},
        {"relation to no class", relate(L"customerId", noClass), report(sites::relationClassGiven)},
        {"relation to no field", relate(L"customerId", noField), report(sites::relationFieldsGiven)},
        {"relation to a field without class", relate(L"customerId", orphan),
         report(sites::relationFieldsOwned)},
        {"unknown from-field to class", relate(L"nothing", customer), report(sites::relationFromFieldToClass)},
        {"from-field of a base", [&] { derived->createRelation(L"customerId", false, customer, eRef, L"", L""); },
         report(sites::relationFromFieldToClass)},
        {"from-field by alias", relate(L"buyer", customer, true), report(sites::relationFromFieldToClass)},
        {"untyped from-field to class", relate(L"untyped", customer), report(sites::relationFromFieldTyped)},
        {"unknown from-field to field", relate(L"nothing", id, true), report(sites::relationFromFieldToField)},
        {"no parent column", extend(nullptr, lineNo), refPtrEmpty},
        {"no dependent column", extend(shipmentLine, nullptr), refPtrEmpty},
        {"column without class", extend(shipmentLine, orphan),
         report(sites::pairColumnsOwned)},
        {"parent column of another class", extend(field(order, L"customerId"), lineNo),
         report(sites::pairParentClass)},
        {"dependent column of another class", extend(shipmentLine, id),
         report(sites::pairDependentClass)},
        {"class name taken", [&] { model->createClassInfo(L"CUSTOMER", false); }, L""},
        {"override from a stranger", [&] { derived->createFieldInfo(customer, L"id"); }, L""},
        {"override from no class", [&] { derived->createFieldInfo(noClass, L"id"); }, L""},
        {"override from itself", [&] { derived->createFieldInfo(derived, L"customerId"); }, L""},
        {"override of a missing field", [&] { derived->createFieldInfo(order, L"missing"); }, L""},
        {"class its own base", [&] { order->addBaseClass(order); }, L""},
        {"base closing a cycle", [&] { order->addBaseClass(derived); }, L""},
    };
    for (const site& s : sites) {
        SCOPED_TRACE(s.call);
        expectThrow(s.action, s.expected);
    }

    EXPECT_EQ(model->classInfo(L"customer", false), customer);
    EXPECT_EQ(order->toRelations_begin(), order->toRelations_end());
    EXPECT_EQ(customer->fromRelations_begin(), customer->fromRelations_end());
    EXPECT_EQ(field(order, L"customerId")->semantic(), eSemNone);
    EXPECT_EQ(shipped->fieldRelations().size(), 1u);
    EXPECT_EQ(customer->countFields() + derived->countFields(), 1u);
    EXPECT_EQ(order->baseClasses_begin(), order->baseClasses_end());
    std::vector<ky::string> aliases;
    customer->getAliasnames(aliases);
    id->getAliasnames(aliases);
    EXPECT_TRUE(aliases.empty());
}

}  // namespace
}  // namespace kytest
