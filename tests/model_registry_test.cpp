// The model: its name rule, class registration and replacement, and the
// class and field lookups.
#include "kymdlnamekey.h"
#include "test_support.h"

#include <array>

namespace kytest {
namespace {

class ModelRegistry : public modelTest {
protected:
    refPtr<classInfo> person = makeClass(L"Person");
    refPtr<fieldInfo> name = addField(person, L"Name", eString);
};

TEST_F(ModelRegistry, ModelFindsClassesByItsNameRule) {
    EXPECT_FALSE(model->caseSensitiveNames());
    EXPECT_EQ(person->scName().string(), L"person");
    EXPECT_EQ(model->classInfo(L"PERSON", false), person);
    EXPECT_EQ(std::as_const(*model).classInfo(L"pErSoN", false), person);
    EXPECT_FALSE(model->classInfo(L"Nobody", true));

    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"Person", false);
    EXPECT_TRUE(cls->caseSensitiveNames());
    EXPECT_EQ(exact->classInfo(L"Person", false), cls);
    EXPECT_FALSE(exact->classInfo(L"person", false));
    EXPECT_NE(exact->createClassInfo(L"person", false), cls);

    // Aliases are kept as written; a folding model finds them under any
    // case, a case-sensitive one only as written; field aliases never count.
    person->addAliasname(L"Human");
    name->addAliasname(L"title");
    cls->addAliasname(L"Human");

    EXPECT_FALSE(model->classInfo(L"human", false));
    EXPECT_EQ(model->classInfo(L"HUMAN", true), person);
    EXPECT_TRUE(exact->classInfo(L"Human", true));
    EXPECT_FALSE(exact->classInfo(L"human", true));
    std::vector<ky::string> aliases;
    person->getAliasnames(aliases);
    EXPECT_EQ(aliases, std::vector<ky::string>{L"Human"});
    EXPECT_EQ(model->fieldInfo(L"human", L"name", true), name);
    EXPECT_FALSE(model->fieldInfo(L"human", L"name", false));
    EXPECT_FALSE(model->fieldInfo(L"person", L"title", true));
}

// The old class's releaseInfo empties its fields and links but keeps its
// label, flags and aliases, and it takes new fields afterwards.
TEST_F(ModelRegistry, ReplacingEmptiesTheOldClass) {
    person->addBaseClass(makeClass(L"Being"));
    makeClass(L"Student", {person});
    person->setLabel(L"A person");
    person->setAbstract(true);
    person->addAliasname(L"human");
    refPtr<classInfo> fresh = model->createClassInfo(L"Person", true);

    EXPECT_NE(fresh, person);
    EXPECT_EQ(model->classInfo(L"person", false), fresh);
    EXPECT_TRUE(fieldsOf(person).empty());
    EXPECT_FALSE(name->classInfo());
    EXPECT_EQ(person->baseClasses_begin(), person->baseClasses_end());
    EXPECT_EQ(person->derivedClasses_begin(), person->derivedClasses_end());
    EXPECT_EQ(person->label(), L"A person");
    EXPECT_TRUE(person->isAbstract());
    EXPECT_TRUE(person->hasAliasname(ky::scString::createFrom(L"human")));
    refPtr<fieldInfo> height = addField(person, L"height");
    EXPECT_EQ(fieldsOf(person), std::vector<refPtr<fieldInfo>>{height});
    person->releaseInfo();  // the model no longer cuts the refilled class's links
}

// Many classes share probe runs of the name index; replacing some of them
// must leave every other one findable.
TEST_F(ModelRegistry, ReplacingClassesAmongManyKeepsEveryClassFindable) {
    std::vector<refPtr<classInfo>> current;
    for (int i = 0; i < 300; ++i) current.push_back(makeClass(L"C" + std::to_wstring(i)));
    for (int i = 0; i < 300; i += 3) current[i] = model->createClassInfo(L"c" + std::to_wstring(i), true);

    for (int i = 0; i < 300; ++i) ASSERT_EQ(model->classInfo(L"C" + std::to_wstring(i), false), current[i]) << i;
    EXPECT_EQ(model->classInfo(L"Person", false), person);
}

// Names too long for the index's slots are checked in the class, also
// after the index has grown past its first array.
TEST_F(ModelRegistry, LongNamesAreFoundAfterTheIndexGrew) {
    const ky::string stem(40, L'q');
    std::vector<refPtr<classInfo>> made;
    for (int i = 0; i < 200; ++i) made.push_back(makeClass(stem + std::to_wstring(i)));
    const modelInfo::readScope scope(*model);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(model->classInfo(stem + std::to_wstring(i), false), made[i]) << i;
        ASSERT_EQ(scope.classInfo(stem + std::to_wstring(i), false), made[i].get()) << i;
    }
    EXPECT_EQ(scope.classInfo(stem + L"200", false), nullptr);
}

// Short ASCII names go by their bytes (read four characters at a time, the
// last block from the name's last four), longer and other names by their
// characters: names of every length up to past the limit are found under
// any case, and told apart from names that differ in any one character.
ky::string upperOf(ky::string text) {
    for (wchar_t& c : text) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    return text;
}

// `length` characters, each position its own letter.
ky::string nameOfLength(std::size_t length) {
    ky::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 25);
    return text;
}

// The keys themselves: a name in capitals folds to the key of its lower
// case, and every name differs from each of its one-letter variants both in
// its key and in the comparison that confirms a hash match.
TEST(NameKey, FoldsAndTellsEveryCharacterApart) {
    namespace d = ky::metamodel::detail;
    for (std::size_t length = 1; length <= 26; ++length) {
        SCOPED_TRACE(length);
        const ky::string name = nameOfLength(length);
        const ky::string upper = upperOf(name);
        d::indexKey folded;
        const bool shortAscii = d::shortAsciiKey(upper.data(), length, true, folded);
        EXPECT_EQ(shortAscii, length <= 24);
        const d::indexKey lower = d::keyOf(name);
        if (shortAscii) {
            EXPECT_EQ(folded.hash, lower.hash);
        }
        EXPECT_TRUE(d::sameFolded(upper.data(), name.data(), length, true));
        EXPECT_FALSE(d::sameFolded(upper.data(), name.data(), length, false));
        for (std::size_t at = 0; at < length; ++at) {
            ky::string other = name;
            other[at] = L'z';
            const d::indexKey key = d::keyOf(other);
            if (shortAscii) {
                EXPECT_NE(std::to_array(key.words), std::to_array(lower.words)) << at;
            }
            EXPECT_NE(key.hash, lower.hash) << at;
            EXPECT_FALSE(d::sameFolded(other.data(), name.data(), length, true)) << at;
        }
    }
    // A character past ASCII is never narrowed into a short key.
    d::indexKey key;
    EXPECT_FALSE(d::shortAsciiKey(L"ab\u0161", 3, true, key));
    EXPECT_FALSE(d::shortAsciiKey(L"abcdefgh\u0100", 9, true, key));
    const wchar_t negative[] = {L'a', static_cast<wchar_t>(-1), L'b', L'c', L'd'};
    EXPECT_FALSE(d::shortAsciiKey(negative, 5, true, key));
}

TEST_F(ModelRegistry, NamesOfEveryLengthAndScriptAreFoundAndToldApart) {
    std::vector<ky::string> names;
    for (std::size_t length = 1; length <= 26; ++length) names.push_back(nameOfLength(length));
    names.push_back(ky::string(23, L'n') + L"\u00e4");
    names.push_back(L"Stra\u00dfe");
    names.push_back(L"\u03a3\u03af\u03c3\u03c5\u03c6\u03bf\u03c2");
    std::vector<refPtr<classInfo>> made;
    for (const ky::string& name : names) made.push_back(makeClass(name));
    const modelInfo::readScope scope(*model);
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(names[i].toUtf8());
        EXPECT_EQ(model->classInfo(upperOf(names[i]), false), made[i]);
        EXPECT_EQ(scope.classInfo(upperOf(names[i]), false), made[i].get());
        for (std::size_t at = 0; at < names[i].size(); ++at) {
            ky::string other = names[i];
            other[at] = L'z';
            EXPECT_EQ(scope.classInfo(other, false), nullptr) << at;
        }
    }
    EXPECT_FALSE(model->classInfo(ky::string(23, L'n'), false));

    // A case-sensitive model compares short names as written.
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"OrderLine", false);
    const modelInfo::readScope exactScope(*exact);
    EXPECT_EQ(exactScope.classInfo(L"OrderLine", false), cls.get());
    EXPECT_EQ(exactScope.classInfo(L"orderline", false), nullptr);
}

// A class's own fields go by the same keys, in a class small enough to scan
// and in one large enough to keep a table of its names.
TEST_F(ModelRegistry, FieldNamesOfEveryLengthAreFoundAndToldApart) {
    for (const std::size_t filler : {0, 70}) {
        SCOPED_TRACE(filler);
        refPtr<classInfo> cls = makeClass(L"Holder" + std::to_wstring(filler));
        for (std::size_t i = 0; i < filler; ++i) addField(cls, L"filler" + std::to_wstring(i));
        std::vector<ky::string> names;
        for (std::size_t length = 1; length <= 26; ++length) names.push_back(nameOfLength(length));
        names.push_back(L"Stra\u00dfe");
        std::vector<refPtr<fieldInfo>> made;
        for (const ky::string& name : names) made.push_back(addField(cls, name));
        const modelInfo::readScope scope(*model);
        for (std::size_t i = 0; i < made.size(); ++i) {
            SCOPED_TRACE(names[i].toUtf8());
            EXPECT_EQ(cls->fieldInfo(upperOf(names[i]), false, false), made[i]);
            EXPECT_EQ(scope.fieldInfo(cls->scName().string(), upperOf(names[i]), false), made[i].get());
            for (std::size_t at = 0; at < names[i].size(); ++at) {
                ky::string other = names[i];
                other[at] = L'z';
                EXPECT_FALSE(cls->fieldInfo(other, false, false)) << at;
            }
        }
    }
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"Line", false);
    refPtr<fieldInfo> field = cls->createFieldInfo(L"UnitPrice", eDouble, {}, {});
    EXPECT_EQ(cls->fieldInfo(L"UnitPrice", false, false), field);
    EXPECT_FALSE(cls->fieldInfo(L"unitprice", false, false));
}

// A qualified name splits at its first dot.
TEST_F(ModelRegistry, FieldsAreFoundByQualifiedName) {
    refPtr<fieldInfo> age = addField(makeClass(L"Being"), L"age");
    person->addBaseClass(model->classInfo(L"being", false));
    refPtr<fieldInfo> bc = addField(makeClass(L"a"), L"b.c");

    EXPECT_EQ(model->fieldInfo(L"PERSON", L"NAME", false), name);
    EXPECT_EQ(std::as_const(*model).fieldInfo(L"person", L"name", false), name);
    EXPECT_EQ(model->fieldInfo(L"person", L"age", true), age);
    EXPECT_FALSE(model->fieldInfo(L"person", L"age", false));
    EXPECT_FALSE(model->fieldInfo(L"nobody", L"name", true));
    EXPECT_EQ(model->fieldInfo(L"Person.Name", false), name);
    EXPECT_EQ(std::as_const(*model).fieldInfo(L"PERSON.AGE", true), age);
    EXPECT_EQ(model->fieldInfo(L"a.b.c", false), bc);
    for (const wchar_t* miss : {L"abc", L"Person.", L".Name", L"Person.Nobody", L"Person.age"})
        EXPECT_FALSE(model->fieldInfo(miss, false)) << ky::string(miss).toUtf8();
}

}  // namespace
}  // namespace kytest
