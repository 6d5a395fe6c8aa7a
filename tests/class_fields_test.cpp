// A class's fields: the name rule, the ordinary and the overriding creator,
// and the lookup order over names, aliases and base classes.
#include "class_test_support.h"

namespace classtest {
namespace {

using ClassFields = classFixture;

// Short ASCII names, long names and non-ASCII names fold alike.
TEST_F(ClassFields, FoldedClassFindsFieldsWhateverTheCase) {
    refPtr<classInfo> cls = makeClass(L"Person");
    refPtr<fieldInfo> name = addField(cls, L"Name");
    refPtr<fieldInfo> anger = addField(cls, L"\u00c4rger");
    refPtr<fieldInfo> street = addField(cls, L"Stra\u00dfe");
    refPtr<fieldInfo> longName = addField(cls, ky::string(100, L'N'));

    EXPECT_EQ(name->scName().string(), L"name");
    EXPECT_EQ(cls->fieldInfo(L"NAME", false, false), name);
    EXPECT_EQ(cls->fieldInfo(L"\u00c4RGER", false, false), anger);
    EXPECT_EQ(cls->fieldInfo(L"STRA\u00dfE", false, false), street);
    EXPECT_FALSE(cls->fieldInfo(L"STRASSE", false, false));
    EXPECT_EQ(cls->fieldInfo(ky::string(100, L'n'), false, false), longName);
}

TEST_F(ClassFields, CaseSensitiveClassKeepsCapitalsApart) {
    refPtr<modelInfo> model = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = model->createClassInfo(L"Person", false);
    refPtr<fieldInfo> upper = addField(cls, L"Name");
    refPtr<fieldInfo> lower = addField(cls, L"name");

    EXPECT_EQ(cls->scName().string(), L"Person");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(cls->countFields(), 2u);
    EXPECT_EQ(cls->fieldInfo(L"Name", false, false), upper);
    EXPECT_FALSE(cls->fieldInfo(L"NAME", false, false));
}

TEST_F(ClassFields, CreatingAKnownNameAnswersTheFieldUnchanged) {
    refPtr<classInfo> base = makeClass(L"Base");
    refPtr<fieldInfo> id = addField(base, L"id");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});
    refPtr<fieldInfo> width = addField(cls, L"width", eInt);

    EXPECT_EQ(addField(cls, L"WIDTH", eString), width);
    EXPECT_EQ(width->type(), eInt);
    EXPECT_EQ(addField(cls, L"id"), id);
    EXPECT_EQ(fieldsOf(cls), std::vector<refPtr<fieldInfo>>{width});
}

// Own names, then own aliases, then (only on request) the bases.
TEST_F(ClassFields, LookupOrderIsOwnNamesThenOwnAliasesThenBases) {
    refPtr<classInfo> base = makeClass(L"Base");
    addField(base, L"id")->addAliasname(L"key");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});
    refPtr<fieldInfo> first = addField(cls, L"first");
    refPtr<fieldInfo> second = addField(cls, L"second");
    first->addAliasname(L"second");
    second->addAliasname(L"id");

    EXPECT_EQ(cls->fieldInfo(L"second", true, true), second);
    EXPECT_EQ(cls->fieldInfo(L"id", true, true), second);
    EXPECT_NE(cls->fieldInfo(L"id", true, false), second);
    EXPECT_FALSE(cls->fieldInfo(L"key", false, true));
    EXPECT_FALSE(cls->fieldInfo(L"key", true, false));
    EXPECT_TRUE(cls->fieldInfo(L"key", true, true));
}

TEST_F(ClassFields, InheritedFieldsAreFoundThroughEveryLevelAsTheBaseObjects) {
    refPtr<classInfo> top = makeClass(L"Top");
    refPtr<fieldInfo> id = addField(top, L"id");
    refPtr<classInfo> middle = makeDerived(L"Middle", {top});
    refPtr<classInfo> bottom = makeDerived(L"Bottom", {middle});

    refPtr<fieldInfo> found = bottom->fieldInfo(L"ID", true, false);
    EXPECT_EQ(found, id);
    EXPECT_EQ(found->classInfo(), top);
    EXPECT_FALSE(bottom->fieldInfo(L"id", false, false));
}

TEST_F(ClassFields, OwnFieldsWinOverInheritedOnes) {
    refPtr<classInfo> base = makeClass(L"Base");
    addField(base, L"id");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});
    refPtr<fieldInfo> aliased = addField(cls, L"key");
    aliased->addAliasname(L"id");

    EXPECT_EQ(cls->fieldInfo(L"id", true, true), aliased);
}

TEST_F(ClassFields, EachBaseFoldsTheNameByItsOwnRule) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"Box", false);
    refPtr<classInfo> base = makeClass(L"Base");
    refPtr<fieldInfo> id = addField(base, L"Id");
    cls->addBaseClass(base);

    EXPECT_EQ(cls->fieldInfo(L"ID", true, false), id);
    cls->releaseInfo();
}

TEST_F(ClassFields, BasesAreSearchedDepthFirstInMapOrder) {
    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> cls = makeDerived(L"Box", {bases.back(), bases.front()});
    refPtr<classInfo> grand = makeClass(L"Grand");
    bases.front()->addBaseClass(grand);
    refPtr<fieldInfo> deep = addField(grand, L"x");
    addField(bases.back(), L"x");

    EXPECT_EQ(cls->fieldInfo(L"x", true, false), deep);
}

// ---- overriding fields ----

TEST_F(ClassFields, OverridingFieldTakesItsNameAndTypeFromABaseAtAnyDepth) {
    refPtr<classInfo> base = makeClass(L"Base");
    refPtr<fieldInfo> id = addField(base, L"id", eLong);
    refPtr<classInfo> cls = makeDerived(L"Box", {makeDerived(L"Middle", {base})});

    refPtr<fieldInfo> over = cls->createFieldInfo(base, L"ID");
    EXPECT_NE(over, id);
    EXPECT_EQ(over->sourceField(), id);
    EXPECT_EQ(over->classInfo(), cls);
    EXPECT_EQ(over->type(), eLong);
    EXPECT_EQ(cls->fieldInfo(L"id", true, false), over);
    EXPECT_EQ(fieldsOf(cls), std::vector<refPtr<fieldInfo>>{over});
}

TEST_F(ClassFields, OverridingTwiceAppendsTwoFieldsAndTheFirstIsFound) {
    refPtr<classInfo> base = makeClass(L"Base");
    addField(base, L"id");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});

    refPtr<fieldInfo> first = cls->createFieldInfo(base, L"id");
    refPtr<fieldInfo> again = cls->createFieldInfo(base, L"id");
    EXPECT_EQ(again, first);
    EXPECT_EQ(cls->countFields(), 2u);
}

TEST_F(ClassFields, OverridingIsRefusedSilentlyForForeignClassesAndUnknownFields) {
    refPtr<classInfo> base = makeClass(L"Base");
    addField(base, L"id");
    refPtr<classInfo> stranger = makeClass(L"Stranger");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});
    refPtr<classInfo> none;

    expectSilentThrow([&] { cls->createFieldInfo(stranger, L"id"); });
    expectSilentThrow([&] { cls->createFieldInfo(none, L"id"); });
    expectSilentThrow([&] { cls->createFieldInfo(cls, L"id"); });
    expectSilentThrow([&] { cls->createFieldInfo(base, L"missing"); });
    EXPECT_EQ(cls->countFields(), 0u);
}

// The override keeps the base's capitals, which this class's folded key
// never matches; the lookup then goes on to the base, whose rule finds its
// own field.
TEST_F(ClassFields, OverrideAcrossNameRulesIsAppendedButTheLookupAnswersTheBaseField) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> base = exact->createClassInfo(L"Base", false);
    refPtr<fieldInfo> id = addField(base, L"Id");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});

    EXPECT_EQ(cls->createFieldInfo(base, L"Id"), id);
    ASSERT_EQ(cls->countFields(), 1u);
    EXPECT_EQ(fieldsOf(cls)[0]->sourceField(), id);
}

}  // namespace
}  // namespace classtest
