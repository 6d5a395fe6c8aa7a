// A class's fields: the name rule, the ordinary and the overriding creator,
// and the lookup order over names, aliases and base classes.
#include "test_support.h"

namespace kytest {
namespace {

using ClassFields = modelTest;

// Short ASCII names, long names and non-ASCII names fold alike.
TEST_F(ClassFields, FoldingClassFindsFieldsWhateverTheCase) {
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
    street->addAliasname(L"G\u00e4\u00dfchen");
    EXPECT_EQ(cls->fieldInfo(L"G\u00c4\u00dfCHEN", false, true), street);
    EXPECT_FALSE(cls->fieldInfo(L"G\u00c4\u00dfCHEN", false, false));
}

// A class of many fields finds them through a table of its own once a scan
// would be slow; it grows that table several times on the way to 1,000.
TEST_F(ClassFields, ClassOfManyFieldsFindsEachOnceAndMissesOthers) {
    refPtr<classInfo> cls = makeClass(L"Wide");
    std::vector<refPtr<fieldInfo>> made;
    for (int i = 0; i < 1000; ++i) made.push_back(addField(cls, ky::string::sformat(L"Field%d", i)));

    for (int i = 0; i < 1000; i += 37)
        EXPECT_EQ(cls->fieldInfo(ky::string::sformat(L"FIELD%d", i), false, false), made[static_cast<std::size_t>(i)]);
    EXPECT_EQ(cls->fieldInfo(L"field999", false, false), made.back());
    EXPECT_FALSE(cls->fieldInfo(L"field1000", false, false));
    EXPECT_EQ(addField(cls, L"field500"), made[500]);
    EXPECT_EQ(cls->countFields(), 1000u);
}

// Own names, then own aliases, then (only on request) the bases, where each
// base folds the name by its own rule; this class keeps capitals apart.
TEST_F(ClassFields, LookupOrderIsOwnNamesThenOwnAliasesThenBases) {
    refPtr<fieldInfo> id = addField(makeClass(L"Base"), L"id");
    id->addAliasname(L"key");
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"Box", false);
    cls->addBaseClass(id->classInfo());
    refPtr<fieldInfo> first = addField(cls, L"first");
    refPtr<fieldInfo> second = addField(cls, L"second");
    refPtr<fieldInfo> upper = addField(cls, L"Name");
    first->addAliasname(L"second");
    second->addAliasname(L"id");

    EXPECT_NE(addField(cls, L"name"), upper);
    EXPECT_EQ(cls->fieldInfo(L"Name", false, false), upper);
    EXPECT_FALSE(cls->fieldInfo(L"NAME", false, false));
    EXPECT_EQ(cls->fieldInfo(L"second", true, true), second);
    EXPECT_EQ(cls->fieldInfo(L"id", true, true), second);
    EXPECT_EQ(cls->fieldInfo(L"ID", true, false), id);
    EXPECT_FALSE(cls->fieldInfo(L"key", false, true));
    EXPECT_FALSE(cls->fieldInfo(L"key", true, false));
    EXPECT_EQ(cls->fieldInfo(L"key", true, true), id);
}

TEST_F(ClassFields, BasesAreSearchedDepthFirstInMapOrder) {
    const auto bases = inMapOrder({makeClass(L"Left"), makeClass(L"Right")});
    refPtr<classInfo> cls = makeClass(L"Box", {bases.back(), bases.front()});
    refPtr<classInfo> grand = makeClass(L"Grand");
    bases.front()->addBaseClass(grand);
    refPtr<fieldInfo> deep = addField(grand, L"x");
    addField(bases.back(), L"x");

    EXPECT_EQ(cls->fieldInfo(L"X", true, false), deep);
    EXPECT_FALSE(cls->fieldInfo(L"x", false, false));
}

// Creating a name the class or a base knows answers that field unchanged; an
// override is appended on every call, and the first one answers.
TEST_F(ClassFields, OverrideTakesNameAndTypeFromABaseAtAnyDepth) {
    refPtr<classInfo> base = makeClass(L"Base");
    refPtr<fieldInfo> id = addField(base, L"id", eLong);
    refPtr<classInfo> cls = makeClass(L"Box", {makeClass(L"Middle", {base})});
    refPtr<fieldInfo> width = addField(cls, L"width", eInt);
    EXPECT_EQ(addField(cls, L"WIDTH", eString), width);
    EXPECT_EQ(width->type(), eInt);
    EXPECT_EQ(addField(cls, L"id"), id);
    EXPECT_EQ(fieldsOf(cls), std::vector<refPtr<fieldInfo>>{width});

    refPtr<fieldInfo> over = cls->createFieldInfo(base, L"ID");
    EXPECT_NE(over, id);
    EXPECT_EQ(over->sourceField(), id);
    EXPECT_EQ(over->classInfo(), cls);
    EXPECT_EQ(over->type(), eLong);
    EXPECT_EQ(cls->fieldInfo(L"id", true, false), over);
    EXPECT_EQ(cls->createFieldInfo(base, L"id"), over);
    EXPECT_EQ(cls->countFields(), 3u);
}

// The override would keep the base's capitals, which this class's folded
// key never finds again: the call is refused and nothing is appended.
TEST_F(ClassFields, OverrideOfACapitalisedNameInAFoldingClassIsRefusedUnchanged) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> base = exact->createClassInfo(L"Base", false);
    addField(base, L"Id");
    refPtr<classInfo> cls = makeClass(L"Box", {base});

    expectThrow([&] { cls->createFieldInfo(base, L"Id"); });
    EXPECT_EQ(cls->countFields(), 0u);
}

}  // namespace
}  // namespace kytest
