// The model: its name rule, class registration and replacement, and the
// class and field lookups.
#include "test_support.h"

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

// Short ASCII names are compared where the index keeps them (in words of
// eight bytes), longer and other names in the class: both kinds are found
// under any case and told apart from names that share all but their last
// character, at each word's edge and at the index's limit.
TEST_F(ModelRegistry, NamesOfEveryLengthAndScriptAreFoundAndToldApart) {
    std::vector<ky::string> names;
    for (std::size_t length : {1, 8, 9, 16, 17, 24, 25}) {
        names.push_back(ky::string(length - 1, L'n') + L"a");
        names.push_back(ky::string(length - 1, L'n') + L"b");
    }
    names.push_back(ky::string(23, L'n') + L"\u00e4");
    names.push_back(L"Stra\u00dfe");
    names.push_back(L"\u03a3\u03af\u03c3\u03c5\u03c6\u03bf\u03c2");
    const auto upper = [](ky::string text) {
        for (wchar_t& c : text) c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
        return text;
    };
    std::vector<refPtr<classInfo>> made;
    for (const ky::string& name : names) made.push_back(makeClass(name));
    const modelInfo::readScope scope(*model);
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(names[i].toUtf8());
        EXPECT_EQ(model->classInfo(upper(names[i]), false), made[i]);
        EXPECT_EQ(scope.classInfo(names[i], false), made[i].get());
        const ky::string sibling = names[i].substr(0, names[i].size() - 1) + L"c";
        EXPECT_EQ(scope.classInfo(sibling, false), nullptr);
    }
    EXPECT_FALSE(model->classInfo(ky::string(23, L'n'), false));

    // A case-sensitive model compares short names as written.
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"OrderLine", false);
    const modelInfo::readScope exactScope(*exact);
    EXPECT_EQ(exactScope.classInfo(L"OrderLine", false), cls.get());
    EXPECT_EQ(exactScope.classInfo(L"orderline", false), nullptr);
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
