// Copying fields from class to class: names with and without a prefix, the
// name rule of the receiving class, whole classes and the class itself.
#include "class_test_support.h"

namespace classtest {
namespace {

class InheritanceCopy : public classFixture {
protected:
    void SetUp() override {
        address = makeClass(L"Address");
        street = addField(address, L"street", eString);
        street->setLabel(L"Street");
        street->setUnit(L"none");
        street->addAliasname(L"road");
        city = addField(address, L"city", eString);
        target = makeClass(L"Person");
    }

    static std::vector<ky::string> namesOf(const refPtr<classInfo>& cls) {
        std::vector<ky::string> out;
        for (const auto& field : fieldsOf(cls)) out.push_back(field->scName().string());
        return out;
    }

    refPtr<classInfo> address;
    refPtr<fieldInfo> street;
    refPtr<fieldInfo> city;
    refPtr<classInfo> target;
};

TEST_F(InheritanceCopy, PrefixIsPutBeforeTheName) {
    refPtr<fieldInfo> copy = target->copyFieldInfoFrom(street, L"p_");

    EXPECT_EQ(copy->scName().string(), L"p_street");
    EXPECT_EQ(copy->classInfo(), target);
    EXPECT_FALSE(copy->sourceField());
    EXPECT_EQ(copy->label(), L"Street");
    EXPECT_EQ(copy->unit(), L"");
    std::vector<ky::string> aliases;
    copy->getAliasnames(aliases);
    EXPECT_TRUE(aliases.empty());
}

TEST_F(InheritanceCopy, WithoutPrefixTheNameIsKeptAndRepeatedCopiesAppendBehindTheFirst) {
    refPtr<fieldInfo> first = target->copyFieldInfoFrom(street, nullptr);
    refPtr<fieldInfo> again = target->copyFieldInfoFrom(street, nullptr);

    EXPECT_EQ(first->scName().string(), L"street");
    EXPECT_EQ(again, first);
    EXPECT_EQ(target->countFields(), 2u);
    EXPECT_NE(fieldsOf(target)[1], first);
}

TEST_F(InheritanceCopy, CapitalsInThePrefixFollowTheReceivingClassRule) {
    refPtr<fieldInfo> copy = target->copyFieldInfoFrom(street, L"Home_");

    EXPECT_EQ(copy->scName().string(), L"home_street");
    EXPECT_EQ(target->fieldInfo(L"HOME_STREET", false, false), copy);
    EXPECT_EQ(target->countFields(), 1u);
}

TEST_F(InheritanceCopy, NamesFromACaseSensitiveClassAreFoldedOnArrival) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> source = exact->createClassInfo(L"Source", false);
    refPtr<fieldInfo> zip = addField(source, L"ZipCode");

    EXPECT_EQ(target->copyFieldInfoFrom(zip, nullptr)->scName().string(), L"zipcode");
    EXPECT_EQ(target->copyFieldInfoFrom(zip, L"X")->scName().string(), L"xzipcode");
}

TEST_F(InheritanceCopy, ACaseSensitiveClassKeepsTheComposedNameAsWritten) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> receiver = exact->createClassInfo(L"Receiver", false);

    EXPECT_EQ(receiver->copyFieldInfoFrom(street, L"Home_")->scName().string(), L"Home_street");
}

TEST_F(InheritanceCopy, EmptySourceIsReported) {
    expectReport([&] { target->copyFieldInfoFrom(nullptr, L"p_"); }, report(L"m_p != NULL", pointerFile, 315));
    expectReport([&] { target->copyInfosFrom(nullptr, nullptr); }, report(L"m_p != NULL", pointerFile, 315));
    EXPECT_EQ(target->countFields(), 0u);
}

TEST_F(InheritanceCopy, AWholeClassIsCopiedInOrderAndTheSourceStaysAsItWas) {
    EXPECT_TRUE(target->copyInfosFrom(address, nullptr));

    EXPECT_EQ(namesOf(target), (std::vector<ky::string>{L"street", L"city"}));
    EXPECT_EQ(target->fieldInfo(L"street", false, false)->type(), eString);
    EXPECT_EQ(target->fieldInfo(L"street", false, false)->label(), L"Street");
    EXPECT_EQ(fieldsOf(address), (std::vector<refPtr<fieldInfo>>{street, city}));
}

TEST_F(InheritanceCopy, OnlyOwnFieldsAreCopied) {
    refPtr<classInfo> derived = makeDerived(L"Home", {address});
    addField(derived, L"floor");

    EXPECT_TRUE(target->copyInfosFrom(derived, L"h_"));
    EXPECT_EQ(namesOf(target), std::vector<ky::string>{L"h_floor"});
}

TEST_F(InheritanceCopy, CopyingAClassIntoItselfCopiesEachFieldOnce) {
    EXPECT_TRUE(address->copyInfosFrom(address, L"old_"));

    EXPECT_EQ(namesOf(address), (std::vector<ky::string>{L"street", L"city", L"old_street", L"old_city"}));
}

}  // namespace
}  // namespace classtest
