// Holders and generic values: copies, conversions, typed access, references.
#include "test_support.h"

#include <memory>

namespace kytest {
namespace {

using ky::genericValue;
using ky::string;

// A value type the conversion manager starts out knowing nothing about.
struct probe { int v = 0; };

// A converter into probe that counts its calls.
int spyCalls = 0;
bool spy(void* target, const void* source) {
    ++spyCalls;
    static_cast<probe*>(target)->v = *static_cast<const int*>(source);
    return true;
}

TEST(Holders, OnlyCopiesBetweenTypesConsultTheConversionManager) {
    auto& manager = ky::typeConversionManager::instance();
    manager.registerConverter(typeid(probe), typeid(probe), &spy);
    manager.registerConverter(typeid(probe), typeid(int), &spy);
    spyCalls = 0;
    probe target;
    ky::ptrholder<probe> reference(&target);
    EXPECT_TRUE(ky::valueholder<probe>(probe{7}).copyTo(reference));
    EXPECT_TRUE(reference.copyFrom(ky::valueholder<probe>(probe{9})));
    EXPECT_EQ(target.v, 9);
    EXPECT_EQ(spyCalls, 0);
    EXPECT_TRUE(ky::valueholder<int>(4).copyTo(reference));
    EXPECT_TRUE(reference.copyFrom(ky::valueholder<int>(6)));
    EXPECT_EQ(target.v, 6);
    EXPECT_EQ(spyCalls, 2);
}

TEST(GenericValues, TypedAccessToAnotherTypeYieldsNothingEvenWithAConversion) {
    genericValue value = genericValue::create(5);
    EXPECT_EQ(value.as<double>(), nullptr);
    EXPECT_EQ(value.valuePtr<long>(), nullptr);
    ASSERT_NE(value.valuePtr<int>(), nullptr);
    *value.valuePtr<int>() = 6;
    double converted = 0;
    EXPECT_TRUE(value.read(converted));
    EXPECT_EQ(converted, 6.0);
}

TEST(GenericValues, FailedReadsLeaveTheTargetAlone) {
    bool flag = false;
    ky::date day(2000, 1, 1);
    int number = 3;
    EXPECT_TRUE(genericValue::create(L"true").read(flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(genericValue::create(L"true").read(day));
    EXPECT_FALSE(genericValue().read(number));
    EXPECT_EQ(day, ky::date(2000, 1, 1));
    EXPECT_EQ(number, 3);
    EXPECT_EQ(genericValue::create(L"12").strictRead<int>(), 12);
    EXPECT_TRUE(throwsFalse([] { genericValue().strictRead<int>(); }));
    EXPECT_TRUE(throwsFalse([] { genericValue::create(2.5).strictRead<int>(); }));

    genericValue value = genericValue::create(0);
    EXPECT_TRUE(value.assignFromText(L"42"));
    EXPECT_FALSE(value.assignFromText(L"4.5"));
    EXPECT_FALSE(genericValue().assignFromText(L"1"));
    EXPECT_EQ(value.strictRead<int>(), 42);
}

// Copies clone their holder (see OwnedHolder).
TEST(GenericValues, AssignmentReplacesSelfAssignmentKeepsTheHolder) {
    genericValue a = genericValue::create(L"a");
    const genericValue b = genericValue::create(L"b");
    a = b;
    EXPECT_EQ(a.strictRead<string>(), L"b");
    EXPECT_NE(a.getHolder(), b.getHolder());
    const ky::holderbase* before = a.getHolder();
    a = std::as_const(a);
    EXPECT_EQ(a.getHolder(), before);
    a = genericValue();
    EXPECT_EQ(a.type(), typeid(void));
}

}  // namespace
}  // namespace kytest
