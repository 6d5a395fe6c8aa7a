// Table facts of arbitrary text through the DDL writer. Whatever a fact
// holds, the writer refuses it or writes DDL in which SQLite's own idea of
// where statements end (sqlite3_complete, as its shell splits a script)
// finds exactly the statements the writer answered: no text gets out of
// the clause or statement it was pasted into.
//
// Input: up to three facts separated by 0x01 bytes; each fact's first byte
// chooses its key (and whether it sits on the class or on a field), the
// rest is its value.
#include <kymdlsql.h>
#include <sqlite3.h>

#include <string_view>

#include "fuzz_support.h"

using namespace ky::metamodel;

namespace {

struct factKey {
    const wchar_t* key;
    bool onField;
};

constexpr factKey keys[] = {
    {L"sqlite.check.c", false},     {L"sqlite.check.#1", false},   {L"sqlite.unique.u", false},
    {L"sqlite.foreignKey.f", false}, {L"sqlite.index.i", false},    {L"sqlite.options", false},
    {L"sqlite.view", false},        {L"sqlite.before", false},     {L"sqlite.after", false},
    {L"sql.foreignKey.b", false},   {L"sql.index.i", false},       {L"sql.unique.u", false},
    {L"sql.primaryKey", false},     {L"sql.table", false},         {L"sql.schema", false},
    {L"sql.kind", false},           {L"sql.dependsOn", false},     {L"postgresql.check.c", false},
    {L"postgresql.before", false},  {L"postgresql.options", false}, {L"sqlite.type", true},
    {L"sqlite.default", true},      {L"sqlite.collation", true},   {L"sqlite.generated", true},
    {L"sqlite.autoincrement", true}, {L"sqlite.before", true},     {L"postgresql.type", true},
    {L"postgresql.default", true},  {L"postgresql.identity", true}, {L"postgresql.collation", true},
};

// The number of statements SQLite's shell would run from `text`, or -1 when
// something is left after the last one.
long sqliteStatements(const std::string& text) {
    long count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ';') continue;
        if (!sqlite3_complete(text.substr(start, i + 1 - start).c_str())) continue;
        ++count;
        start = i + 1;
    }
    return text.find_first_not_of(" \n", start) == std::string::npos ? count : -1;
}

ky::refPtr<modelInfo> modelWith(std::string_view input) {
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    ky::refPtr<classInfo> target = model->createClassInfo(L"p", false);
    target->createFieldInfo(L"id", eInt, ky::genericSet(), L"")->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    ky::refPtr<classInfo> cls = model->createClassInfo(L"t", false);
    ky::refPtr<fieldInfo> id = cls->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    cls->createFieldInfo(L"b", eInt, ky::genericSet(), L"");
    cls->createRelation(L"b", false, target, eRef, L"", L"");
    for (int fact = 0; fact < 3 && !input.empty(); ++fact) {
        const std::size_t end = std::min(input.find('\x01'), input.size());
        const std::string_view chunk = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        if (chunk.empty()) continue;
        const factKey& key = keys[static_cast<unsigned char>(chunk[0]) % std::size(keys)];
        const ky::string value = ky::string::fromUtf8(std::string(chunk.substr(1)));
        if (key.onField) id->setUserProperty(key.key, value, false);
        else cls->setUserProperty(key.key, value, false);
    }
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kyfuzz::quietAssertions();
    const ky::refPtr<modelInfo> model = modelWith(std::string_view(reinterpret_cast<const char*>(data), size));
    for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
        sql::ddlOptions options;
        options.dialect = dialect;
        const sql::ddlResult result = sql::createDdl(*model, options);
        if (sql::hasErrors(result.problems) != result.text.empty()) __builtin_trap();
        if (dialect == sql::eSqlite && !result.text.empty() &&
            sqliteStatements(result.text) != static_cast<long>(result.statements.size()))
            __builtin_trap();
    }
    return 0;
}
