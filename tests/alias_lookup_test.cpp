// Names across name rules: aliases are kept as written, yet a class or model
// that folds names finds them under any case while a case-sensitive one
// matches them exactly; an override whose inherited name this class's rule
// cannot produce is refused.
#include <gtest/gtest.h>

#include <kymetamodel.h>

namespace {

using namespace ky::metamodel;

TEST(AliasLookup, FoldingModelFindsAnAliasWrittenWithCapitalsUnderAnyCase) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    refPtr<classInfo> customer = model->createClassInfo(L"Customer", false);
    customer->addAliasname(L"Kunde");

    EXPECT_EQ(model->classInfo(L"kunde", true), customer);
    EXPECT_EQ(model->classInfo(L"KUNDE", true), customer);
    EXPECT_FALSE(model->classInfo(L"Kunde", false));

    std::vector<ky::string> names;
    customer->getAliasnames(names);
    EXPECT_EQ(names, std::vector<ky::string>{L"Kunde"});
    EXPECT_TRUE(customer->hasAliasname(ky::scString::createFrom(L"Kunde")));
    EXPECT_FALSE(customer->hasAliasname(ky::scString::createFrom(L"kunde")));
}

TEST(AliasLookup, CaseSensitiveModelMatchesAnAliasExactly) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    refPtr<classInfo> customer = model->createClassInfo(L"Customer", false);
    customer->addAliasname(L"Kunde");

    EXPECT_EQ(model->classInfo(L"Kunde", true), customer);
    EXPECT_FALSE(model->classInfo(L"kunde", true));
    EXPECT_FALSE(model->classInfo(L"KUNDE", true));
}

TEST(AliasLookup, FoldingClassFindsAFieldAliasUnderAnyCase) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    refPtr<classInfo> address = model->createClassInfo(L"Address", false);
    refPtr<fieldInfo> street = address->createFieldInfo(L"street", eString, ky::genericSet(), L"");
    street->addAliasname(L"Straße");

    EXPECT_EQ(address->fieldInfo(L"STRASSE", false, true), nullptr);
    EXPECT_EQ(address->fieldInfo(L"straße", false, true), street);
    EXPECT_EQ(model->fieldInfo(L"address.STRAßE", true), nullptr);  // the model's field lookup never uses aliases
    EXPECT_EQ(address->fieldInfo(L"STRAßE", false, false), nullptr);
}

TEST(NameRules, OverrideOfACapitalisedNameInAFoldingClassIsRefusedAfterBeingAppended) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> base = exact->createClassInfo(L"Base", false);
    refPtr<fieldInfo> id = base->createFieldInfo(L"Id", eInt, ky::genericSet(), L"");
    refPtr<classInfo> box = classInfo::createClassInfo(L"Box");
    box->addBaseClass(base);

    EXPECT_THROW(box->createFieldInfo(base, L"Id"), bool);
    ASSERT_EQ(box->countFields(), 1u);
    EXPECT_EQ((*box->fields_begin())->sourceField(), id);
    box->releaseInfo();
}

}  // namespace
