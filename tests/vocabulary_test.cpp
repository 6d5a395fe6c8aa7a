// The facts the metamodel hands to its companions so that none of them has
// to re-derive one: whether a default is stored, a string's length along the
// source chain, which types take items, the attribute keys, and how a
// lookup matched.
#include "test_support.h"

namespace kytest {
namespace {

using Vocabulary = fieldTest;

ky::genericSet withLength(int length) {
    ky::genericSet attribs;
    attribs.setValue(ky::scString::createFrom(keys::length), length, true);
    return attribs;
}

TEST_F(Vocabulary, ClockDefaultOfADateFieldIsNoStoredDefault) {
    refPtr<fieldInfo> when = make(L"when", eDate);
    EXPECT_FALSE(when->hasStoredDefault(true));
}

TEST_F(Vocabulary, StoredDefaultEqualToTheTypeDefaultIsStillStored) {
    refPtr<fieldInfo> count = make(L"count", eInt);
    count->setDefaultValue(ky::genericValue::create(0));
    EXPECT_TRUE(count->hasStoredDefault(false));
}

TEST_F(Vocabulary, StoredDefaultOfTheSourceCountsOnlyWhenSearching) {
    make(L"count", eInt)->setDefaultValue(ky::genericValue::create(3));
    refPtr<fieldInfo> over = referring(L"count");
    EXPECT_FALSE(over->hasStoredDefault(false));
    EXPECT_TRUE(over->hasStoredDefault(true));
}

// A copy stores the clock's date in place of a missing default, yet that
// is no default of the host's.
TEST_F(Vocabulary, TypeDefaultACopyFillsInIsNoStoredDefault) {
    refPtr<fieldInfo> copy = makeClass(L"shelf")->copyFieldInfoFrom(make(L"when", eDate), L"");
    ky::genericValue stored;
    EXPECT_TRUE(copy->getDefaultValue(stored, false));
    EXPECT_FALSE(copy->hasStoredDefault(false));
}

TEST_F(Vocabulary, CopyOfAStoredDefaultIsStored) {
    refPtr<fieldInfo> count = make(L"count", eInt);
    count->setDefaultValue(ky::genericValue::create(5));
    EXPECT_TRUE(makeClass(L"shelf")->copyFieldInfoFrom(count, L"")->hasStoredDefault(false));
}

TEST_F(Vocabulary, StringLengthComesFromTheSourceOfAnOverridingField) {
    box->createFieldInfo(L"title", eString, withLength(40), L"");
    EXPECT_EQ(referring(L"title")->stringLength(), 40u);
}

TEST_F(Vocabulary, StringLengthIsZeroWithoutOrWithANonPositiveLength) {
    EXPECT_EQ(make(L"plain", eString)->stringLength(), 0u);
    EXPECT_EQ(box->createFieldInfo(L"odd", eString, withLength(-2), L"")->stringLength(), 0u);
}

// The rule the companions ask is the very rule setSemantic applies.
TEST_F(Vocabulary, TakesItemsAgreesWithSetSemanticForEveryType) {
    const eFieldType types[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime,
                                eTimestamp, eBinary, eDirectory, eFile, eSearchPath, eCustom};
    assertCatcher quiet;
    for (const eFieldSemantics semantic : {eSemEnum, eSemBits}) {
        for (const eFieldType type : types) {
            refPtr<fieldInfo> f = make(L"f" + std::to_wstring(type) + L"_" + std::to_wstring(semantic), type);
            f->setSemantic(semantic, enumItems(), L"");
            EXPECT_EQ(f->semantic() == semantic, fieldInfo::takesItems(semantic, type))
                << "type " << type << ", semantic " << semantic;
        }
    }
}

TEST_F(Vocabulary, NoOtherSemanticTakesItems) {
    EXPECT_FALSE(fieldInfo::takesItems(eSemLength, eInt));
    EXPECT_FALSE(fieldInfo::takesItems(eSemCustom, eString));
}

TEST_F(Vocabulary, SemanticKeysAreTheOnesParseSemanticsWrites) {
    eFieldSemantics semantic = eSemNone;
    ky::genericSet relation, custom;
    fieldInfo::parseSemantics(L"relation(a)", semantic, relation);
    fieldInfo::parseSemantics(L"custom(x)", semantic, custom);
    std::vector<ky::string> names;
    ky::string text;
    EXPECT_TRUE(relation.getValue(ky::scString::createFrom(keys::referencedClasses), names));
    EXPECT_TRUE(custom.getValue(ky::scString::createFrom(keys::customSemantic), text));
    EXPECT_EQ(ky::string(fieldInfo::referencedClasses()), ky::string(keys::referencedClasses));
}

// box has "width" (alias "w"); crate, derived from box, has "depth" (alias
// "d") and an own field "size" whose alias is "width".
class FieldLookupMatch : public fieldTest {
protected:
    FieldLookupMatch() {
        make(L"width", eInt)->addAliasname(L"w");
        addField(crate, L"depth")->addAliasname(L"d");
        addField(crate, L"size")->addAliasname(L"width");
    }
    eNameMatch how(const ky::string& name, bool bases, bool aliases) const {
        eNameMatch match = eOwnName;
        ky::const_refPtr<classInfo> c(crate.get());
        c->fieldInfo(name, bases, aliases, match);
        return match;
    }
};

TEST_F(FieldLookupMatch, TellsOwnNameOwnAliasBaseNameBaseAlias) {
    EXPECT_EQ(how(L"depth", true, true), eOwnName);
    EXPECT_EQ(how(L"d", true, true), eOwnAlias);
    EXPECT_EQ(how(L"w", true, true), eBaseAlias);
    EXPECT_EQ(how(L"width", true, false), eBaseName);
}

TEST_F(FieldLookupMatch, OwnAliasIsFoundBeforeTheBaseName) {
    eNameMatch match = eNoMatch;
    ky::const_refPtr<classInfo> c(crate.get());
    EXPECT_EQ(c->fieldInfo(L"width", true, true, match)->scName(), ky::scString::createFrom(L"size"));
    EXPECT_EQ(match, eOwnAlias);
}

TEST_F(FieldLookupMatch, MissIsNoMatch) {
    EXPECT_EQ(how(L"w", false, false), eNoMatch);
}

class ModelLookup : public FieldLookupMatch {
protected:
    ModelLookup() { crate->addAliasname(L"chest"); }
    modelInfo::lookupResult find(const ky::string& name, bool aliases = true, bool bases = true) const {
        return ky::const_refPtr<modelInfo>(model.get())->lookup(name, aliases, bases);
    }
};

TEST_F(ModelLookup, ClassByNameAndByAlias) {
    EXPECT_EQ(find(L"crate").classMatch, eOwnName);
    EXPECT_EQ(find(L"chest").cls->scName(), crate->scName());
    EXPECT_EQ(find(L"chest").classMatch, eOwnAlias);
    EXPECT_FALSE(find(L"chest", false).cls);
}

TEST_F(ModelLookup, ClassAloneAsksForNoField) {
    const modelInfo::lookupResult found = find(L"crate");
    EXPECT_FALSE(found.qualified);
    EXPECT_EQ(found.fieldMatch, eNoMatch);
}

TEST_F(ModelLookup, FieldOfABaseThroughTheClassAlias) {
    const modelInfo::lookupResult found = find(L"chest.w");
    EXPECT_EQ(found.field->qualifiedName(), L"box.width");
    EXPECT_EQ(found.fieldMatch, eBaseAlias);
}

TEST_F(ModelLookup, MissingFieldKeepsTheClass) {
    const modelInfo::lookupResult found = find(L"crate.height");
    EXPECT_TRUE(found.qualified);
    EXPECT_TRUE(found.cls);
    EXPECT_FALSE(found.field);
}

TEST_F(ModelLookup, FieldPartIsSplitAtTheFirstDot) {
    EXPECT_FALSE(find(L"crate.depth.x").field);
    EXPECT_FALSE(find(L"nothing.depth").cls);
}

}  // namespace
}  // namespace kytest
