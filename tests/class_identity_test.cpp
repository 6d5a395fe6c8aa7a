// A class's primary-key fields and its cached identity across changes.
#include "class_test_support.h"

namespace classtest {
namespace {

class ClassIdentity : public classFixture {
protected:
    void SetUp() override {
        cls = makeClass(L"Box");
        id = addField(cls, L"id");
        code = addField(cls, L"code");
    }

    refPtr<classInfo> cls;
    refPtr<fieldInfo> id;
    refPtr<fieldInfo> code;
};

TEST_F(ClassIdentity, OwnIdFieldsAreAppendedInFieldOrder) {
    makeKey(code);
    makeKey(id);
    refPtr<fieldInfo> earlier = addField(makeClass(L"Other"), L"x");
    std::vector<refPtr<fieldInfo>> out{earlier};

    cls->getIdFieldInfos(out);
    EXPECT_EQ(out, (std::vector<refPtr<fieldInfo>>{earlier, id, code}));

    std::vector<refPtr<fieldInfo>> inherited;
    makeDerived(L"Crate", {cls})->getIdFieldInfos(inherited);
    EXPECT_TRUE(inherited.empty());
}

TEST_F(ClassIdentity, TheSameIdentityIsAnsweredUntilTheKeyChanges) {
    makeKey(id);
    refPtr<idInfo> first = cls->idInfo();

    EXPECT_EQ(cls->idInfo(), first);
    EXPECT_EQ(first->fieldInfos(), std::vector<refPtr<fieldInfo>>{id});
    EXPECT_EQ(first->classInfo(), cls);
}

TEST_F(ClassIdentity, OnlyPrimaryKeyChangesDropTheCache) {
    makeKey(id);
    refPtr<idInfo> first = cls->idInfo();

    code->setSemantic(eSemLength, ky::genericSet(), L"");
    addField(cls, L"later");
    EXPECT_EQ(cls->idInfo(), first);

    makeKey(code);
    refPtr<idInfo> second = cls->idInfo();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->fieldInfos(), (std::vector<refPtr<fieldInfo>>{id, code}));
    EXPECT_EQ(first->fieldInfos(), std::vector<refPtr<fieldInfo>>{id});
}

TEST_F(ClassIdentity, AFieldLeavingThePrimaryKeyLeavesTheIdentity) {
    makeKey(id);
    makeKey(code);
    ASSERT_EQ(cls->idInfo()->fieldInfos().size(), 2u);

    code->setSemantic(eSemNone, ky::genericSet(), L"");
    EXPECT_EQ(cls->idInfo()->fieldInfos(), std::vector<refPtr<fieldInfo>>{id});
}

TEST_F(ClassIdentity, AClassWithoutKeyReportsAndKeepsTheCacheEmpty) {
    expectReport([&] { cls->idInfo(); }, report(L"rfields.size()>=1", idFile, 11));

    makeKey(code);
    EXPECT_EQ(cls->idInfo()->fieldInfos(), std::vector<refPtr<fieldInfo>>{code});
}

TEST_F(ClassIdentity, AnEmptyFieldInTheNoticeReportsTheEmptyPointer) {
    expectReport([&] { cls->onSemanticChanged(nullptr); }, report(L"m_p != NULL", pointerFile, 144));
}

}  // namespace
}  // namespace classtest
