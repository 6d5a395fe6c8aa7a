// Enumeration and bit items: reading one item text into a value of the
// field type's value class and a name.
#include "test_support.h"

namespace kytest {
namespace {

using parser = bool (*)(const ky::string&, eFieldType, enumItem&);

// Both parsers behave identically; every case runs through each.
class ItemParsers : public ::testing::TestWithParam<parser> {
protected:
    enumItem parsed(const wchar_t* text, eFieldType type) {
        enumItem item;
        EXPECT_TRUE(GetParam()(text, type, item)) << text;
        return item;
    }
    // `text` is refused and the item keeps what it held.
    void expectRefused(const wchar_t* text, eFieldType type) {
        enumItem item(ky::genericValue::create(3), L"Three");
        EXPECT_FALSE(GetParam()(text, type, item)) << text;
        EXPECT_EQ(item.itemValue.strictRead<int>(), 3) << text;
        EXPECT_EQ(item.itemName, L"Three") << text;
    }
};

TEST_P(ItemParsers, ValueIsConvertedToTheTypesValueClass) {
    const enumItem ten = parsed(L" 1 0 , Ten ", eInt);
    EXPECT_EQ(*ten.itemValue.constValuePtr<int>(), 10);
    EXPECT_EQ(ten.itemName, L"Ten");
    EXPECT_EQ(*parsed(L"4,Bold", eShort).itemValue.constValuePtr<short>(), 4);
    EXPECT_EQ(*parsed(L"TRUE,yes", eBool).itemValue.constValuePtr<bool>(), true);
    EXPECT_EQ(*parsed(L"a,b", eString).itemValue.constValuePtr<ky::string>(), L"a");
    EXPECT_EQ(*parsed(L"2024-02-29,Leap", eDate).itemValue.constValuePtr<ky::date>(), ky::date(2024, 2, 29));
    EXPECT_EQ(*parsed(L"Ab c,x", eCustom).itemValue.constValuePtr<ky::string>(), L"Abc");
}

TEST_P(ItemParsers, FurtherPiecesJoinTheNameWithoutTheirCommas) {
    EXPECT_EQ(parsed(L"1, Red, Green ", eInt).itemName, L"Red Green");
    EXPECT_EQ(parsed(L"1,a,b", eInt).itemName, L"ab");
    EXPECT_EQ(parsed(L"1,,Red", eInt).itemName, L"Red");
    EXPECT_EQ(parsed(L"1,", eInt).itemName, L"");
    EXPECT_EQ(*parsed(L",Empty", eString).itemValue.constValuePtr<ky::string>(), L"");
}

TEST_P(ItemParsers, RefusedTextsLeaveTheItemAlone) {
    const std::pair<const wchar_t*, eFieldType> refused[] = {
        {L"7", eInt}, {L"", eInt}, {L"x,Ten", eInt}, {L",5,Five", eInt}, {L"maybe,Perhaps", eBool},
        {L"2023-02-29,NoLeap", eDate}, {L"1,Bytes", eBinary}};
    for (const auto& [text, type] : refused) expectRefused(text, type);
}

// Cases are named by the parser, not by its address, so test names stay stable.
std::string parserName(const ::testing::TestParamInfo<parser>& info) {
    if (info.param == &fieldInfo::parseEnumItem) return "Enum";
    if (info.param == &fieldInfo::parseBitsItem) return "Bits";
    return "Parser" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(EnumAndBits, ItemParsers,
                         ::testing::Values(&fieldInfo::parseEnumItem, &fieldInfo::parseBitsItem), parserName);

}  // namespace
}  // namespace kytest
