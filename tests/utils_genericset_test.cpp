// genericSet: storing, replacing, reading, copying and erasing keyed values.

#include <gtest/gtest.h>

#include <utility>
#include <kygeneric.h>

#include <algorithm>
#include <vector>

namespace {

using ky::genericSet;
using ky::genericValue;
using ky::scString;
using ky::string;

class GenericSetStore : public ::testing::Test {
protected:
    static scString key(const wchar_t* text) { return scString::createFrom(text); }
    template <class T>
    static T read(const genericSet& set, const wchar_t* name) {
        T out{};
        EXPECT_TRUE(set.getValue(key(name), out)) << "no value under the key";
        return out;
    }
    genericSet set;
};

class GenericSetReplace : public GenericSetStore, public ::testing::WithParamInterface<bool> {};

TEST_P(GenericSetReplace, StoreUnderAnExistingKeyReplacesTheValue) {
    const bool flag = GetParam();
    EXPECT_TRUE(set.setValue(key(L"size"), 3, flag));
    EXPECT_TRUE(set.setValue(key(L"size"), string(L"large"), flag));
    EXPECT_EQ(set.size(), 1u);
    EXPECT_EQ(read<string>(set, L"size"), L"large");
    EXPECT_EQ(set.genericValue(key(L"size"))->type(), typeid(string));
}

INSTANTIATE_TEST_SUITE_P(BothFlags, GenericSetReplace, ::testing::Bool());

TEST_F(GenericSetStore, FlagFalseTakesOverTheHolder) {
    genericValue value = genericValue::create(1);
    const ky::holderbase* holder = value.getHolder();
    EXPECT_TRUE(set._setGenericValue(key(L"k"), value, false));
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(set.genericValue(key(L"k"))->getHolder(), holder);
}

TEST_F(GenericSetStore, FlagTrueStoresACopy) {
    genericValue value = genericValue::create(1);
    EXPECT_TRUE(set._setGenericValue(key(L"k"), value, true));
    ASSERT_FALSE(value.empty());
    EXPECT_NE(set.genericValue(key(L"k"))->getHolder(), value.getHolder());
    *value.valuePtr<int>() = 2;
    EXPECT_EQ(read<int>(set, L"k"), 1);
}

TEST_F(GenericSetStore, ReadsConvertAndMissingKeysGiveNothing) {
    set.setValue(key(L"flag"), string(L"TRUE"), true);
    EXPECT_TRUE(read<bool>(set, L"flag"));
    int untouched = 7;
    EXPECT_FALSE(set.getValue(key(L"flag"), untouched));
    EXPECT_FALSE(set.getValue(key(L"missing"), untouched));
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(set.genericValue(key(L"missing")), nullptr);
}

TEST_F(GenericSetStore, CopyIsIndependentOfTheOriginal) {
    set.setValue(key(L"a"), 1, false);
    set.setValue(key(L"b"), string(L"x"), false);
    genericSet copy(set);
    *copy.genericValue(key(L"a"))->valuePtr<int>() = 2;
    copy.erase(key(L"b"));
    EXPECT_EQ(read<int>(set, L"a"), 1);
    EXPECT_TRUE(set.contains(key(L"b")));

    genericSet assigned;
    assigned.setValue(key(L"gone"), 0, false);
    assigned = set;
    EXPECT_FALSE(assigned.contains(key(L"gone")));
    EXPECT_EQ(read<string>(assigned, L"b"), L"x");
}

TEST_F(GenericSetStore, EraseRemovesOnlyThatKey) {
    set.setValue(key(L"a"), 1, false);
    set.setValue(key(L"b"), 2, false);
    EXPECT_TRUE(set.erase(key(L"a")));
    EXPECT_FALSE(set.erase(key(L"a")));
    EXPECT_EQ(read<int>(set, L"b"), 2);
    EXPECT_TRUE(set.erase(key(L"b")));
    EXPECT_TRUE(set.empty());
}

TEST_F(GenericSetStore, TextKeysReachTheSameEntriesAsInternedKeys) {
    genericSet set;
    EXPECT_TRUE(set.setValue(L"enumItems", 7, false));
    EXPECT_TRUE(set.setValue(string(L"label"), string(L"Seven"), true));

    int number = 0;
    EXPECT_TRUE(set.getValue(scString::createFrom(L"enumItems"), number));
    EXPECT_EQ(number, 7);
    string label;
    EXPECT_TRUE(set.getValue(L"label", label));
    EXPECT_EQ(label, L"Seven");
    const int* held = nullptr;
    EXPECT_TRUE(std::as_const(set).getValuePtr(L"enumItems", held));

    // Looking up a name never stored answers nothing and interns nothing.
    scString unknown;
    EXPECT_FALSE(set.contains(L"never-stored-anywhere-7f3a"));
    EXPECT_FALSE(scString::find(L"never-stored-anywhere-7f3a", 26, unknown));
    EXPECT_TRUE(set.erase(L"label"));
    EXPECT_EQ(set.size(), 1u);
}

TEST_F(GenericSetStore, KeysComeInHandleOrder) {
    for (const wchar_t* name : {L"zeta", L"alpha", L"mid", L"beta"}) set.setValue(key(name), 0, false);
    const std::vector<scString> keys = set.keys();
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

TEST_F(GenericSetStore, ChangeInPlaceThroughTheWritableValue) {
    set.setValue(key(L"Alias"), std::vector<scString>{key(L"one")}, false);
    std::vector<scString>* aliases = nullptr;
    ASSERT_TRUE(set.getValuePtr(L"Alias", aliases));
    aliases->push_back(key(L"two"));
    const std::vector<scString>* seen = nullptr;
    ASSERT_TRUE(set.getValuePtr(L"Alias", seen));
    EXPECT_EQ(*seen, (std::vector<scString>{key(L"one"), key(L"two")}));
    const genericSet& readOnly = set;
    seen = nullptr;
    ASSERT_TRUE(readOnly.getValuePtr(L"Alias", seen));
    string* wrongType = nullptr;
    EXPECT_FALSE(set.getValuePtr(L"Alias", wrongType));
    EXPECT_EQ(wrongType, nullptr);
}

// The copy's holders are cloned inside the library; typed access from here
// must see the same holder types (one exported type_info per holder).
TEST_F(GenericSetStore, TypedAccessToValuesClonedInsideTheLibrary) {
    set.setValue(key(L"n"), 5, true);
    set.setValue(key(L"names"), std::vector<scString>{key(L"x")}, true);
    set.setValue(key(L"day"), ky::date(2024, 2, 29), true);
    const genericSet copy(set);
    const ky::holder<int>* number = copy.genericValue(key(L"n"))->as<int>();
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->constValue(), 5);
    const auto* names = copy.genericValue(key(L"names"))->as<std::vector<scString>>();
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->constValue().front(), key(L"x"));
    ASSERT_NE(copy.genericValue(key(L"day"))->as<ky::date>(), nullptr);
    EXPECT_EQ(copy.genericValue(key(L"day"))->as<ky::date>()->constValue(), ky::date(2024, 2, 29));
}

}  // namespace
