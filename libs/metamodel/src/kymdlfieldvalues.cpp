// fieldInfo: the values a field describes: type defaults and stored
// defaults, null values and null tests, equality functions and the value
// condition. Everything that goes by type goes by the field's own type
// member, which a referring field copied from its source when it was made.
#include <kymdlfieldinfo.h>

#include <cmath>

#include <kyvalues.h>

#include "kymdlfielddata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// Floating-point values nearer to 0 than this are null. The test is made on
// the double value, so a float holding 0.000001 (just below 1e-6 in single
// precision) is null while a double holding 0.000001 is not.
constexpr double nullThreshold = 0.000001;

ky::date nullDate() { return ky::date(1900, 1, 1); }
ky::time nullTime() { return ky::time(0, 0, 0, 0); }

// Applies `isNull` to the value as a T: the held T itself when the value
// holds exactly a T, else the strict read, which converts and throws false
// for an empty or unconvertible value.
template <class T, class Test>
bool testAs(const ky::genericValue& value, Test isNull) {
    if (const ky::holder<T>* held = value.as<T>()) return isNull(held->constValue());
    return isNull(value.strictRead<T>());
}

template <class T>
bool equalsDefault(const ky::genericValue& value) {
    return testAs<T>(value, [](const T& v) { return v == T(); });
}

template <class T>
bool nearZero(const ky::genericValue& value) {
    return testAs<T>(value, [](const T& v) { return std::fabs(static_cast<double>(v)) < nullThreshold; });
}

// The value of each type: its default or, with `null`, its null value; the
// two differ only for dates and times, whose default is the current clock.
// Empty for a type without values (ePtr, eCustom, no type).
ky::genericValue valueOfType(eFieldType type, bool null) {
    switch (type) {
        case eBool: return ky::genericValue::create(false);
        case eShort: return ky::genericValue::create(short(0));
        case eInt: return ky::genericValue::create(0);
        case eLong: return ky::genericValue::create(0L);
        case eFloat: return ky::genericValue::create(0.0f);
        case eDouble: return ky::genericValue::create(0.0);
        case eString: return ky::genericValue::create(ky::string());
        case eDate: return ky::genericValue::create(null ? nullDate() : ky::date::today());
        case eTime: return ky::genericValue::create(null ? nullTime() : ky::time::now());
        case eTimestamp:
            return ky::genericValue::create(null ? ky::timestamp(nullDate(), nullTime()) : ky::timestamp::now());
        case eBinary: return ky::genericValue::create(ky::binaryBuffer());
        case eDirectory: return ky::genericValue::create(ky::directory(ky::string()));
        case eFile: return ky::genericValue::create(ky::file(ky::string()));
        case eSearchPath: return ky::genericValue::create(ky::searchPath());
        default: return ky::genericValue();
    }
}

// ---- built-in equality functions ----
// Each reads both values strictly as its value class, so an empty or
// unconvertible value throws false.

template <class T>
bool sameValue(const ky::genericValue& a, const ky::genericValue& b) {
    const T left = a.strictRead<T>();
    const T right = b.strictRead<T>();
    return left == right;
}

template <class Entry>
bool sameEntryName(const ky::genericValue& a, const ky::genericValue& b) {
    const Entry left = a.strictRead<Entry>();
    const Entry right = b.strictRead<Entry>();
    return left.name().lower() == right.name().lower();
}

valueEqFunction builtInEquality(eFieldType type) {
    switch (type) {
        case eBool: return &sameValue<bool>;
        case eShort: return &sameValue<short>;
        case eInt: return &sameValue<int>;
        case eLong: return &sameValue<long>;
        case eFloat: return &sameValue<float>;
        case eDouble: return &sameValue<double>;
        case eString: return &sameValue<ky::string>;
        case eDate: return &sameValue<ky::date>;
        case eTime: return &sameValue<ky::time>;
        case eTimestamp: return &sameValue<ky::timestamp>;
        case eDirectory: return &sameEntryName<ky::directory>;
        case eFile: return &sameEntryName<ky::file>;
        default: return nullptr;  // eBinary, eSearchPath, ePtr, eCustom, no type
    }
}

}  // namespace

// ---- defaults -------------------------------------------------------------------

bool fieldInfo::getDefaultFromType(eFieldType type, ky::genericValue& value) {
    ky::genericValue typed = valueOfType(type, false);
    if (typed.empty()) return false;
    value = std::move(typed);
    return true;
}

bool fieldInfo::getDefaultValue(ky::genericValue& value, bool searchSource) const {
    const data* record = d;
    const ky::genericValue* stored = record->internal.genericValue(detail::key().defaultValue);
    while (!stored && searchSource && record->source) {
        record = record->sourceRecord();
        stored = record->internal.genericValue(detail::key().defaultValue);
    }
    if (!stored) return getDefaultFromType(record->type, value);
    if (&value != stored) value = *stored;
    return true;
}

bool fieldInfo::hasStoredDefault(bool searchSource) const {
    for (const data* record = d; record; record = searchSource ? record->sourceRecord() : nullptr)
        if (record->internal.genericValue(detail::key().defaultValue)) return !record->typeDefaultStored;
    return false;
}

bool fieldInfo::setDefaultValue(const ky::genericValue& value) {
    d->internal.setGenericValue(detail::key().defaultValue, value, true);
    d->typeDefaultStored = false;
    return true;
}

// ---- null values ----------------------------------------------------------------

ky::genericValue fieldInfo::createNullValue() const { return valueOfType(d->type, true); }

bool fieldInfo::isNullValue(const ky::genericValue& value) const {
    switch (d->type) {
        case eBool: return equalsDefault<bool>(value);
        case eShort: return equalsDefault<short>(value);
        case eInt: return equalsDefault<int>(value);
        case eLong: return equalsDefault<long>(value);
        case eFloat: return nearZero<float>(value);
        case eDouble: return nearZero<double>(value);
        case eString: return testAs<ky::string>(value, [](const ky::string& v) { return v.empty(); });
        case eDate: return testAs<ky::date>(value, [](const ky::date& v) { return v == nullDate(); });
        case eTime: return testAs<ky::time>(value, [](const ky::time& v) { return v == nullTime(); });
        case eTimestamp:
            return testAs<ky::timestamp>(
                value, [](const ky::timestamp& v) { return v == ky::timestamp(nullDate(), nullTime()); });
        case eBinary: return equalsDefault<ky::binaryBuffer>(value);
        default: return value.empty();  // eDirectory, eFile, eSearchPath, ePtr, eCustom, no type
    }
}

// ---- equality ------------------------------------------------------------------

valueEqFunction fieldInfo::valueEqFunc(bool searchSource) const {
    valueEqFunction own = nullptr;
    if (d->internal.getValue(detail::key().eqValue, own)) return own;
    if (searchSource && d->source) return d->source->valueEqFunc(true);
    return builtInEquality(d->type);
}

bool fieldInfo::setValueEqFunc(valueEqFunction func) {
    d->internal.setValue(detail::key().eqValue, func, true);
    return true;
}

// ---- value condition -------------------------------------------------------------

const ky::conditions::condition* fieldInfo::valueCondition() const {
    // The local share goes when this returns; the one in the set keeps the
    // condition alive for the caller.
    conditionPtr stored;
    if (d->internal.getValue(detail::key().condition, stored) && stored) return stored.get();
    if (d->source) return d->source->valueCondition();
    return nullptr;
}

bool fieldInfo::setValueCondition(const ky::conditions::condition* condition) {
    if (!condition) {
        d->internal.erase(detail::key().condition);
        return true;
    }
    const conditionPtr copy(condition->clone());
    return d->internal.setValue(detail::key().condition, copy, false);
}

}  // namespace ky::metamodel
