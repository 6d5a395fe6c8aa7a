// An example host: it describes a small shop with voVerizezav (parties,
// customers and suppliers, products, orders, order lines with a compound key,
// deliveries, addresses) and prints what the library answers about it.
//
// The host sees only the public headers. Broken preconditions come back as a
// thrown bool after an assertion report, which this host prints; one report is
// provoked on purpose and announced as such.
#include <kymdlfile.h>
#include <kymetamodel.h>

#include "shop_model.h"

#include <iostream>
#include <map>
#include <string>
#include <vector>

using namespace ky::metamodel;
using shop::addClass;
using shop::addField;
using shop::makeKey;

namespace {

// ---- output helpers ---------------------------------------------------------

std::string u8(const ky::string& text) { return text.toUtf8(); }
std::string u8(const ky::scString& text) { return text.string().toUtf8(); }

void heading(const char* title) { std::cout << "\n== " << title << " ==\n"; }

std::string valueText(const ky::genericValue& value) {
    if (value.empty()) return "(no value)";
    ky::string text;
    if (!value.read(text)) return "(no text form)";
    // Appended piece by piece: g++ 12 at -O3 takes a prepended literal for an
    // overlapping copy (a false -Wrestrict).
    std::string quoted(1, '"');
    quoted += u8(text);
    quoted += '"';
    return quoted;
}

std::string yesNo(bool b) { return b ? "yes" : "no"; }

const char* kindName(eRelationType kind) {
    switch (kind) {
        case eRef: return "reference";
        case eAgg: return "aggregation";
        case eRevAgg: return "reverse aggregation";
        case eBiAgg: return "two-way aggregation";
    }
    return "?";
}

std::string semanticText(const const_refPtr<fieldInfo>& field) {
    switch (field->semantic()) {
        case eSemNone: return "";
        case eSemPrimkey: return "primary key";
        case eSemCustom: return "custom \"" + u8(field->semanticString()) + "\"";
        default: return u8(fieldInfo::semanticStringFromType(field->semantic()));
    }
}

// ---- the host's own objects -------------------------------------------------

// A host object attached to descriptors as a user property: the account a
// party is kept under in the host's CRM system. It counts how many are alive,
// so that the host can see the model let go of them.
class crmAccount : public ky::refObj {
public:
    explicit crmAccount(std::string system) : mSystem(std::move(system)) { ++alive(); }
    ~crmAccount() override { --alive(); }
    const std::string& system() const { return mSystem; }
    static int& alive() {
        static int count = 0;
        return count;
    }

private:
    std::string mSystem;
};

void printAssertion(const wchar_t* report) {
    std::cout << "  [assertion report]\n";
    ky::string text(report);
    std::vector<ky::string> lines;
    text.splitAt(L"\n", lines, false);
    for (const ky::string& line : lines) std::cout << "    | " << u8(line) << "\n";
}

// Counts the library's creation and release lines; lines at warn and above
// still reach the sink the host had before.
class lifeCounter {
public:
    lifeCounter() {
        mPreviousLevel = kylog::logManager::setLevel(kylog::level::trace);
        mPreviousSink = kylog::logManager::setSink([this](const kylog::logRecord& r) { count(r); });
    }
    ~lifeCounter() {
        kylog::logManager::setSink(mPreviousSink);
        kylog::logManager::setLevel(mPreviousLevel);
    }
    lifeCounter(const lifeCounter&) = delete;
    lifeCounter& operator=(const lifeCounter&) = delete;

    void print() const {
        for (const char* kind : {"modelInfo", "classInfo", "fieldInfo", "relationInfo"})
            std::cout << "  " << kind << ": " << value(mCreated, kind) << " created, " << value(mReleased, kind)
                      << " released\n";
    }

private:
    void count(const kylog::logRecord& r) {
        const std::string message = u8(r.message);
        const std::string::size_type blank = message.find(' ');
        const std::string kind = message.substr(0, blank);
        if (message.compare(blank + 1, 7, "created") == 0) ++mCreated[kind];
        if (message.compare(blank + 1, 8, "released") == 0) ++mReleased[kind];
        if (r.lvl >= kylog::level::warn && mPreviousSink) mPreviousSink(r);
    }
    static int value(const std::map<std::string, int>& counts, const std::string& kind) {
        auto it = counts.find(kind);
        return it == counts.end() ? 0 : it->second;
    }

    std::map<std::string, int> mCreated;
    std::map<std::string, int> mReleased;
    kylog::logSink mPreviousSink;
    kylog::level mPreviousLevel;
};

// ---- reports ----------------------------------------------------------------

void reportRelationSemantic() {
    heading("Relation semantic strings");
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    fieldInfo::parseSemantics(L"relation(Supplier)", semantic, attribs);
    std::vector<ky::string> targets;
    attribs.getValue(ky::scString::createFrom(fieldInfo::referencedClasses()), targets);
    std::cout << "  product.supplierNo: semantic \"relation(Supplier)\" names";
    for (const ky::string& name : targets) std::cout << " " << u8(name);
    std::cout << "\n";
}

void describeField(const const_refPtr<fieldInfo>& field) {
    std::cout << "    " << u8(field->scName()) << ": " << u8(field->typeString());
    if (!field->label().empty()) std::cout << ", label \"" << u8(field->label()) << "\"";
    if (!field->unit().empty()) std::cout << ", unit " << u8(field->unit());
    if (field->semantic() != eSemNone) std::cout << ", " << semanticText(field);
    if (field->isMandatory()) std::cout << ", mandatory";
    if (field->isUnique()) std::cout << ", unique";
    if (field->sourceField()) std::cout << ", stands for " << u8(field->sourceField()->qualifiedName());
    std::cout << "\n";
}

void describeClass(const const_refPtr<classInfo>& cls) {
    std::cout << "  " << u8(cls->scName()) << " \"" << u8(cls->label()) << "\"";
    if (cls->baseClasses_begin() != cls->baseClasses_end()) {
        std::cout << ", derives from";
        for (auto it = cls->baseClasses_begin(); it != cls->baseClasses_end(); ++it) std::cout << " " << u8((*it)->scName());
    }
    std::cout << ", " << cls->countFields() << " own fields\n";
    for (auto it = cls->fields_begin(); it != cls->fields_end(); ++it) describeField(*it);
}

void reportClasses(const refPtr<modelInfo>& model) {
    heading("Classes and their own fields");
    for (const wchar_t* name : {L"Party", L"Customer", L"Supplier", L"Address", L"Product", L"Order", L"OrderLine",
                                L"Delivery"})
        describeClass(model->classInfo(name, false));
}

void reportLookup(const char* question, const const_refPtr<fieldInfo>& answer) {
    std::cout << "  " << question << " -> " << (answer ? u8(answer->qualifiedName()) : "not found") << "\n";
}

void reportLookups(const refPtr<modelInfo>& model) {
    heading("Lookups");
    refPtr<classInfo> customer = model->classInfo(L"CUSTOMER", false);
    std::cout << "  class CUSTOMER -> " << u8(customer->scName()) << " (names are folded)\n";
    std::cout << "  class PERSON by alias -> " << u8(model->classInfo(L"PERSON", true)->scName()) << "\n";
    std::cout << "  class PERSON without aliases -> " << (model->classInfo(L"PERSON", false) ? "found" : "not found")
              << "\n";
    reportLookup("Customer.email, searching bases", model->fieldInfo(L"Customer.email", true));
    reportLookup("Customer.email, own fields only", model->fieldInfo(L"Customer.email", false));
    reportLookup("Customer.name (overridden)", model->fieldInfo(L"Customer", L"NAME", true));
    reportLookup("Customer field by alias mail", customer->fieldInfo(L"mail", true, true));
    reportLookup("Supplier.billing_city (copied into Customer only)", model->fieldInfo(L"Supplier.billing_city", true));
    std::cout << "  Customer derives from Party: " << yesNo(customer->isDerivedFrom(model->classInfo(L"Party", false)))
              << "\n";
}

void reportUserProperties(const refPtr<modelInfo>& model) {
    heading("User properties");
    refPtr<ky::refObj> account;
    if (model->classInfo(L"Supplier", false)->getUserProperty(L"crm", account, true))
        std::cout << "  Supplier inherits crm -> account in \""
                  << dynamic_cast<crmAccount&>(*account).system() << "\"\n";
    ky::string table;
    std::cout << "  Party table: "
              << (model->classInfo(L"Party", false)->getUserProperty(L"table", table, false) ? u8(table) : "none") << "\n";
    std::cout << "  Customer table (own property, not inherited): "
              << (model->classInfo(L"Customer", false)->getUserProperty(L"table", table, true) ? u8(table) : "none")
              << "\n";
}

void reportItems(const const_refPtr<fieldInfo>& field) {
    const std::vector<enumItem>* items = nullptr;
    field->semanticAttribs().getValuePtr(L"enumItems", items);
    std::cout << "  " << u8(field->qualifiedName()) << " (" << semanticText(field) << "):";
    for (const enumItem& item : items ? *items : std::vector<enumItem>())
        std::cout << " " << valueText(item.itemValue) << "=\"" << u8(item.itemName) << "\"";
    std::cout << "\n";
}

void reportSemantics(const refPtr<modelInfo>& model) {
    heading("Semantics");
    reportItems(model->fieldInfo(L"Customer.segment", false));
    reportItems(model->fieldInfo(L"Supplier.certificates", false));
    const_refPtr<fieldInfo> since = model->fieldInfo(L"Customer.since", false);
    std::cout << "  Customer.since: semantic " << semanticText(since) << ", type narrowed to " << u8(since->typeString())
              << "\n";
    std::cout << "  Product.colour: " << semanticText(model->fieldInfo(L"Product.colour", false)) << "\n";
    const_refPtr<fieldInfo> id = model->fieldInfo(L"Party.id", false);
    std::cout << "  Party.id: " << semanticText(id) << ", mandatory " << yesNo(id->isMandatory()) << ", unique "
              << yesNo(id->isUnique()) << "\n";
}

void reportValues(const refPtr<modelInfo>& model) {
    heading("Defaults, expressions and null tests");
    ky::genericValue value;
    model->fieldInfo(L"OrderLine.quantity", false)->getDefaultValue(value, false);
    std::cout << "  OrderLine.quantity default: " << valueText(value) << "\n";
    model->fieldInfo(L"Customer.creditLimit", false)->getDefaultValue(value, false);
    std::cout << "  Customer.creditLimit default (from its type): " << valueText(value) << "\n";
    const_refPtr<fieldInfo> placedOn = model->fieldInfo(L"Order.placedOn", false);
    std::cout << "  Order.placedOn default expression: " << u8(placedOn->defaultExpression()) << "\n";
    std::cout << "  Order.total automatic expression: " << u8(model->fieldInfo(L"Order.total", false)->autoExpression())
              << "\n";
    const_refPtr<fieldInfo> limit = model->fieldInfo(L"Customer.creditLimit", false);
    std::cout << "  credit limit 0.0 is null: " << yesNo(limit->isNullValue(ky::genericValue::create(0.0)))
              << ", 2500.0 is null: " << yesNo(limit->isNullValue(ky::genericValue::create(2500.0))) << "\n";
    const_refPtr<fieldInfo> email = model->fieldInfo(L"Party.email", false);
    std::cout << "  empty e-mail is null: " << yesNo(email->isNullValue(ky::genericValue::create(ky::string())))
              << ", null value of e-mail: " << valueText(email->createNullValue()) << "\n";
    valueEqFunction eq = email->valueEqFunc(false);
    std::cout << "  e-mail equality \"A@x\" vs \"a@x\": "
              << yesNo(eq && eq(ky::genericValue::create(L"A@x"), ky::genericValue::create(L"a@x"))) << "\n";
}

void describeRelation(const const_refPtr<relationInfo>& relation) {
    std::cout << "    " << u8(relation->scName()) << ": " << kindName(relation->relationType()) << " from "
              << u8(relation->fromClassInfo()->scName()) << " to " << u8(relation->toClassInfo()->scName())
              << ", reverse name \"" << u8(relation->scReverseName()) << "\", pairs";
    for (const relationInfo::fieldPair& pair : relation->fieldRelations())
        std::cout << " " << u8(pair.first->scName()) << "->" << u8(pair.second->scName());
    std::cout << "\n";
}

void reportRelations(const refPtr<modelInfo>& model) {
    heading("Relations");
    for (const wchar_t* name : {L"Party", L"Order", L"OrderLine", L"Delivery", L"Product"}) {
        refPtr<classInfo> cls = model->classInfo(name, false);
        std::cout << "  out of " << u8(cls->scName()) << ":\n";
        for (auto it = cls->toRelations_begin(); it != cls->toRelations_end(); ++it) describeRelation(*it);
    }
    refPtr<classInfo> customer = model->classInfo(L"Customer", false);
    std::cout << "  into customer: " << (customer->fromRelations_end() - customer->fromRelations_begin())
              << " relation(s)\n";
    std::cout << "  Customer relation Home (through its base Party): "
              << (customer->toRelation(L"Home", true) ? "found" : "not found") << "; HOME: "
              << (customer->toRelation(L"HOME", true) ? "found" : "not found") << " (relation names keep their case)\n";
    std::cout << "  Order.customerId is now a " << semanticText(model->fieldInfo(L"Order.customerId", false))
              << " field\n";
}

void reportIdentity(const refPtr<classInfo>& cls) {
    refPtr<idInfo> identity = cls->idInfo();
    std::cout << "  " << u8(cls->scName()) << ":";
    for (const refPtr<fieldInfo>& field : identity->fieldInfos()) std::cout << " " << u8(field->scName());
    std::cout << "\n";
}

void reportIdentities(const refPtr<modelInfo>& model) {
    heading("Identities");
    for (const wchar_t* name : {L"Party", L"Product", L"Order", L"OrderLine"}) reportIdentity(model->classInfo(name, false));
    refPtr<classInfo> line = model->classInfo(L"OrderLine", false);
    refPtr<idInfo> before = line->idInfo();
    makeKey(line->fieldInfo(L"lineNo", false, false));
    refPtr<idInfo> after = line->idInfo();
    std::cout << "  OrderLine identity rebuilt after a key change: " << yesNo(before != after)
              << ", still the same key: " << yesNo(before->isEqualTo(after.get())) << "\n";
    std::cout << "  Order and OrderLine identities equal: "
              << yesNo(model->classInfo(L"Order", false)->idInfo()->isEqualTo(after.get())) << "\n";
}

void reportReplacement(const refPtr<modelInfo>& model) {
    heading("Replacing a class");
    refPtr<classInfo> draft = addClass(model, L"Coupon", L"Coupon (draft)");
    addField(draft, L"code", eString, L"Code");
    addField(draft, L"percent", eDouble, L"Discount", L"%");
    refPtr<classInfo> coupon = model->createClassInfo(L"Coupon", true);
    addField(coupon, L"code", eString, L"Code");
    std::cout << "  the draft kept by the host now has " << draft->countFields() << " fields; the model's Coupon has "
              << model->classInfo(L"Coupon", false)->countFields() << " and is the new class: "
              << yesNo(model->classInfo(L"Coupon", false) == coupon) << "\n";
}

void demonstrateRefusal(const refPtr<modelInfo>& model) {
    heading("A refused request (the report below is expected)");
    std::cout << "  Order has no field customerNumber; asking for a relation from it:\n";
    try {
        model->classInfo(L"Order", false)->createRelation(L"customerNumber", false,
                                                         model->classInfo(L"Customer", false), eRef, L"", L"");
        std::cout << "  unexpectedly accepted\n";
    } catch (bool) {
        std::cout << "  refused with a thrown false; Order still has "
                  << (model->classInfo(L"Order", false)->toRelations_end() -
                      model->classInfo(L"Order", false)->toRelations_begin())
                  << " relation(s)\n";
    }
}

void runShop() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    shop::buildShopModel(model);
    model->classInfo(L"Party", false)
        ->setUserProperty(L"crm", ky::refPtr<ky::refObj>(new crmAccount("Sales CRM")), true);
    reportRelationSemantic();

    reportClasses(model);
    reportLookups(model);
    reportUserProperties(model);
    reportSemantics(model);
    reportValues(model);
    reportRelations(model);
    reportIdentities(model);
    reportReplacement(model);
    demonstrateRefusal(model);
}

// The model file examples/models/shop.yaml describes the same model: loaded,
// it must equal the model built above in every attribute.
bool checkModelFile() {
#ifdef KY_SHOP_MODEL_FILE
    heading("The model file");
    const ky::metamodel::file::loadResult loaded = ky::metamodel::file::loadModelFile(KY_SHOP_MODEL_FILE);
    for (const ky::metamodel::file::diagnostic& d : loaded.diagnostics) std::cout << "  " << u8(d.text()) << "\n";
    if (!loaded.model) {
        std::cout << "  shop.yaml did not load\n";
        return false;
    }
    refPtr<modelInfo> built = modelInfo::createModelInfo(false);
    shop::buildShopModel(built);
    std::vector<ky::string> differences;
    const bool equal = ky::metamodel::file::equalModels(built, loaded.model, &differences);
    for (const ky::string& difference : differences) std::cout << "  differs: " << u8(difference) << "\n";
    std::cout << "  shop.yaml: " << loaded.model->countClasses() << " classes, "
              << (equal ? "equal to the model built in code" : "NOT equal to the model built in code") << "\n";
    return equal;
#else
    return true;
#endif
}

}  // namespace

int main() {
    ky::assertHandler previous = ky::setAssertHandler(&printAssertion);
    std::cout << "voVerizezav example host: a small shop model\n";
    int status = 0;
    {
        lifeCounter counter;
        try {
            runShop();
            if (!checkModelFile()) status = 1;
        } catch (bool) {
            std::cout << "a request was refused unexpectedly\n";
            status = 1;
        }
        heading("After the model is dropped");
        counter.print();
    }
    std::cout << "  host objects still alive: " << crmAccount::alive() << "\n";
    ky::setAssertHandler(previous);
    return status == 0 && crmAccount::alive() == 0 ? 0 : 1;
}
