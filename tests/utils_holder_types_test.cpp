// The holders of every value type the libraries export: what owning and
// referring holders do with a value of each type.
#include "test_support.h"

#include <memory>

namespace kytest {
namespace {

using ky::string;

// Two distinct values of each held type, and a view of a value that
// compares with == and prints.
template <class T>
struct samples {
    static T first();
    static T second();
    static const T& view(const T& v) { return v; }
};

bool sameA(const ky::genericValue&, const ky::genericValue&) { return true; }
bool sameB(const ky::genericValue&, const ky::genericValue&) { return false; }

// Counted and shared samples compare by address, so each is made once.
struct sampleObject : ky::refObj {};
const ky::refPtr<ky::refObj>& sampleReference() {
    static const ky::refPtr<ky::refObj> kept(new sampleObject);
    return kept;
}
struct sampleCondition : ky::conditions::condition {
    condition* clone() const override { return new sampleCondition(*this); }
};
const conditionPtr& sampleSharedCondition() {
    static const conditionPtr kept(new sampleCondition);
    return kept;
}

#define KY_SAMPLES(T, A, B)                         \
    template <>                                     \
    T samples<T>::first() { return A; }             \
    template <>                                     \
    T samples<T>::second() { return B; }
KY_SAMPLES(bool, false, true)
KY_SAMPLES(short, short(-3), short(7))
KY_SAMPLES(int, 1, -2)
KY_SAMPLES(long, 1L << 40, -5L)
KY_SAMPLES(float, 0.5f, -1.25f)
KY_SAMPLES(double, 1e300, -0.125)
KY_SAMPLES(string, L"Größe", L"")
KY_SAMPLES(ky::refPtr<ky::refObj>, sampleReference(), nullptr)
KY_SAMPLES(ky::date, ky::date(2024, 2, 29), ky::date(1900, 1, 1))
KY_SAMPLES(ky::time, ky::time(23, 59, 58, 999), ky::time(0, 0, 0, 0))
KY_SAMPLES(ky::timestamp, ky::timestamp(ky::date(2024, 2, 29), ky::time(1, 2, 3, 4)), ky::timestamp())
KY_SAMPLES(ky::binaryBuffer, ky::binaryBuffer(3), ky::binaryBuffer())
KY_SAMPLES(ky::directory, ky::directory(L"/var/lib"), ky::directory(L""))
KY_SAMPLES(ky::file, ky::file(L"model.yaml"), ky::file(L"other"))
KY_SAMPLES(std::vector<string>, std::vector<string>({L"a", L"b"}), std::vector<string>{})
KY_SAMPLES(std::vector<ky::scString>, std::vector<ky::scString>{ky::scString::createFrom(L"k")},
           std::vector<ky::scString>{})
KY_SAMPLES(ky::searchPath, ky::searchPath({ky::directory(L"/usr"), ky::directory(L"/opt")}), ky::searchPath())
KY_SAMPLES(conditionPtr, sampleSharedCondition(), conditionPtr())
KY_SAMPLES(valueEqFunction, &sameA, &sameB)
#undef KY_SAMPLES

// Item lists compare by their names.
template <>
struct samples<std::vector<enumItem>> {
    static std::vector<enumItem> first() { return {enumItem(ky::genericValue::create(1), L"one")}; }
    static std::vector<enumItem> second() { return {}; }
    static std::vector<string> view(const std::vector<enumItem>& items) {
        std::vector<string> names;
        for (const enumItem& item : items) names.push_back(item.itemName);
        return names;
    }
};

template <class T>
auto view(const T& v) {
    return samples<T>::view(v);
}

// Owning holders are exported for every value type; referring holders for
// those that are read through a pointer.
using referredTypes = ::testing::Types<bool, short, int, long, float, double, string, ky::refPtr<ky::refObj>, ky::date,
                                       ky::time, ky::timestamp, ky::binaryBuffer, ky::directory, ky::file,
                                       conditionPtr, valueEqFunction>;
using ownedTypes = ::testing::Types<bool, short, int, long, float, double, string, ky::refPtr<ky::refObj>, ky::date,
                                    ky::time, ky::timestamp, ky::binaryBuffer, ky::directory, ky::file,
                                    std::vector<string>, std::vector<ky::scString>, ky::searchPath, conditionPtr,
                                    valueEqFunction, std::vector<enumItem>>;

template <class T>
class OwnedHolder : public ::testing::Test {};
TYPED_TEST_SUITE(OwnedHolder, ownedTypes);

TYPED_TEST(OwnedHolder, KeepsItsOwnCopyThroughClones) {
    using T = TypeParam;
    const ky::genericValue original = ky::genericValue::create(samples<T>::first());
    ky::genericValue copy = original;
    copy.as<T>()->setValue(samples<T>::second());
    EXPECT_EQ(view(original.as<T>()->constValue()), view(samples<T>::first()));
    EXPECT_EQ(view(copy.as<T>()->value()), view(samples<T>::second()));
    EXPECT_FALSE(copy.getHolder()->isReference());
    EXPECT_EQ(copy.type(), typeid(T));
    EXPECT_EQ(copy.getHolder()->ptr(), copy.getHolder()->constPtr());
}

TYPED_TEST(OwnedHolder, CopiesBetweenHoldersOfItsTypeWithoutConversion) {
    using T = TypeParam;
    ky::valueholder<T> source(samples<T>::first());
    ky::valueholder<T> target(samples<T>::second());
    EXPECT_TRUE(source.copyTo(target));
    EXPECT_EQ(view(target.constValue()), view(samples<T>::first()));
    source.setValue(samples<T>::second());
    EXPECT_TRUE(target.copyFrom(source));
    EXPECT_EQ(view(target.constValue()), view(samples<T>::second()));
}

template <class T>
class ReferringHolder : public ::testing::Test {};
TYPED_TEST_SUITE(ReferringHolder, referredTypes);

TYPED_TEST(ReferringHolder, WritesThroughToTheTargetItSharesWithItsClones) {
    using T = TypeParam;
    T target = samples<T>::first();
    ky::ptrholder<T> reference(&target);
    const std::unique_ptr<ky::holderbase> clone(reference.clone());
    static_cast<ky::holder<T>*>(clone.get())->setValue(samples<T>::second());
    EXPECT_EQ(view(target), view(samples<T>::second()));
    EXPECT_EQ(&reference.value(), &target);
    EXPECT_EQ(&reference.constValue(), &target);
    EXPECT_EQ(clone->ptr(), &target);
    EXPECT_EQ(clone->constPtr(), &target);
    EXPECT_TRUE(clone->isReference());
}

TYPED_TEST(ReferringHolder, ReadsTheTargetIntoAValueOfItsType) {
    using T = TypeParam;
    const ky::genericValue held = ky::genericValue::create(samples<T>::first());
    T out = samples<T>::second();
    EXPECT_TRUE(held.read(out));
    EXPECT_EQ(view(out), view(samples<T>::first()));
    ky::valueholder<T> owner(samples<T>::second());
    EXPECT_TRUE(owner.copyFrom(ky::ptrholder<T>(&out)));
    EXPECT_EQ(view(owner.constValue()), view(samples<T>::first()));
}

TYPED_TEST(ReferringHolder, WithoutTargetThrowsOnReads) {
    using T = TypeParam;
    ky::ptrholder<T> nowhere(nullptr);
    nowhere.setValue(samples<T>::first());
    EXPECT_EQ(nowhere.constPtr(), nullptr);
    EXPECT_TRUE(throwsFalse([&] { nowhere.value(); }));
    EXPECT_TRUE(throwsFalse([&] { nowhere.constValue(); }));
    T target = samples<T>::second();
    ky::ptrholder<T> somewhere(&target);
    EXPECT_TRUE(throwsFalse([&] { nowhere.copyTo(somewhere); }));
    EXPECT_TRUE(throwsFalse([&] { somewhere.copyFrom(nowhere); }));
    EXPECT_EQ(view(target), view(samples<T>::second()));
}

TEST(ReadOnlyHolder, IsCopiedButNeverWritten) {
    const string kept = L"kept";
    const ky::constptrholder<string> readOnly(&kept);
    const std::unique_ptr<ky::holderbase> clone(readOnly.clone());
    EXPECT_EQ(clone->constPtr(), &kept);
    EXPECT_EQ(clone->ptr(), nullptr);
    EXPECT_TRUE(clone->isReference());
    static_cast<ky::holder<string>*>(clone.get())->setValue(L"changed");
    EXPECT_TRUE(ky::valueholder<string>(L"copied").copyTo(*clone));
    EXPECT_EQ(kept, L"kept");
    EXPECT_TRUE(throwsFalse([&] { static_cast<ky::holder<string>*>(clone.get())->value(); }));
}

}  // namespace
}  // namespace kytest
