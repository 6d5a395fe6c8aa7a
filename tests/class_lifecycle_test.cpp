// A class's life: its log lines, the name rule it is born with, releaseInfo
// and what survives it.
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

    refPtr<fieldInfo> height = addField(cls, L"height");
    EXPECT_EQ(fieldsOf(cls), std::vector<refPtr<fieldInfo>>{height});
}

// The pointer field of a relation towards a class is in no field list, so
// only the target class's releaseInfo can cut its link back.
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

// A standalone class and its fields are freed once releaseInfo has cut
// their links, even when the host emptied one of the list's entries.
TEST_F(ClassLifecycle, ReleaseInfoFreesAStandaloneClassAndPassesOverEmptiedEntries) {
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

}  // namespace
}  // namespace classtest
