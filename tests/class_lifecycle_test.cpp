// A class's life: its log lines, the name rule it is born with, releaseInfo
// and what survives it, the abstract mark and the closing flag.
#include "class_test_support.h"

namespace classtest {
namespace {

using ClassLifecycle = classFixture;

TEST_F(ClassLifecycle, CreationLogsTheNameAsWrittenAndInternsItFolded) {
    logCapture log;
    refPtr<classInfo> cls = makeClass(L"Person");

    ASSERT_EQ(log.lines().size(), 1u);
    const kylog::logRecord& line = log.lines().front();
    EXPECT_EQ(line.lvl, kylog::level::trace);
    EXPECT_EQ(line.logger, L"ky::metamodel::classInfo::classInfo");
    EXPECT_EQ(line.function, L"ky::metamodel::classInfo::classInfo");
    EXPECT_EQ(line.message, L"classInfo created: \"Person\"");
    EXPECT_EQ(line.file, classFile);
    EXPECT_EQ(line.line, 162);
    EXPECT_EQ(cls->scName().string(), L"person");
    EXPECT_FALSE(cls->caseSensitiveNames());
    EXPECT_EQ(cls->refCount(), 2u);  // the caller's and the fixture's
}

TEST_F(ClassLifecycle, DroppingTheLastReferenceLogsReleaseThenReleaseInfoWithTheLabel) {
    refPtr<classInfo> cls = classInfo::createClassInfo(L"Box");
    cls->setLabel(L"A box");
    logCapture log;
    cls = nullptr;

    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].message, L"classInfo released: \"A box\"");
    EXPECT_EQ(log.lines()[0].logger, L"ky::metamodel::classInfo::~classInfo");
    EXPECT_EQ(log.lines()[0].line, 192);
    EXPECT_EQ(log.lines()[1].message, L"classInfo releaseInfo called: \"A box\"");
    EXPECT_EQ(log.lines()[1].logger, L"ky::metamodel::classInfo::releaseInfo");
    EXPECT_EQ(log.lines()[1].line, 207);
    EXPECT_EQ(log.lines()[1].lvl, kylog::level::trace);
}

TEST_F(ClassLifecycle, LinesBelowTheHostLevelAreNotWritten) {
    logCapture log;
    kylog::logManager::setLevel(kylog::level::debug);
    makeClass(L"Quiet");
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ClassLifecycle, ReleaseInfoEmptiesFieldsAndLinksButKeepsAnnotations) {
    refPtr<classInfo> base = makeClass(L"Base");
    refPtr<classInfo> cls = makeDerived(L"Box", {base});
    refPtr<classInfo> derived = makeDerived(L"Crate", {cls});
    refPtr<fieldInfo> width = addField(cls, L"width");
    cls->setLabel(L"A box");
    cls->setAbstract(true);
    cls->addAliasname(L"carton");
    cls->setUserProperty(L"colour", ky::string(L"red"), false);

    cls->releaseInfo();

    EXPECT_EQ(cls->countFields(), 0u);
    EXPECT_TRUE(cls->baseClasses_begin() == cls->baseClasses_end());
    EXPECT_TRUE(cls->derivedClasses_begin() == cls->derivedClasses_end());
    EXPECT_FALSE(width->classInfo());
    EXPECT_EQ(cls->label(), L"A box");
    EXPECT_TRUE(cls->isAbstract());
    EXPECT_TRUE(cls->hasAliasname(ky::scString::createFrom(L"carton")));
    ky::string colour;
    EXPECT_TRUE(cls->getUserProperty(L"colour", colour, false));
    EXPECT_EQ(colour, L"red");
}

TEST_F(ClassLifecycle, AnEmptiedClassTakesNewFields) {
    refPtr<classInfo> cls = makeClass(L"Box");
    addField(cls, L"width");
    cls->releaseInfo();

    refPtr<fieldInfo> height = addField(cls, L"height");
    EXPECT_EQ(cls->countFields(), 1u);
    EXPECT_EQ(height->classInfo(), cls);
}

TEST_F(ClassLifecycle, ReleaseInfoFreesAStandaloneClassWithItsFields) {
    logCapture log;
    {
        refPtr<classInfo> cls = classInfo::createClassInfo(L"Box");
        addField(cls, L"width");
        addField(cls, L"height");
        cls->releaseInfo();
    }
    EXPECT_EQ(log.count(L"classInfo released: \"\""), 1u);
    EXPECT_EQ(log.count(L"fieldInfo released: \"\""), 2u);
}

TEST_F(ClassLifecycle, ReleaseInfoCutsThePointerFieldOfAnIncomingRelation) {
    refPtr<classInfo> customer = makeClass(L"Customer");
    refPtr<classInfo> order = makeClass(L"Order");
    addField(order, L"buyer");
    refPtr<relationInfo> relation = order->createRelation(L"buyer", false, customer, eRef, L"", L"");
    refPtr<fieldInfo> pointer = relation->fieldRelations().front().second;
    ASSERT_EQ(pointer->classInfo(), customer);

    order->releaseInfo();
    EXPECT_EQ(pointer->classInfo(), customer);
    customer->releaseInfo();
    EXPECT_FALSE(pointer->classInfo());
}

TEST_F(ClassLifecycle, ClassesJoinedByARelationAreFreedAfterReleaseInfo) {
    logCapture log;
    {
        refPtr<classInfo> customer = classInfo::createClassInfo(L"Customer");
        refPtr<classInfo> order = classInfo::createClassInfo(L"Order");
        addField(order, L"buyer");
        order->createRelation(L"buyer", false, customer, eRef, L"", L"");
        order->releaseInfo();
        customer->releaseInfo();
    }
    EXPECT_EQ(log.count(L"classInfo released: \"\""), 2u);
    EXPECT_EQ(log.count(L"fieldInfo released: \"\""), 2u);  // buyer and the pointer field
}

TEST_F(ClassLifecycle, AFieldEntryEmptiedByTheHostIsPassedOverOnRelease) {
    logCapture log;
    {
        refPtr<classInfo> cls = classInfo::createClassInfo(L"Box");
        addField(cls, L"width");
        refPtr<fieldInfo> height = addField(cls, L"height");
        *cls->fields_begin() = nullptr;
        cls->releaseInfo();
        EXPECT_FALSE(height->classInfo());
    }
    EXPECT_EQ(log.count(L"classInfo released: \"\""), 1u);
    EXPECT_EQ(log.count(L"fieldInfo released: \"\""), 2u);
}

TEST_F(ClassLifecycle, ReleaseInfoDropsTheCachedIdentity) {
    refPtr<classInfo> cls = makeClass(L"Box");
    makeKey(addField(cls, L"id"));
    refPtr<idInfo> before = cls->idInfo();
    cls->releaseInfo();
    makeKey(addField(cls, L"id"));

    EXPECT_NE(cls->idInfo(), before);
}

TEST_F(ClassLifecycle, LabelAndAbstractMarkAreOwnState) {
    refPtr<classInfo> cls = makeClass(L"Box");
    EXPECT_EQ(cls->label(), L"");
    EXPECT_FALSE(cls->isAbstract());

    cls->setLabel(cls->label() + L"Box");
    cls->setLabel(cls->label());
    cls->setAbstract(true);
    EXPECT_EQ(cls->label(), L"Box");
    EXPECT_TRUE(cls->isAbstract());
    cls->setAbstract(false);
    EXPECT_FALSE(cls->isAbstract());
}

TEST(ClassClosingFlag, IsOnlyRecorded) {
    EXPECT_FALSE(classInfo::isClosing());
    classInfo::setIsClosing(true);
    EXPECT_TRUE(classInfo::isClosing());
    classInfo::setIsClosing(false);
    EXPECT_FALSE(classInfo::isClosing());
}

}  // namespace
}  // namespace classtest
