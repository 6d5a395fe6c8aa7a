// A cached identity never lists a field that has left the primary key, also
// when the field that left it is the source of an overriding field.
#include <gtest/gtest.h>

#include <kymetamodel.h>

namespace {

using namespace ky::metamodel;

TEST(IdentityStaleness, DerivedIdentityDropsAnOverrideWhoseSourceLeftThePrimaryKey) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    refPtr<classInfo> party = model->createClassInfo(L"Party", false);
    refPtr<classInfo> customer = model->createClassInfo(L"Customer", false);
    customer->addBaseClass(party);
    refPtr<fieldInfo> id = party->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    refPtr<fieldInfo> number = customer->createFieldInfo(L"number", eInt, ky::genericSet(), L"");
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    number->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    refPtr<fieldInfo> overridingId = customer->createFieldInfo(party, L"id");
    refPtr<idInfo> before = customer->idInfo();
    ASSERT_EQ(before->fieldInfos().size(), 2u);

    id->setSemantic(eSemNone, ky::genericSet(), L"");

    refPtr<idInfo> after = customer->idInfo();
    EXPECT_NE(after, before);
    ASSERT_EQ(after->fieldInfos().size(), 1u);
    EXPECT_EQ(after->fieldInfos()[0], number);
    EXPECT_EQ(customer->idInfo(), after);
    EXPECT_EQ(before->fieldInfos().size(), 2u);  // holders keep what they had
}

}  // namespace
