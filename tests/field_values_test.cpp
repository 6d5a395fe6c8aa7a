// Field values: type defaults, stored defaults, null values and null tests,
// equality functions and value conditions.
#include "field_test_support.h"

namespace fieldtest {
namespace {

ky::genericValue make(const ky::string& text) { return ky::genericValue::create(text); }
template <class T>
ky::genericValue make(const T& v) { return ky::genericValue::create(v); }

// One row of the per-type table for the types whose null test reads the value.
template <eFieldType Type, class V>
struct row {
    static constexpr eFieldType type = Type;
    using value = V;
};
struct boolRow : row<eBool, bool> { static bool other() { return true; } };
struct shortRow : row<eShort, short> { static short other() { return 7; } };
struct intRow : row<eInt, int> { static int other() { return 1; } };
struct longRow : row<eLong, long> { static long other() { return -5; } };
struct floatRow : row<eFloat, float> { static float other() { return 0.5f; } };
struct doubleRow : row<eDouble, double> { static double other() { return -0.25; } };
struct stringRow : row<eString, ky::string> { static ky::string other() { return L" "; } };
struct dateRow : row<eDate, ky::date> { static ky::date other() { return ky::date::today(); } };
struct timeRow : row<eTime, ky::time> { static ky::time other() { return ky::time(0, 0, 0, 1); } };
struct timestampRow : row<eTimestamp, ky::timestamp> {
    static ky::timestamp other() { return ky::timestamp(ky::date(1900, 1, 2), ky::time()); }
};
struct binaryRow : row<eBinary, ky::binaryBuffer> { static ky::binaryBuffer other() { return ky::binaryBuffer(1); } };

template <class Row>
class valueTable : public fieldFixture {
protected:
    using V = typename Row::value;
    refPtr<fieldInfo> subject() { return field(L"subject", Row::type); }
};
using readTypes = ::testing::Types<boolRow, shortRow, intRow, longRow, floatRow, doubleRow, stringRow, dateRow,
                                   timeRow, timestampRow, binaryRow>;
TYPED_TEST_SUITE(valueTable, readTypes);

TYPED_TEST(valueTable, NullValueHoldsTheValueClassAndTestsNull) {
    refPtr<fieldInfo> f = this->subject();
    const ky::genericValue null = f->createNullValue();
    ASSERT_NE(null.template as<typename TestFixture::V>(), nullptr);
    EXPECT_TRUE(f->isNullValue(null));
    EXPECT_FALSE(f->isNullValue(make(TypeParam::other())));
    EXPECT_THROW(f->isNullValue(ky::genericValue()), bool);
}

TYPED_TEST(valueTable, TypeDefaultHoldsTheValueClass) {
    ky::genericValue v;
    EXPECT_TRUE(fieldInfo::getDefaultFromType(TypeParam::type, v));
    EXPECT_NE(v.template as<typename TestFixture::V>(), nullptr);
}

TYPED_TEST(valueTable, BuiltInEqualityComparesByValueAndRefusesEmptyValues) {
    const valueEqFunction eq = this->subject()->valueEqFunc(false);
    if (TypeParam::type == eBinary) {
        EXPECT_EQ(eq, nullptr);
        return;
    }
    ASSERT_NE(eq, nullptr);
    const ky::genericValue other = make(TypeParam::other());
    EXPECT_TRUE(eq(other, make(TypeParam::other())));
    EXPECT_FALSE(eq(other, this->subject()->createNullValue()));
    EXPECT_THROW(eq(other, ky::genericValue()), bool);
    EXPECT_THROW(eq(ky::genericValue(), other), bool);
}

using fieldValues = fieldFixture;

TEST_F(fieldValues, NullThresholdIsStrictInDoublePrecision) {
    refPtr<fieldInfo> d = field(L"d", eDouble);
    EXPECT_TRUE(d->isNullValue(make(0.0000009)));
    EXPECT_TRUE(d->isNullValue(make(-0.0000009)));
    EXPECT_FALSE(d->isNullValue(make(0.000001)));
    EXPECT_TRUE(field(L"f", eFloat)->isNullValue(make(0.000001f)));
}

TEST_F(fieldValues, NullTestConvertsOtherValueClassesOrThrows) {
    refPtr<fieldInfo> i = field(L"i", eInt);
    EXPECT_TRUE(i->isNullValue(make(ky::string(L"0"))));
    EXPECT_FALSE(i->isNullValue(make(short(3))));
    EXPECT_THROW(i->isNullValue(make(ky::string(L"zero"))), bool);
    EXPECT_THROW(i->isNullValue(make(ky::date())), bool);
}

TEST_F(fieldValues, EntryTypesTestOnlyForAnEmptyValue) {
    for (eFieldType t : {eDirectory, eFile, eSearchPath, ePtr, eCustom}) {
        refPtr<fieldInfo> f = box->createFieldInfo(L"entry" + std::to_wstring(t), t, ky::genericSet(), L"");
        EXPECT_TRUE(f->isNullValue(ky::genericValue())) << t;
        EXPECT_FALSE(f->isNullValue(make(42))) << t;
        EXPECT_EQ(f->createNullValue().empty(), t == ePtr || t == eCustom) << t;
    }
}

TEST_F(fieldValues, DatesDefaultToNowButAreNullIn1900) {
    ky::genericValue today;
    ASSERT_TRUE(fieldInfo::getDefaultFromType(eDate, today));
    EXPECT_EQ(today.strictRead<ky::date>(), ky::date::today());
    EXPECT_EQ(field(L"when", eDate)->createNullValue().strictRead<ky::date>(), ky::date(1900, 1, 1));
}

TEST_F(fieldValues, TypesWithoutDefaultLeaveTheValueAlone) {
    ky::genericValue v = make(5);
    EXPECT_FALSE(fieldInfo::getDefaultFromType(ePtr, v));
    EXPECT_FALSE(fieldInfo::getDefaultFromType(static_cast<eFieldType>(4), v));
    EXPECT_EQ(v.strictRead<int>(), 5);
}

TEST_F(fieldValues, StoredDefaultIsHandedOutAsStored) {
    refPtr<fieldInfo> f = field(L"count", eInt);
    EXPECT_TRUE(f->setDefaultValue(make(ky::string(L"many"))));
    ky::genericValue v;
    EXPECT_TRUE(f->getDefaultValue(v, false));
    EXPECT_EQ(*v.constValuePtr<ky::string>(), L"many");
}

TEST_F(fieldValues, ReferringFieldSeesTheSourcesDefaultOnlyWhenSearching) {
    field(L"count", eInt)->setDefaultValue(make(12));
    refPtr<fieldInfo> over = referring(L"count");
    ky::genericValue v;
    EXPECT_TRUE(over->getDefaultValue(v, true));
    EXPECT_EQ(v.strictRead<int>(), 12);
    EXPECT_TRUE(over->getDefaultValue(v, false));
    EXPECT_EQ(v.strictRead<int>(), 0);
}

TEST_F(fieldValues, ReferringFieldKeepsTheTypeItsSourceHadWhenItWasMade) {
    refPtr<fieldInfo> source = field(L"stamp", eTimestamp);
    refPtr<fieldInfo> over = referring(L"stamp");
    source->setSemantic(eSemDate, ky::genericSet(), L"");
    EXPECT_NE(over->createNullValue().as<ky::timestamp>(), nullptr);
    // Stamps of one day an hour apart: equal as dates, not as timestamps.
    const ky::genericValue midnight = make(ky::timestamp());
    const ky::genericValue oneAm = make(ky::timestamp(ky::date(), ky::time(1, 0, 0)));
    EXPECT_TRUE(source->valueEqFunc(false)(midnight, oneAm));
    EXPECT_FALSE(over->valueEqFunc(false)(midnight, oneAm));
}

bool alwaysEqual(const ky::genericValue&, const ky::genericValue&) { return true; }

TEST_F(fieldValues, OwnEqualityFunctionReplacesTheBuiltInOneAndIsSeenThroughTheChain) {
    refPtr<fieldInfo> source = field(L"name", eString);
    refPtr<fieldInfo> over = referring(L"name");
    EXPECT_TRUE(source->setValueEqFunc(&alwaysEqual));
    EXPECT_EQ(source->valueEqFunc(false), &alwaysEqual);
    EXPECT_EQ(over->valueEqFunc(true), &alwaysEqual);
    EXPECT_NE(over->valueEqFunc(false), &alwaysEqual);
    EXPECT_TRUE(over->setValueEqFunc(nullptr));
    EXPECT_EQ(over->valueEqFunc(true), nullptr);
}

TEST_F(fieldValues, StringEqualityHeedsCaseWhileDirectoriesAndFilesDoNot) {
    EXPECT_FALSE(field(L"s", eString)->valueEqFunc(false)(make(ky::string(L"Ab")), make(ky::string(L"ab"))));
    EXPECT_TRUE(field(L"d", eDirectory)->valueEqFunc(false)(make(ky::directory(L"C:\\Tmp")),
                                                            make(ky::directory(L"c:\\tmp"))));
    EXPECT_TRUE(field(L"f", eFile)->valueEqFunc(false)(make(ky::file(L"ÄRGER.txt")), make(ky::file(L"ärger.TXT"))));
    EXPECT_FALSE(field(L"g", eFile)->valueEqFunc(false)(make(ky::file(L"a")), make(ky::file(L"b"))));
    EXPECT_EQ(field(L"p", eSearchPath)->valueEqFunc(false), nullptr);
}

// A host condition that counts its live copies.
class rangeCondition : public ky::conditions::condition {
public:
    explicit rangeCondition(int limit) : limit(limit) { ++alive; }
    rangeCondition(const rangeCondition& other) : condition(other), limit(other.limit) { ++alive; }
    ~rangeCondition() override { --alive; }
    condition* clone() const override { return new rangeCondition(*this); }
    int limit;
    static inline int alive = 0;
};

TEST_F(fieldValues, ConditionIsAPrivateCopySeenThroughTheChainAndFreedWithTheField) {
    {
        rangeCondition hostOwned(10);
        refPtr<fieldInfo> source = field(L"count", eInt);
        EXPECT_TRUE(source->setValueCondition(&hostOwned));
        hostOwned.limit = 99;
        auto* held = dynamic_cast<const rangeCondition*>(source->valueCondition());
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->limit, 10);
        EXPECT_EQ(referring(L"count")->valueCondition(), held);
        EXPECT_EQ(rangeCondition::alive, 2);

        EXPECT_TRUE(source->setValueCondition(nullptr));
        EXPECT_EQ(source->valueCondition(), nullptr);
        EXPECT_EQ(rangeCondition::alive, 1);
        source->setValueCondition(&hostOwned);
    }
    crate->releaseInfo();
    box->releaseInfo();
    EXPECT_EQ(rangeCondition::alive, 0);
}

}  // namespace
}  // namespace fieldtest
