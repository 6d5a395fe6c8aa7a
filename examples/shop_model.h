// The example shop model (parties, customers and suppliers, addresses,
// products, orders, order lines with a compound key, deliveries), built through
// the public API. The example host prints what the library answers about it;
// the model file examples/models/shop.yaml describes the same model, and the
// tests of the companion libraries use it as their reference model.
#pragma once

#include <kymetamodel.h>

#include <initializer_list>
#include <vector>

namespace shop {

using namespace ky::metamodel;

inline refPtr<fieldInfo> addField(const refPtr<classInfo>& cls, const wchar_t* name, eFieldType type,
                           const wchar_t* label, const wchar_t* unit = L"") {
    refPtr<fieldInfo> field = cls->createFieldInfo(name, type, ky::genericSet(), L"");
    field->setLabel(label);
    field->setUnit(unit);
    return field;
}

// A field whose type is given as a type string; a string's length is kept in
// the type attributes under keys::length, where the model-file and SQL libraries
// read it.
inline refPtr<fieldInfo> addTypedField(const refPtr<classInfo>& cls, const wchar_t* name, const wchar_t* typeText,
                                const wchar_t* label) {
    eFieldType type = eString;
    unsigned long length = 0;
    if (!fieldInfo::parseType(typeText, type, length)) throw false;
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(keys::length), static_cast<int>(length), true);
    refPtr<fieldInfo> field = cls->createFieldInfo(name, type, attribs, L"");
    field->setLabel(label);
    return field;
}

inline refPtr<classInfo> addClass(const refPtr<modelInfo>& model, const wchar_t* name, const wchar_t* label) {
    refPtr<classInfo> cls = model->createClassInfo(name, false);
    cls->setLabel(label);
    return cls;
}

inline void makeKey(const refPtr<fieldInfo>& field) { field->setSemantic(eSemPrimkey, ky::genericSet(), L""); }

// Installs an enumeration or bit-set semantic with items read from texts.
inline void setItems(const refPtr<fieldInfo>& field, eFieldSemantics semantic, std::initializer_list<const wchar_t*> texts) {
    std::vector<enumItem> items;
    for (const wchar_t* text : texts) {
        enumItem item;
        const bool read = semantic == eSemBits ? fieldInfo::parseBitsItem(text, field->type(), item)
                                               : fieldInfo::parseEnumItem(text, field->type(), item);
        if (read) items.push_back(item);
    }
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(keys::enumItems), items, true);
    field->setSemantic(semantic, attribs, L"");
}

// Installs the semantic written as a semantic string.
inline void setSemanticText(const refPtr<fieldInfo>& field, const wchar_t* text) {
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    if (fieldInfo::parseSemantics(text, semantic, attribs)) field->setSemantic(semantic, attribs, L"");
}

inline void buildParties(const refPtr<modelInfo>& model) {
    refPtr<classInfo> party = addClass(model, L"Party", L"Business partner");
    makeKey(addField(party, L"id", eInt, L"Party number"));
    addTypedField(party, L"name", L"String (80)", L"Name");
    addField(party, L"email", eString, L"E-mail")->addAliasname(L"mail");
    addField(party, L"addressId", eInt, L"Address");
    // Aliases are kept as written while this model looks names up folded to
    // lower case, so the alias is given in lower case to be found.
    party->addAliasname(L"person");
    party->setUserProperty(L"table", ky::string(L"T_PARTY"), false);

    refPtr<classInfo> customer = addClass(model, L"Customer", L"Customer");
    customer->addBaseClass(party);
    addField(customer, L"creditLimit", eDouble, L"Credit limit", L"EUR")
        ->setSemantic(eSemMonetary, ky::genericSet(), L"");
    setItems(addField(customer, L"segment", eString, L"Segment"), eSemEnum,
             {L"R, Retail", L"W, Wholesale", L"G, Public, sector"});
    refPtr<fieldInfo> since = addField(customer, L"since", eTimestamp, L"Customer since");
    since->setSemantic(eSemDate, ky::genericSet(), L"");
    since->setDefaultExpression(L"today()");
    customer->createFieldInfo(party, L"name")->setLabel(L"Customer name");

    refPtr<classInfo> supplier = addClass(model, L"Supplier", L"Supplier");
    supplier->addBaseClass(party);
    addField(supplier, L"rating", eShort, L"Rating");
    setItems(addField(supplier, L"certificates", eInt, L"Certificates"), eSemBits,
             {L"1, ISO 9001", L"2, Organic", L"4, Fair trade"});
}

inline void buildAddresses(const refPtr<modelInfo>& model) {
    refPtr<classInfo> address = addClass(model, L"Address", L"Postal address");
    addField(address, L"street", eString, L"Street");
    addField(address, L"zip", eString, L"Postcode");
    addField(address, L"city", eString, L"City");
    model->classInfo(L"Customer", false)->copyInfosFrom(address, L"billing_");
}

inline void buildCatalogue(const refPtr<modelInfo>& model) {
    refPtr<classInfo> product = addClass(model, L"Product", L"Product");
    makeKey(addField(product, L"sku", eString, L"Article number"));
    addField(product, L"price", eDouble, L"Price", L"EUR")->setSemantic(eSemMonetary, ky::genericSet(), L"");
    addField(product, L"width", eDouble, L"Width", L"cm")->setSemantic(eSemLength, ky::genericSet(), L"");
    setSemanticText(addField(product, L"colour", eString, L"Colour"), L"custom(Colour Map)");
    addField(product, L"supplierNo", eInt, L"Supplier");
}

inline void buildOrders(const refPtr<modelInfo>& model) {
    refPtr<classInfo> order = addClass(model, L"Order", L"Sales order");
    makeKey(addField(order, L"number", eInt, L"Order number"));
    addField(order, L"customerId", eInt, L"Customer");
    addField(order, L"placedOn", eDate, L"Order date")->setDefaultExpression(L"today()");
    refPtr<fieldInfo> total = addField(order, L"total", eDouble, L"Total", L"EUR");
    total->setSemantic(eSemMonetary, ky::genericSet(), L"");
    total->setAutoExpression(L"sum(lines.amount)");

    refPtr<classInfo> line = addClass(model, L"OrderLine", L"Order line");
    makeKey(addField(line, L"orderNumber", eInt, L"Order number"));
    makeKey(addField(line, L"lineNo", eInt, L"Line"));
    addField(line, L"productSku", eString, L"Article number");
    addField(line, L"quantity", eInt, L"Quantity")->setDefaultValue(ky::genericValue::create(1));

    refPtr<classInfo> delivery = addClass(model, L"Delivery", L"Delivery");
    addField(delivery, L"orderNumber", eInt, L"Order number");
    addField(delivery, L"lineNo", eInt, L"Line");
    addField(delivery, L"shippedOn", eDate, L"Shipping date");
}

inline void buildRelations(const refPtr<modelInfo>& model) {
    refPtr<classInfo> party = model->classInfo(L"Party", false);
    refPtr<classInfo> order = model->classInfo(L"Order", false);
    refPtr<classInfo> line = model->classInfo(L"OrderLine", false);
    refPtr<classInfo> delivery = model->classInfo(L"Delivery", false);

    party->createRelation(L"addressId", false, model->classInfo(L"Address", false), eAgg, L"Home", L"");
    order->createRelation(L"customerId", false, model->classInfo(L"Customer", false), eRef, L"PlacedBy",
                          L"Orders");
    line->createRelation(L"productSku", false, model->fieldInfo(L"Product.sku", false), eRef, L"", L"");
    delivery->createRelation(L"orderNumber", false, model->fieldInfo(L"OrderLine.orderNumber", false), eRevAgg,
                             L"Line", L"Deliveries")
        ->addFieldRelation(delivery->fieldInfo(L"lineNo", false, false), line->fieldInfo(L"lineNo", false, false));

    // The supplier reference is described by a relation semantic string; the
    // host creates a relation toward each class it names.
    refPtr<classInfo> product = model->classInfo(L"Product", false);
    eFieldSemantics semantic = eSemNone;
    ky::genericSet attribs;
    fieldInfo::parseSemantics(L"relation(Supplier)", semantic, attribs);
    product->fieldInfo(L"supplierNo", false, false)->setSemantic(semantic, attribs, L"");
    std::vector<ky::string> targets;
    attribs.getValue(ky::scString::createFrom(fieldInfo::referencedClasses()), targets);
    for (const ky::string& name : targets)
        product->createRelation(L"supplierNo", false, model->classInfo(name, true), eBiAgg, L"", L"");
}

// Builds the whole shop model into an empty model.
inline void buildShopModel(const refPtr<modelInfo>& model) {
    buildParties(model);
    buildAddresses(model);
    buildCatalogue(model);
    buildOrders(model);
    buildRelations(model);
}

}  // namespace shop
