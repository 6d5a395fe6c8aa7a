// Dropping a model frees every descriptor made through it and every host
// object it holds: each creation log line is matched by its release line.
#include "relation_test_support.h"

namespace reltest {
namespace {

// A host object kept as a user property; it counts its own life.
class hostObject : public ky::refObj {
public:
    hostObject() { ++created(); }
    ~hostObject() override { ++destroyed(); }
    static int& created() {
        static int n = 0;
        return n;
    }
    static int& destroyed() {
        static int n = 0;
        return n;
    }
    static ky::refPtr<ky::refObj> make() { return ky::refPtr<ky::refObj>(new hostObject); }
};

class LifecycleTest : public ::testing::Test {
protected:
    logRecorder log;

    void SetUp() override {
        hostObject::created() = 0;
        hostObject::destroyed() = 0;
    }

    std::size_t created(const wchar_t* kind) const { return log.count(std::wstring(kind) + L" created:"); }
    std::size_t released(const wchar_t* kind) const { return log.count(std::wstring(kind) + L" released:"); }

    // Every descriptor of every kind that was made has been destroyed, and so
    // has every host object.
    void expectEverythingFreed() const {
        EXPECT_EQ(log.count(L"modelInfo created"), log.count(L"modelInfo released"));
        for (const wchar_t* kind : {L"classInfo", L"fieldInfo", L"relationInfo"})
            EXPECT_EQ(released(kind), created(kind)) << "kind " << ky::string(kind).toUtf8();
        EXPECT_EQ(hostObject::destroyed(), hostObject::created());
    }

    static refPtr<fieldInfo> addField(const refPtr<classInfo>& cls, const wchar_t* name, eFieldType type) {
        return cls->createFieldInfo(name, type, ky::genericSet(), L"");
    }
    static void makeKey(const refPtr<fieldInfo>& f) { f->setSemantic(eSemPrimkey, ky::genericSet(), L""); }
    static refPtr<fieldInfo> field(const refPtr<classInfo>& cls, const wchar_t* name) {
        return cls->fieldInfo(name, true, false);
    }
    static refPtr<classInfo> derived(const refPtr<modelInfo>& model, const wchar_t* name,
                                     std::initializer_list<refPtr<classInfo>> bases) {
        refPtr<classInfo> cls = model->createClassInfo(name, false);
        for (const refPtr<classInfo>& base : bases) cls->addBaseClass(base);
        return cls;
    }

    // A shop with multiple inheritance, overriding and copied fields,
    // relations of every kind toward classes and fields, a compound key,
    // identities, aliases and host objects held as user properties.
    static void buildShop(const refPtr<modelInfo>& model) {
        refPtr<classInfo> party = model->createClassInfo(L"Party", false);
        makeKey(addField(party, L"id", eInt));
        addField(party, L"name", eString);
        addField(party, L"parentId", eInt);
        addField(party, L"addressId", eInt);
        party->addAliasname(L"Person");
        party->setUserProperty(L"owner", hostObject::make(), true);
        party->setUserProperty(L"note", ky::string(L"a party"), false);

        refPtr<classInfo> customer = derived(model, L"Customer", {party});
        makeKey(addField(customer, L"customerNo", eInt));
        addField(customer, L"creditLimit", eDouble)->setUserProperty(L"widget", hostObject::make(), false);
        customer->createFieldInfo(party, L"name")->setUserProperty(L"widget", hostObject::make(), true);
        customer->setUserProperty(L"cache", ky::genericValue::create(hostObject::make()), false);

        refPtr<classInfo> supplier = derived(model, L"Supplier", {party});
        addField(supplier, L"supplierNo", eInt);
        refPtr<classInfo> partner = derived(model, L"Partner", {customer, supplier});
        partner->createFieldInfo(customer, L"creditLimit");

        refPtr<classInfo> address = model->createClassInfo(L"Address", false);
        addField(address, L"street", eString);
        addField(address, L"partyId", eInt);
        customer->copyInfosFrom(address, L"billing_");

        refPtr<classInfo> product = model->createClassInfo(L"Product", false);
        makeKey(addField(product, L"sku", eString));
        addField(product, L"supplierNo", eInt);
        refPtr<classInfo> order = model->createClassInfo(L"Order", false);
        makeKey(addField(order, L"number", eInt));
        addField(order, L"customerId", eInt);
        refPtr<classInfo> orderLine = model->createClassInfo(L"OrderLine", false);
        makeKey(addField(orderLine, L"orderNumber", eInt));
        makeKey(addField(orderLine, L"lineNo", eInt));
        addField(orderLine, L"productSku", eString);
        refPtr<classInfo> shipment = model->createClassInfo(L"Shipment", false);
        addField(shipment, L"orderNumber", eInt);
        addField(shipment, L"lineNo", eInt);

        for (const refPtr<classInfo>& cls : {party, customer, product, order, orderLine}) cls->idInfo();

        // Toward classes, one of each kind, one of them from a class to itself.
        order->createRelation(L"customerId", false, customer, eRef, L"", L"");
        orderLine->createRelation(L"orderNumber", false, order, eRevAgg, L"", L"");
        party->createRelation(L"parentId", false, party, eAgg, L"Parent", L"Children");
        party->createRelation(L"addressId", false, address, eBiAgg, L"", L"");
        partner->createRelation(L"addressId", true, address, eRef, L"Home", L"");
        // Toward fields, one of each kind, one of them over a compound key.
        orderLine->createRelation(L"productSku", false, field(product, L"sku"), eRef, L"", L"");
        shipment->createRelation(L"orderNumber", false, field(orderLine, L"orderNumber"), eAgg, L"", L"")
            ->addFieldRelation(field(shipment, L"lineNo"), field(orderLine, L"lineNo"));
        product->createRelation(L"supplierNo", false, field(supplier, L"supplierNo"), eRevAgg, L"", L"");
        address->createRelation(L"partyId", false, field(party, L"id"), eBiAgg, L"", L"");

        orderLine->idInfo();
    }
};

TEST_F(LifecycleTest, DroppingARichModelFreesEveryDescriptorAndHostObject) {
    buildShop(modelInfo::createModelInfo(false));

    EXPECT_EQ(created(L"classInfo"), 9u);
    EXPECT_EQ(created(L"relationInfo"), 9u);
    EXPECT_EQ(hostObject::created(), 4);
    expectEverythingFreed();
}

TEST_F(LifecycleTest, ClassHeldByTheHostOutlivesItsModelUntilDropped) {
    refPtr<classInfo> customer;
    {
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        buildShop(model);
        customer = model->classInfo(L"Customer", false);
    }
    EXPECT_EQ(log.count(L"modelInfo released"), 1u);
    EXPECT_LT(released(L"classInfo"), created(L"classInfo"));
    EXPECT_EQ(customer->countFields(), 0u);

    customer = nullptr;
    expectEverythingFreed();
}

TEST_F(LifecycleTest, IdentityHeldByTheHostKeepsItsFieldsUntilDropped) {
    refPtr<idInfo> identity;
    {
        refPtr<modelInfo> model = modelInfo::createModelInfo(false);
        buildShop(model);
        identity = model->classInfo(L"Product", false)->idInfo();
    }
    EXPECT_EQ(identity->fieldInfos().front()->scName().string(), L"sku");
    EXPECT_LT(released(L"fieldInfo"), created(L"fieldInfo"));

    identity = nullptr;
    expectEverythingFreed();
}

TEST_F(LifecycleTest, ReplacedTargetClassIsFreedWithItsPointerFields) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    refPtr<classInfo> order = model->createClassInfo(L"Order", false);
    addField(order, L"customerId", eInt);
    {
        refPtr<classInfo> customer = model->createClassInfo(L"Customer", false);
        addField(customer, L"id", eInt);
        order->createRelation(L"customerId", false, customer, eRef, L"", L"");
    }
    std::size_t classesReleased = released(L"classInfo");

    model->createClassInfo(L"Customer", true);

    EXPECT_EQ(released(L"classInfo"), classesReleased + 1);
    order = nullptr;
    model = nullptr;
    expectEverythingFreed();
}

TEST_F(LifecycleTest, StandaloneClassRelatedToItselfIsFreedAfterReleaseInfo) {
    refPtr<classInfo> node = classInfo::createClassInfo(L"Node");
    addField(node, L"parentId", eInt);
    addField(node, L"nextId", eInt);
    node->createRelation(L"parentId", false, node, eAgg, L"", L"");
    node->createRelation(L"nextId", false, field(node, L"parentId"), eRef, L"", L"");
    node->setUserProperty(L"owner", hostObject::make(), false);

    node->releaseInfo();
    node = nullptr;

    EXPECT_EQ(released(L"relationInfo"), 2u);
    expectEverythingFreed();
}

}  // namespace
}  // namespace reltest
