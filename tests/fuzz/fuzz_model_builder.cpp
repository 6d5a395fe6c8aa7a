// A model built from a sequence of API calls that the input spells: each
// call is one byte naming the operation and one choosing a name. Refused
// calls (a thrown false) are answers; a crash, a leak or a hang is a finding,
// and so is DDL of the model that is not sound (ddl_check.h).
#include <kymdlsql.h>
#include <kymetamodel.h>

#include <vector>

#include "ddl_check.h"
#include "fuzz_support.h"

using namespace ky::metamodel;

namespace {

const wchar_t* const names[] = {L"a", L"B", L"c.d", L"", L"Ärger", L"PTR", L"person", L"Person", L"...",
                                L"x y", L"primkey", L"relation(a)", L"\" (a INT); --", L"x\nall good", L"'"};
constexpr std::size_t nameCount = sizeof names / sizeof names[0];

struct builder {
    refPtr<modelInfo> model;
    std::vector<refPtr<classInfo>> classes;
    std::vector<refPtr<fieldInfo>> fields;

    const wchar_t* name(std::uint8_t b) const { return names[b % nameCount]; }
    refPtr<classInfo> cls(std::uint8_t b) const { return classes.empty() ? refPtr<classInfo>() : classes[b % classes.size()]; }
    refPtr<fieldInfo> field(std::uint8_t b) const { return fields.empty() ? refPtr<fieldInfo>() : fields[b % fields.size()]; }

    void step(std::uint8_t op, std::uint8_t arg) {
        refPtr<classInfo> c = cls(arg);
        refPtr<classInfo> other = cls(static_cast<std::uint8_t>(arg / 3));
        refPtr<fieldInfo> f = field(arg);
        switch (op % 16) {
            case 0: classes.push_back(model->createClassInfo(name(arg), false)); break;
            case 1: classes.push_back(model->createClassInfo(name(arg), true)); break;
            case 2: if (c) fields.push_back(c->createFieldInfo(name(arg / 2), static_cast<eFieldType>(1u << (arg % 16)), ky::genericSet(), L"t")); break;
            case 3: if (c && other) c->addBaseClass(other); break;
            case 4: if (c && other) fields.push_back(c->createFieldInfo(other, name(arg / 5))); break;
            case 5: if (c) c->addAliasname(name(arg / 7)); break;
            case 6: if (f) f->setSemantic(eSemPrimkey, ky::genericSet(), L""); break;
            // Copying a class into itself doubles its fields; a bound keeps
            // the model the input spells small.
            case 7: if (c && other && c->countFields() + other->countFields() < 512) c->copyInfosFrom(other, arg % 2 ? L"p_" : nullptr); break;
            case 8: if (c && f) c->createRelation(f->scName().string(), true, other ? other : c, eRef, L"", L""); break;
            case 9: if (c && f) c->createRelation(f->scName().string(), true, field(arg / 3), eAgg, L"", L""); break;
            case 10: if (c) c->idInfo(); break;
            case 11: model->classInfo(name(arg), arg % 2); model->fieldInfo(name(arg), arg % 3); break;
            case 12: if (c) c->fieldInfo(name(arg), true, true); break;
            case 13: if (f) f->setSemantic(eSemDate, ky::genericSet(), L""); break;
            case 14: if (c) c->toRelation(name(arg), true); break;
            case 15: if (c && other) c->isDerivedFrom(other); break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kyfuzz::quietAssertions();
    if (size == 0) return 0;
    builder b;
    b.model = modelInfo::createModelInfo(data[0] % 2);
    for (std::size_t i = 1; i + 1 < size && i < 400; i += 2) {
        try {
            b.step(data[i], data[i + 1]);
        } catch (bool) {
        }
    }
    for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
        sql::ddlOptions options;
        options.dialect = dialect;
        if (!kyfuzz::ddlFault(sql::createDdl(*b.model, options).text).empty()) __builtin_trap();
    }
    // A replaced class that was given fields again keeps its links until its
    // holder cuts them, as a host does before letting such a class go.
    for (const auto& c : b.classes) c->releaseInfo();
    b.fields.clear();
    b.classes.clear();
    b.model = nullptr;
    return 0;
}
