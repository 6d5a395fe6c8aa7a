// The model: its name rule, class registration and replacement, the class
// and field lookups, and what its destruction frees.
#include "class_test_support.h"

namespace classtest {
namespace {

class ModelRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        model = modelInfo::createModelInfo(false);
        person = model->createClassInfo(L"Person", false);
        name = person->createFieldInfo(L"Name", eString, ky::genericSet(), L"");
    }

    refPtr<modelInfo> model;
    refPtr<classInfo> person;
    refPtr<fieldInfo> name;
};

TEST_F(ModelRegistry, CreationIsLoggedAndKeepsTheNameRule) {
    logCapture log;
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].message, L"modelInfo created");
    EXPECT_EQ(log.lines()[0].logger, L"ky::metamodel::modelInfo::modelInfo");
    EXPECT_EQ(log.lines()[0].file, modelFile);
    EXPECT_EQ(log.lines()[0].line, 20);
    EXPECT_EQ(log.lines()[0].lvl, kylog::level::trace);
    EXPECT_TRUE(exact->caseSensitiveNames());
    EXPECT_FALSE(model->caseSensitiveNames());
    EXPECT_EQ(exact->refCount(), 1u);
}

TEST_F(ModelRegistry, FoldingModelFindsClassesWhateverTheCase) {
    EXPECT_EQ(person->scName().string(), L"person");
    EXPECT_EQ(model->classInfo(L"PERSON", false), person);
    const modelInfo& view = *model;
    EXPECT_EQ(view.classInfo(L"pErSoN", false), person);
    EXPECT_FALSE(model->classInfo(L"Nobody", true));
}

TEST_F(ModelRegistry, CaseSensitiveModelComparesAsWritten) {
    refPtr<modelInfo> exact = modelInfo::createModelInfo(true);
    refPtr<classInfo> cls = exact->createClassInfo(L"Person", false);

    EXPECT_TRUE(cls->caseSensitiveNames());
    EXPECT_EQ(exact->classInfo(L"Person", false), cls);
    EXPECT_FALSE(exact->classInfo(L"person", false));
}

TEST_F(ModelRegistry, AliasesAreSearchedOnlyOnRequest) {
    person->addAliasname(L"human");

    EXPECT_FALSE(model->classInfo(L"human", false));
    EXPECT_EQ(model->classInfo(L"HUMAN", true), person);
    EXPECT_EQ(model->fieldInfo(L"human", L"name", true), name);
    EXPECT_FALSE(model->fieldInfo(L"human", L"name", false));
}

TEST_F(ModelRegistry, RegisteringANameTwiceIsRefusedSilently) {
    logCapture log;
    expectSilentThrow([&] { model->createClassInfo(L"PERSON", false); });

    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(model->classInfo(L"person", false), person);
    EXPECT_EQ(person->countFields(), 1u);
}

TEST_F(ModelRegistry, ReplacingEmptiesTheOldClassAndRegistersANewOne) {
    refPtr<classInfo> base = model->createClassInfo(L"Being", false);
    person->addBaseClass(base);

    refPtr<classInfo> fresh = model->createClassInfo(L"Person", true);

    EXPECT_NE(fresh, person);
    EXPECT_EQ(model->classInfo(L"person", false), fresh);
    EXPECT_EQ(person->countFields(), 0u);
    EXPECT_TRUE(person->baseClasses_begin() == person->baseClasses_end());
    EXPECT_FALSE(name->classInfo());
}

// Many classes share probe runs of the name index; replacing some of them
// must leave every other one findable.
TEST_F(ModelRegistry, ReplacingClassesAmongManyKeepsEveryClassFindable) {
    std::vector<refPtr<classInfo>> current;
    for (int i = 0; i < 300; ++i) current.push_back(model->createClassInfo(L"C" + std::to_wstring(i), false));
    for (int i = 0; i < 300; i += 3) current[i] = model->createClassInfo(L"c" + std::to_wstring(i), true);

    for (int i = 0; i < 300; ++i) ASSERT_EQ(model->classInfo(L"C" + std::to_wstring(i), false), current[i]) << i;
    EXPECT_EQ(model->classInfo(L"Person", false), person);
}

TEST_F(ModelRegistry, FieldsAreFoundByClassAndFieldName) {
    refPtr<classInfo> being = model->createClassInfo(L"Being", false);
    refPtr<fieldInfo> age = being->createFieldInfo(L"age", eInt, ky::genericSet(), L"");
    person->addBaseClass(being);
    const modelInfo& view = *model;

    EXPECT_EQ(model->fieldInfo(L"PERSON", L"NAME", false), name);
    EXPECT_EQ(view.fieldInfo(L"person", L"name", false), name);
    EXPECT_EQ(model->fieldInfo(L"person", L"age", true), age);
    EXPECT_FALSE(model->fieldInfo(L"person", L"age", false));
    EXPECT_FALSE(model->fieldInfo(L"nobody", L"name", true));
    name->addAliasname(L"title");
    EXPECT_FALSE(model->fieldInfo(L"person", L"title", true));
}

TEST_F(ModelRegistry, QualifiedNamesSplitAtTheFirstDot) {
    refPtr<classInfo> a = model->createClassInfo(L"a", false);
    refPtr<fieldInfo> bc = a->createFieldInfo(L"b.c", eInt, ky::genericSet(), L"");
    const modelInfo& view = *model;

    EXPECT_EQ(model->fieldInfo(L"Person.Name", false), name);
    EXPECT_EQ(view.fieldInfo(L"PERSON.NAME", false), name);
    EXPECT_EQ(model->fieldInfo(L"a.b.c", false), bc);
    EXPECT_FALSE(model->fieldInfo(L"abc", false));
    EXPECT_FALSE(model->fieldInfo(L"Person.", false));
    EXPECT_FALSE(model->fieldInfo(L".Name", false));
    EXPECT_FALSE(model->fieldInfo(L"Person.Nobody", false));
}

TEST_F(ModelRegistry, DestructionLogsBeforeEmptyingTheClassesAndHeldClassesSurviveEmptied) {
    logCapture log;
    model = nullptr;

    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines()[0].message, L"modelInfo released");
    EXPECT_EQ(log.lines()[0].logger, L"ky::metamodel::modelInfo::~modelInfo");
    EXPECT_EQ(log.lines()[0].line, 29);
    EXPECT_EQ(log.count(L"classInfo releaseInfo called: \"\""), 1u);
    EXPECT_EQ(log.count(L"classInfo released: \"\""), 0u);
    EXPECT_EQ(person->countFields(), 0u);
    EXPECT_FALSE(name->classInfo());
}

TEST_F(ModelRegistry, DestructionFreesEveryClassFieldAndHostObject) {
    const int objectsBefore = hostObject::live();
    refPtr<classInfo> order = model->createClassInfo(L"Order", false);
    order->createFieldInfo(L"buyer", eInt, ky::genericSet(), L"");
    refPtr<classInfo> vip = model->createClassInfo(L"Vip", false);
    vip->addBaseClass(person);
    vip->createFieldInfo(person, L"name");
    vip->setUserProperty(L"o", ky::refPtr<ky::refObj>(new hostObject()), true);
    name->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    person->idInfo();
    order->createRelation(L"buyer", false, person, eRef, L"", L"");
    order = nullptr;
    vip = nullptr;
    person = nullptr;
    name = nullptr;

    logCapture log;
    model = nullptr;
    EXPECT_EQ(log.count(L"classInfo released: \"\""), 3u);
    EXPECT_EQ(log.count(L"fieldInfo released: \"\""), 4u);  // name, buyer, the override, "PTR"
    EXPECT_EQ(hostObject::live(), objectsBefore);
}

}  // namespace
}  // namespace classtest
