// Holders and generic values: copies, conversions, typed access, references.

#include <gtest/gtest.h>
#include <kygeneric.h>

#include <memory>

namespace {

using ky::genericValue;
using ky::string;

// A value type the conversion manager starts out knowing nothing about.
struct probe {
    int v = 0;
};

class Holders : public ::testing::Test {
protected:
    static ky::typeConversionManager& manager() { return ky::typeConversionManager::instance(); }
    // A spy converter that counts its calls and writes the source int.
    static int& spyCalls() {
        static int calls = 0;
        return calls;
    }
    static bool spy(void* target, const void* source) {
        ++spyCalls();
        static_cast<probe*>(target)->v = *static_cast<const int*>(source);
        return true;
    }
    void SetUp() override { spyCalls() = 0; }

    template <class F>
    static bool throwsFalse(F f) {
        try {
            f();
        } catch (bool b) {
            return !b;
        }
        return false;
    }
};

TEST_F(Holders, SameTypeCopiesNeverConsultTheConversionManager) {
    manager().registerConverter(typeid(probe), typeid(probe), &spy);
    probe target;
    ky::ptrholder<probe> reference(&target);
    EXPECT_TRUE(ky::valueholder<probe>(probe{7}).copyTo(reference));
    EXPECT_EQ(target.v, 7);
    EXPECT_TRUE(reference.copyFrom(ky::valueholder<probe>(probe{9})));
    EXPECT_EQ(target.v, 9);
    EXPECT_EQ(spyCalls(), 0);

    ASSERT_FALSE(manager().canConvert(typeid(int), typeid(int)));
    int number = 0;
    ky::ptrholder<int> intTarget(&number);
    EXPECT_TRUE(ky::valueholder<int>(5).copyTo(intTarget));
    EXPECT_EQ(number, 5);
}

TEST_F(Holders, CopiesBetweenTypesGoThroughTheConversionManager) {
    manager().registerConverter(typeid(probe), typeid(int), &spy);
    probe target;
    ky::ptrholder<probe> reference(&target);
    EXPECT_TRUE(ky::valueholder<int>(4).copyTo(reference));
    EXPECT_TRUE(reference.copyFrom(ky::valueholder<int>(6)));
    EXPECT_EQ(target.v, 6);
    EXPECT_EQ(spyCalls(), 2);
}

TEST_F(Holders, CloneOfPtrHolderSharesItsTarget) {
    int outside = 1;
    ky::ptrholder<int> original(&outside);
    std::unique_ptr<ky::holderbase> clone(original.clone());
    auto* typed = dynamic_cast<ky::ptrholder<int>*>(clone.get());
    ASSERT_NE(typed, nullptr);
    typed->setValue(5);
    EXPECT_EQ(outside, 5);
    EXPECT_EQ(original.constValue(), 5);
    EXPECT_TRUE(clone->isReference());
}

TEST_F(Holders, CloneOfValueHolderIsIndependent) {
    ky::valueholder<string> original(L"a");
    std::unique_ptr<ky::holderbase> clone(original.clone());
    static_cast<ky::holder<string>*>(clone.get())->setValue(L"b");
    EXPECT_EQ(original.constValue(), L"a");
    EXPECT_FALSE(clone->isReference());
}

TEST_F(Holders, CopyToConstPtrHolderOfSameTypeIsTrueAndChangesNothing) {
    const string outside = L"kept";
    ky::constptrholder<string> readOnly(&outside);
    EXPECT_TRUE(ky::valueholder<string>(L"new").copyTo(readOnly));
    EXPECT_EQ(outside, L"kept");
    EXPECT_EQ(readOnly.ptr(), nullptr);
    EXPECT_TRUE(throwsFalse([&] { readOnly.value(); }));
}

TEST_F(Holders, NullPtrHolderIgnoresWritesAndThrowsOnReads) {
    ky::ptrholder<int> nowhere(nullptr);
    nowhere.setValue(3);
    EXPECT_EQ(nowhere.ptr(), nullptr);
    int number = 1;
    ky::ptrholder<int> target(&number);
    ky::valueholder<int> owner(2);
    EXPECT_TRUE(throwsFalse([&] { nowhere.value(); }));
    EXPECT_TRUE(throwsFalse([&] { nowhere.constValue(); }));
    EXPECT_TRUE(throwsFalse([&] { nowhere.copyTo(target); }));
    EXPECT_TRUE(throwsFalse([&] { owner.copyFrom(nowhere); }));
    double other = 1.5;
    ky::ptrholder<double> otherType(&other);
    EXPECT_TRUE(throwsFalse([&] { nowhere.copyTo(otherType); }));
    EXPECT_EQ(other, 1.5);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(owner.constValue(), 2);
}

TEST_F(Holders, RefPtrValueHolderKeepsOneReference) {
    struct object : ky::refObj {};
    ky::refPtr<ky::refObj> first(new object);
    ky::refPtr<ky::refObj> second(new object);
    {
        ky::valueholder<ky::refPtr<ky::refObj>> held(first);
        EXPECT_EQ(first->refCount(), 2u);
        std::unique_ptr<ky::holderbase> clone(held.clone());
        EXPECT_EQ(first->refCount(), 3u);
        held.setValue(second);
        EXPECT_EQ(first->refCount(), 2u);
        EXPECT_EQ(second->refCount(), 2u);
    }
    EXPECT_EQ(first->refCount(), 1u);
    EXPECT_EQ(second->refCount(), 1u);
}

class GenericValues : public Holders {};

TEST_F(GenericValues, TypedAccessToAnotherTypeYieldsNothingEvenWithAConversion) {
    genericValue value = genericValue::create(5);
    EXPECT_EQ(value.as<double>(), nullptr);
    EXPECT_EQ(value.valuePtr<long>(), nullptr);
    ASSERT_NE(value.valuePtr<int>(), nullptr);
    *value.valuePtr<int>() = 6;  // changes the stored int in place
    double converted = 0;
    EXPECT_TRUE(value.read(converted));
    EXPECT_EQ(converted, 6.0);
}

TEST_F(GenericValues, ReadConvertsOrLeavesTheTargetAlone) {
    const genericValue text = genericValue::create(L"true");
    bool flag = false;
    EXPECT_TRUE(text.read(flag));
    EXPECT_TRUE(flag);
    ky::date day(2000, 1, 1);
    EXPECT_FALSE(text.read(day));
    EXPECT_EQ(day, ky::date(2000, 1, 1));
    int number = 3;
    EXPECT_FALSE(genericValue().read(number));
    EXPECT_EQ(number, 3);
}

TEST_F(GenericValues, StrictReadThrowsFalseWhenEmptyOrNotConvertible) {
    EXPECT_TRUE(throwsFalse([] { genericValue().strictRead<int>(); }));
    EXPECT_TRUE(throwsFalse([] { genericValue::create(2.5).strictRead<int>(); }));
    EXPECT_EQ(genericValue::create(L"12").strictRead<int>(), 12);
}

TEST_F(GenericValues, AssignFromTextConvertsToTheHeldType) {
    genericValue value = genericValue::create(0);
    EXPECT_TRUE(value.assignFromText(L"42"));
    EXPECT_EQ(value.strictRead<int>(), 42);
    EXPECT_FALSE(value.assignFromText(L"4.5"));
    EXPECT_EQ(value.strictRead<int>(), 42);
    genericValue text = genericValue::create(L"old");
    EXPECT_TRUE(text.assignFromText(L"new"));
    EXPECT_EQ(text.strictRead<string>(), L"new");
    EXPECT_FALSE(genericValue().assignFromText(L"1"));
}

TEST_F(GenericValues, CopyClonesAndAssignmentReplaces) {
    genericValue a = genericValue::create(L"a");
    genericValue b = a;
    *b.valuePtr<string>() = L"b";
    EXPECT_EQ(a.strictRead<string>(), L"a");
    a = b;
    EXPECT_EQ(a.strictRead<string>(), L"b");
    EXPECT_NE(a.getHolder(), b.getHolder());
    const ky::holderbase* before = a.getHolder();
    const genericValue& same = a;
    a = same;  // self-assignment keeps the holder
    EXPECT_EQ(a.getHolder(), before);
    a = genericValue();
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.type(), typeid(void));
}

}  // namespace
