// fieldInfo::cloneForClass, the field copy with which a class takes over a
// field of another class. The copy is an ordinary field: it repeats what the
// copied field answers now and stays unlinked from it afterwards.
#include <kymdlfieldinfo.h>

#include <kymdlclassinfo.h>

#include "kymdlfielddata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// The default a copy stores: the copied field's own stored default (also an
// empty one), else its source chain's, else its own type's default. False
// when none can be found.
template <class Record>
bool concreteDefault(const Record& record, ky::genericValue& value) {
    if (const ky::genericValue* stored = record.internal.genericValue(detail::key().defaultValue)) {
        value = *stored;
        return true;
    }
    if (record.source) return record.source->getDefaultValue(value, true);
    return fieldInfo::getDefaultFromType(record.type, value);
}

}  // namespace

ky::refPtr<fieldInfo> fieldInfo::cloneForClass(ky::refPtr<ky::metamodel::classInfo> owner,
                                               const wchar_t* name) const {
    const ky::string copyName = name ? ky::string(name) : scName().string();
    ky::refPtr<fieldInfo> copy(
        new fieldInfo(std::move(owner), copyName, type(), d->typeAttribs, typeString().string()));

    copy->setSemantic(semantic(), d->semanticAttribs, semanticString().string());
    // The marks are the copied field's own, whatever the semantic set.
    copy->d->flags = (copy->d->flags & ~3) | (d->flags & 3);
    copy->d->label = d->label;
    copy->setValueCondition(valueCondition());
    copy->setConstantExpression(constantExpression());
    copy->setDefaultExpression(defaultExpression());
    copy->setAutoExpression(autoExpression());
    ky::genericValue defaultValue;
    if (concreteDefault(*d, defaultValue)) copy->setDefaultValue(defaultValue);
    // A type default filled in for a missing one stays no default of the host's.
    copy->d->typeDefaultStored = !hasStoredDefault(true);
    copy->setValueEqFunc(valueEqFunc(true));
    copy->d->userProps = d->userProps;
    return copy;
}

}  // namespace ky::metamodel
