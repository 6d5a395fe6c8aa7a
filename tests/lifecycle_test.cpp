// The life of descriptors: their creation and release log lines, and that
// dropping a model, or releasing a class made without one, frees every
// descriptor made through it and every host object it holds.
#include "test_support.h"

#include <shop_model.h>

namespace kytest {
namespace {

class Lifecycle : public modelTest {
protected:
    // Starts over with a model made while the log records.
    void SetUp() override {
        model = nullptr;
        log.lines.clear();
        model = modelInfo::createModelInfo(false);
        hostsBefore = hostObject::live;
    }

    std::size_t created(const std::wstring& kind) const { return log.count(kind + L" created"); }
    std::size_t released(const std::wstring& kind) const { return log.count(kind + L" released"); }

    // Every descriptor that was made has been destroyed, and so has every
    // host object.
    void expectEverythingFreed() const {
        for (const wchar_t* kind : {L"modelInfo", L"classInfo", L"fieldInfo", L"relationInfo"})
            EXPECT_EQ(released(kind), created(kind)) << ky::string(kind).toUtf8();
        EXPECT_EQ(hostObject::live, hostsBefore);
    }

    // The example shop (inheritance, an override, copied fields, a compound
    // key, relations toward classes and fields), with multiple inheritance,
    // a class related to itself, two classes related to each other's fields,
    // identities and host objects held as user properties added.
    void buildShop() {
        shop::buildShopModel(model);
        refPtr<classInfo> party = model->classInfo(L"Party", false), address = model->classInfo(L"Address", false);
        refPtr<classInfo> customer = model->classInfo(L"Customer", false);
        refPtr<classInfo> partner = makeClass(L"Partner", {customer, model->classInfo(L"Supplier", false)});
        for (const wchar_t* keyed : {L"Party", L"Product", L"Order", L"OrderLine"})
            model->classInfo(keyed, false)->idInfo();
        addField(party, L"parentId");
        addField(address, L"partyId");
        party->createRelation(L"parentId", false, party, eAgg, L"Parent", L"Children");
        partner->createRelation(L"addressId", true, address, eRef, L"Home", L"");
        address->createRelation(L"partyId", false, field(party, L"id"), eAgg, L"", L"");
        party->createRelation(L"id", false, field(address, L"partyId"), eBiAgg, L"", L"");
        partner->createFieldInfo(customer, L"creditLimit")->setLabel(L"Credit");
        party->setUserProperty(L"owner", hostObject::make(), true);
        field(customer, L"creditLimit")->setUserProperty(L"widget", hostObject::make(), false);
        field(customer, L"name")->setUserProperty(L"widget", hostObject::make(), true);
        customer->setUserProperty(L"cache", ky::genericValue::create(hostObject::make()), false);
    }

    logRecorder log;
    int hostsBefore = 0;
};

// A line of `site` with its message as written.
struct logLine { const ky::metamodel::detail::logSite& site; std::wstring message; };

// Classes and identities the host still holds outlive the model, emptied,
// until the host lets them go; every descriptor logs its creation and its
// release on the way.
TEST_F(Lifecycle, DroppingARichModelFreesEveryDescriptor) {
    buildShop();
    EXPECT_EQ(created(L"classInfo"), 9u);
    EXPECT_EQ(created(L"relationInfo"), 9u);
    EXPECT_EQ(hostObject::live, hostsBefore + 4);
    refPtr<classInfo> customer = model->classInfo(L"Customer", false);
    refPtr<fieldInfo> name = field(customer, L"name");
    refPtr<idInfo> identity = model->classInfo(L"Product", false)->idInfo();
    model = nullptr;

    EXPECT_LT(released(L"classInfo"), created(L"classInfo"));
    EXPECT_EQ(customer->countFields(), 0u);
    EXPECT_FALSE(name->classInfo());
    EXPECT_EQ(identity->fieldInfos().front()->scName().string(), L"sku");
    customer = nullptr;
    name = nullptr;
    identity = nullptr;
    expectEverythingFreed();

    const logLine expected[] = {
        {sites::modelCreated, L"modelInfo created"},
        {sites::modelReleased, L"modelInfo released"},
        {sites::classCreated, L"classInfo created: \"Party\""},
        {sites::classEmptied, L"classInfo releaseInfo called: \"Business partner\""},
        {sites::classReleased, L"classInfo released: \"Business partner\""},
        {sites::fieldCreated, L"fieldInfo created: \"\""},
        {sites::referringFieldCreated, L"fieldInfo created: \"\""},
        {sites::fieldEmptied, L"fieldInfo releaseInfo called: \"Credit\""},
        {sites::fieldReleased, L"fieldInfo released: \"Order number\""},
        {sites::relationToClassCreated, L"relationInfo created: \"Parent\" to \"Children\""},
        {sites::relationToFieldCreated, L"relationInfo created: \"Line\" to \"Deliveries\""},
        {sites::relationReleased, L"relationInfo released: \"Line\" to \"Deliveries\""},
    };
    for (const logLine& e : expected) {
        const auto written = std::find_if(log.lines.begin(), log.lines.end(), [&](const kylog::logRecord& r) {
            return r.message == e.message && r.line == e.site.line && r.file == e.site.file;
        });
        ASSERT_NE(written, log.lines.end()) << ky::string(e.message).toUtf8() << " at line " << e.site.line;
        EXPECT_EQ(written->logger, e.site.logger);
        EXPECT_EQ(written->function, e.site.logger);
        EXPECT_EQ(written->lvl, e.site.level);
    }
    // The model logs its end before it empties its classes.
    const auto first = [&](const std::wstring& message) {
        return std::find_if(log.lines.begin(), log.lines.end(),
                            [&](const kylog::logRecord& r) { return r.message.rfind(message, 0) == 0; });
    };
    EXPECT_LT(first(L"modelInfo released"), first(L"classInfo releaseInfo called"));
}

// The pointer field of a relation towards a class is in no field list, so
// only the target class's releaseInfo can cut its link back.
TEST_F(Lifecycle, ReleaseInfoOfTheTargetCutsThePointerField) {
    refPtr<classInfo> order = makeClass(L"Order");
    addField(order, L"customerId");
    refPtr<fieldInfo> pointer = order->createRelation(L"customerId", false, makeClass(L"Customer"), eRef, L"", L"")
                                    ->fieldRelations()[0].second;
    order->releaseInfo();
    EXPECT_TRUE(pointer->classInfo());
    const std::size_t classesReleased = released(L"classInfo");
    model->createClassInfo(L"Customer", true);

    EXPECT_FALSE(pointer->classInfo());
    EXPECT_EQ(released(L"classInfo"), classesReleased + 1);
    order = nullptr;
    pointer = nullptr;
    model = nullptr;
    expectEverythingFreed();
}

// A class made without a model is freed once the host's releaseInfo has cut
// its links, even when the host emptied one of the field list's entries.
TEST_F(Lifecycle, StandaloneClassRelatedToItselfIsFreedAfterReleaseInfo) {
    refPtr<classInfo> node = classInfo::createClassInfo(L"Node");
    node->setLabel(L"A node");
    for (const wchar_t* name : {L"parentId", L"nextId", L"emptied"}) addField(node, name);
    node->createRelation(L"parentId", false, node, eAgg, L"", L"");
    node->createRelation(L"nextId", false, field(node, L"parentId"), eRef, L"", L"");
    node->setUserProperty(L"owner", hostObject::make(), false);
    *(node->fields_begin() + 2) = nullptr;

    node->releaseInfo();
    const std::size_t lineCount = log.lines.size();
    node = nullptr;

    ASSERT_GE(log.lines.size(), lineCount + 2);
    EXPECT_EQ(log.lines[lineCount].message, L"classInfo released: \"A node\"");
    EXPECT_EQ(log.lines[lineCount + 1].message, L"classInfo releaseInfo called: \"A node\"");
    EXPECT_EQ(released(L"relationInfo"), 2u);
    model = nullptr;
    expectEverythingFreed();
}

}  // namespace
}  // namespace kytest
