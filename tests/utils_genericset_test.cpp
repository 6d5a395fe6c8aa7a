// genericSet: storing, replacing, reading, copying and erasing keyed values.
#include "test_support.h"

namespace kytest {
namespace {

using ky::genericSet;
using ky::genericValue;
using ky::scString;
using ky::string;

scString key(const wchar_t* text) { return scString::createFrom(text); }

template <class T>
T read(const genericSet& from, const wchar_t* name) {
    T out{};
    EXPECT_TRUE(from.getValue(key(name), out)) << "no value under the key";
    return out;
}

TEST(GenericSet, StoreReplacesAnyValueUnderTheKeyFlagFalseTakesTheHolderFlagTrueACopy) {
    genericSet set;
    for (bool flag : {false, true}) {
        EXPECT_TRUE(set.setValue(key(L"size"), 3, flag));
        EXPECT_TRUE(set.setValue(key(L"size"), string(L"large"), flag));
        EXPECT_EQ(set.size(), 1u);
        EXPECT_EQ(read<string>(set, L"size"), L"large");
    }
    genericValue taken = genericValue::create(1);
    const ky::holderbase* holder = taken.getHolder();
    genericValue copied = genericValue::create(1);
    EXPECT_TRUE(set._setGenericValue(key(L"taken"), taken, false));
    EXPECT_TRUE(set._setGenericValue(key(L"copied"), copied, true));
    *copied.valuePtr<int>() = 2;
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(set.genericValue(key(L"taken"))->getHolder(), holder);
    EXPECT_EQ(read<int>(set, L"copied"), 1);
}

TEST(GenericSet, CopiesAreIndependent) {
    genericSet set;
    set.setValue(key(L"flag"), string(L"TRUE"), false);
    set.setValue(key(L"n"), 1, false);
    genericSet copy(set);
    *copy.genericValue(key(L"n"))->valuePtr<int>() = 2;
    EXPECT_TRUE(copy.erase(key(L"flag")));
    EXPECT_FALSE(copy.erase(key(L"flag")));
    EXPECT_TRUE(read<bool>(set, L"flag"));
    EXPECT_EQ(read<int>(set, L"n"), 1);
    int untouched = 7;
    EXPECT_FALSE(set.getValue(key(L"flag"), untouched));
    EXPECT_FALSE(set.getValue(key(L"missing"), untouched));
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(set.genericValue(key(L"missing")), nullptr);
}

TEST(GenericSet, TextKeysReachTheEntriesOfInternedKeys) {
    genericSet set;
    EXPECT_TRUE(set.setValue(L"enumItems", 7, false));
    EXPECT_TRUE(set.setValue(string(L"label"), string(L"Seven"), true));
    string label;
    EXPECT_TRUE(set.getValue(L"label", label));
    EXPECT_EQ(label, L"Seven");
    EXPECT_EQ(read<int>(set, L"enumItems"), 7);
    scString unknown;
    EXPECT_FALSE(set.contains(L"never-stored-anywhere-7f3a"));
    EXPECT_FALSE(scString::find(L"never-stored-anywhere-7f3a", 26, unknown));
    EXPECT_TRUE(set.erase(L"label"));
    EXPECT_EQ(set.keys(), std::vector<scString>{key(L"enumItems")});
}

// The copy's holders are cloned inside the library; typed access from here
// must see the same holder types (one exported type_info per holder).
TEST(GenericSet, TypedAccessToValuesClonedInsideTheLibrary) {
    genericSet set;
    set.setValue(key(L"names"), std::vector<scString>{key(L"x")}, true);
    set.setValue(key(L"day"), ky::date(2024, 2, 29), true);
    const genericSet copy(set);
    const auto* names = copy.genericValue(key(L"names"))->as<std::vector<scString>>();
    const auto* day = copy.genericValue(key(L"day"))->as<ky::date>();
    ASSERT_NE(names, nullptr);
    ASSERT_NE(day, nullptr);
    EXPECT_EQ(names->constValue(), std::vector<scString>{key(L"x")});
    EXPECT_EQ(day->constValue(), ky::date(2024, 2, 29));
}

}  // namespace
}  // namespace kytest
