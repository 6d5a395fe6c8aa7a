// Field values: type defaults, stored defaults, null values and null tests,
// equality functions and value conditions.
#include "test_support.h"

namespace kytest {
namespace {

ky::genericValue valueOf(const ky::string& text) { return ky::genericValue::create(text); }
template <class T>
ky::genericValue valueOf(const T& v) { return ky::genericValue::create(v); }

struct typeRow { eFieldType type; const std::type_info& valueClass; ky::genericValue notNull; };

// The types whose null test reads the value: the value class of their
// defaults and null values, and a value of it that is not null.
std::vector<typeRow> readTypes() {
    return {{eBool, typeid(bool), valueOf(true)}, {eShort, typeid(short), valueOf(short{7})},
            {eInt, typeid(int), valueOf(1)}, {eLong, typeid(long), valueOf(-5L)},
            {eFloat, typeid(float), valueOf(0.5f)}, {eDouble, typeid(double), valueOf(-0.25)},
            {eString, typeid(ky::string), valueOf(ky::string(L" "))},
            {eDate, typeid(ky::date), valueOf(ky::date::today())},
            {eTime, typeid(ky::time), valueOf(ky::time(0, 0, 0, 1))},
            {eTimestamp, typeid(ky::timestamp), valueOf(ky::timestamp(ky::date(1900, 1, 2), ky::time()))},
            {eBinary, typeid(ky::binaryBuffer), valueOf(ky::binaryBuffer(1))}};
}

using FieldValues = fieldTest;

TEST_F(FieldValues, EachTypesValuesFollowTheTable) {
    for (const typeRow& row : readTypes()) {
        SCOPED_TRACE(row.type);
        refPtr<fieldInfo> f = make(L"f" + std::to_wstring(row.type), row.type);
        ky::genericValue byDefault;
        const ky::genericValue null = f->createNullValue();
        EXPECT_TRUE(fieldInfo::getDefaultFromType(row.type, byDefault));
        EXPECT_EQ(byDefault.type(), row.valueClass);
        EXPECT_EQ(null.type(), row.valueClass);
        EXPECT_TRUE(f->isNullValue(null));
        EXPECT_FALSE(f->isNullValue(row.notNull));
        EXPECT_THROW(f->isNullValue(ky::genericValue()), bool);

        const valueEqFunction eq = f->valueEqFunc(false);
        EXPECT_EQ(eq == nullptr, row.type == eBinary);
        if (eq == nullptr) continue;
        EXPECT_TRUE(eq(row.notNull, ky::genericValue(row.notNull)));
        EXPECT_FALSE(eq(row.notNull, null));
        EXPECT_THROW(eq(row.notNull, ky::genericValue()), bool);
        EXPECT_THROW(eq(ky::genericValue(), row.notNull), bool);
    }
}

TEST_F(FieldValues, NullThresholdIsStrictInDoublePrecisionOtherValueClassesConvertOrThrow) {
    refPtr<fieldInfo> d = make(L"d", eDouble);
    EXPECT_TRUE(d->isNullValue(valueOf(0.0000009)));
    EXPECT_TRUE(d->isNullValue(valueOf(-0.0000009)));
    EXPECT_FALSE(d->isNullValue(valueOf(0.000001)));
    EXPECT_TRUE(make(L"f", eFloat)->isNullValue(valueOf(0.000001f)));
    refPtr<fieldInfo> i = make(L"i", eInt);
    EXPECT_TRUE(i->isNullValue(valueOf(ky::string(L"0"))));
    EXPECT_FALSE(i->isNullValue(valueOf(short(3))));
    EXPECT_THROW(i->isNullValue(valueOf(ky::string(L"zero"))), bool);
    EXPECT_THROW(i->isNullValue(valueOf(ky::date())), bool);
}

TEST_F(FieldValues, EntryTypesAreNullOnlyWhenEmpty) {
    for (eFieldType t : {eDirectory, eFile, eSearchPath, ePtr, eCustom}) {
        refPtr<fieldInfo> f = make(L"entry" + std::to_wstring(t), t);
        EXPECT_TRUE(f->isNullValue(ky::genericValue())) << t;
        EXPECT_FALSE(f->isNullValue(valueOf(42))) << t;
        EXPECT_EQ(f->createNullValue().empty(), t == ePtr || t == eCustom) << t;
    }
    ky::genericValue v;
    EXPECT_TRUE(fieldInfo::getDefaultFromType(eDate, v));
    EXPECT_EQ(v.strictRead<ky::date>(), ky::date::today());
    EXPECT_EQ(make(L"when", eDate)->createNullValue().strictRead<ky::date>(), ky::date(1900, 1, 1));
    v = valueOf(5);
    EXPECT_FALSE(fieldInfo::getDefaultFromType(ePtr, v));
    EXPECT_FALSE(fieldInfo::getDefaultFromType(static_cast<eFieldType>(4), v));
    EXPECT_EQ(v.strictRead<int>(), 5);
}

TEST_F(FieldValues, StoredDefaultComesFromTheSourceOnlyWhenSearching) {
    EXPECT_TRUE(make(L"count", eInt)->setDefaultValue(valueOf(ky::string(L"12"))));
    refPtr<fieldInfo> over = referring(L"count");
    ky::genericValue v;
    EXPECT_TRUE(over->getDefaultValue(v, true));
    EXPECT_TRUE(v.as<ky::string>());
    EXPECT_EQ(v.strictRead<ky::string>(), L"12");
    EXPECT_TRUE(over->getDefaultValue(v, false));
    EXPECT_TRUE(v.as<int>());
    EXPECT_EQ(v.strictRead<int>(), 0);
}

bool alwaysEqual(const ky::genericValue&, const ky::genericValue&) { return true; }

// An own equality function replaces the built-in one and is seen through the
// chain; built-in string equality heeds case, directory and file equality not.
TEST_F(FieldValues, EqualityFunctionsOwnOrBuiltIn) {
    refPtr<fieldInfo> source = make(L"name", eString);
    refPtr<fieldInfo> over = referring(L"name");
    EXPECT_TRUE(source->setValueEqFunc(&alwaysEqual));
    EXPECT_EQ(source->valueEqFunc(false), &alwaysEqual);
    EXPECT_EQ(over->valueEqFunc(true), &alwaysEqual);
    EXPECT_NE(over->valueEqFunc(false), &alwaysEqual);
    EXPECT_TRUE(over->setValueEqFunc(nullptr));
    EXPECT_EQ(over->valueEqFunc(true), nullptr);

    const auto equal = [this](eFieldType type, const auto& a, const auto& b) {
        return make(L"f" + std::to_wstring(type), type)->valueEqFunc(false)(valueOf(a), valueOf(b));
    };
    EXPECT_FALSE(equal(eString, ky::string(L"Ab"), ky::string(L"ab")));
    EXPECT_TRUE(equal(eDirectory, ky::directory(L"C:\\Tmp"), ky::directory(L"c:\\tmp")));
    EXPECT_TRUE(equal(eFile, ky::file(L"ÄRGER.txt"), ky::file(L"ärger.TXT")));
    EXPECT_FALSE(equal(eFile, ky::file(L"a"), ky::file(L"b")));
    EXPECT_EQ(make(L"p", eSearchPath)->valueEqFunc(false), nullptr);
}

TEST_F(FieldValues, ConditionIsAPrivateCopyOfTheField) {
    rangeCondition hostOwned(10);
    refPtr<fieldInfo> source = make(L"count", eInt);
    EXPECT_TRUE(source->setValueCondition(&hostOwned));
    hostOwned.limit = 99;
    auto* held = dynamic_cast<const rangeCondition*>(source->valueCondition());
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->limit, 10);
    EXPECT_EQ(referring(L"count")->valueCondition(), held);
    EXPECT_TRUE(source->setValueCondition(nullptr));
    EXPECT_EQ(source->valueCondition(), nullptr);
    EXPECT_EQ(rangeCondition::alive, 1);

    source->setValueCondition(&hostOwned);
    source = nullptr;
    model = nullptr;
    crate = box = nullptr;
    EXPECT_EQ(rangeCondition::alive, 1);
}

}  // namespace
}  // namespace kytest
