// The round trip: model → DDL → executed in a real database → reflected →
// a model equal to the first in every attribute a table holds (see
// docs/sql.md), for the shop model and for generated models, both dialects.
#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include <shop_model.h>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

// Models of `classes` classes with fields of every type a table keeps, single
// and compound keys, foreign keys towards classes and fields (cycles
// included), defaults, enumerations, marks and labels; names are reserved words, mixed
// case and non-ASCII when the model keeps names as written.
class modelGenerator {
public:
    modelGenerator(unsigned seed, bool caseSensitive) : mRandom(seed), mCaseSensitive(caseSensitive) {}

    ky::refPtr<modelInfo> make(int classes) {
        ky::refPtr<modelInfo> model = modelInfo::createModelInfo(mCaseSensitive);
        std::vector<ky::refPtr<classInfo>> made;
        for (int i = 0; i < classes; ++i) made.push_back(makeClass(model, i));
        for (std::size_t i = 0; i < made.size(); ++i) relate(made, i);
        return model;
    }

private:
    ky::string className(int i) {
        static const wchar_t* words[] = {L"order", L"Line Item", L"größe", L"user", L"a\"b.c", L"plain"};
        ky::string name = mCaseSensitive ? words[i % 6] : (i % 2 ? L"order" : L"table");
        return name + L"_" + std::to_wstring(i);
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(mRandom); }

    ky::refPtr<fieldInfo> addField(const ky::refPtr<classInfo>& cls, const ky::string& name, eFieldType type, int length) {
        ky::genericSet attribs;
        if (length) attribs.setValue(ky::scString::createFrom(L"length"), length, true);
        ky::refPtr<fieldInfo> field = cls->createFieldInfo(name, type, attribs, L"");
        field->setLabel(L"label of " + name + L" 'quoted'");
        return field;
    }

    void maybeDefault(const ky::refPtr<fieldInfo>& field) {
        if (pick(3) != 0) return;
        switch (field->type()) {
            case eBool: field->setDefaultValue(ky::genericValue::create(true)); break;
            case eShort: field->setDefaultValue(ky::genericValue::create(short(-12))); break;
            case eInt: field->setDefaultValue(ky::genericValue::create(42)); break;
            case eLong: field->setDefaultValue(ky::genericValue::create(-7L)); break;
            case eDouble: field->setDefaultValue(ky::genericValue::create(2.5)); break;
            case eString: field->setDefaultValue(ky::genericValue::create(L"it's \"x\"")); break;
            case eDate: field->setDefaultValue(ky::genericValue::create(ky::date(2024, 2, 29))); break;
            default: break;
        }
    }

    // Items whose literals hold the tokens a check reader could trip on.
    void maybeItems(const ky::refPtr<fieldInfo>& field) {
        if (pick(3) != 0 || field->isUnique() || field->semantic() != eSemNone) return;
        if (field->type() == eString)
            shop::setItems(field, eSemEnum, {L"it's, quoted", L"a)b, parenthesis", L"CHECK (x IN (1)), trap", L"-- x, dash"});
        else if (field->type() == eInt || field->type() == eLong)
            shop::setItems(field, eSemEnum, {L"-1, low", L"2, high"});
        else if (field->type() == eDouble)
            shop::setItems(field, eSemEnum, {L"0.5, half", L"1e+30, huge"});
    }

    ky::refPtr<classInfo> makeClass(const ky::refPtr<modelInfo>& model, int index) {
        ky::refPtr<classInfo> cls = model->createClassInfo(className(index), false);
        cls->setLabel(L"class " + std::to_wstring(index));
        const int keys = 1 + pick(2);
        for (int k = 0; k < keys; ++k) shop::makeKey(addField(cls, L"key" + std::to_wstring(k), k ? eString : eInt, k ? 20 : 0));
        static const eFieldType types[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString,
                                           eString, eDate, eTime, eTimestamp, eBinary};
        const int fields = 2 + pick(8);
        for (int f = 0; f < fields; ++f) {
            const eFieldType type = types[pick(12)];
            const ky::string name = (mCaseSensitive && f % 3 == 0 ? L"Column " : L"select_") + std::to_wstring(f);
            ky::refPtr<fieldInfo> field = addField(cls, name, type, type == eString && pick(2) ? 1 + pick(200) : 0);
            field->setMandatory(pick(3) == 0);
            if (type == eInt && pick(3) == 0) field->setUnique(true);
            if (type == eDouble && pick(2) == 0) field->setSemantic(eSemMonetary, ky::genericSet(), L"");
            maybeDefault(field);
            maybeItems(field);
        }
        return cls;
    }

    // A foreign key from new columns of class i towards another class's key
    // (by class for a single key, by field pairs for a compound one).
    void relate(const std::vector<ky::refPtr<classInfo>>& classes, std::size_t i) {
        if (pick(3) == 0) return;
        const ky::refPtr<classInfo>& from = classes[i];
        ky::refPtr<classInfo> target = classes[static_cast<std::size_t>(pick(static_cast<int>(classes.size())))];
        std::vector<ky::refPtr<fieldInfo>> keys;
        target->getIdFieldInfos(keys);
        std::vector<ky::refPtr<fieldInfo>> columns;
        for (std::size_t k = 0; k < keys.size(); ++k)
            columns.push_back(addField(from, L"ref" + std::to_wstring(k), keys[k]->type(), static_cast<int>(sql::fieldLength(*keys[k]))));
        if (keys.size() == 1) {
            from->createRelation(columns[0]->scName().string(), false, target, eRef, L"", L"");
            return;
        }
        ky::refPtr<relationInfo> relation =
            from->createRelation(columns[0]->scName().string(), false, keys[0], eAgg, L"", L"");
        for (std::size_t k = 1; k < keys.size(); ++k) relation->addFieldRelation(columns[k], keys[k]);
    }

    std::mt19937 mRandom;
    bool mCaseSensitive;
};

// Seed 0 stands for the shop model.
ky::refPtr<modelInfo> modelOf(unsigned seed) {
    if (seed) return modelGenerator(seed, seed % 2 == 0).make(12);
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    shop::buildShopModel(model);
    return model;
}

// PostgreSQL does not read the enumeration checks back.
sql::ddlResult ddlOf(const modelInfo& model, sql::eDialect dialect) {
    sql::ddlOptions options;
    options.dialect = dialect;
    options.checkEnumerations = dialect == sql::eSqlite;
    return sql::createDdl(model, options);
}

// The tables of DDL text, in name order: each its column lines in order,
// then its foreign keys sorted wherever they were written (inline, deferred
// or added by ALTER TABLE), then its comments. Which key closes a cycle
// follows the order of the classes, which the database does not keep.
std::string tablesOf(const std::string& ddl) {
    std::map<std::string, std::vector<std::string>> columns, keys;
    std::size_t start = 0;
    for (std::size_t end; (end = ddl.find(";\n", start)) != std::string::npos; start = end + 2) {
        const std::string statement = ddl.substr(start, end - start);
        const std::size_t open = statement.find(" (\n"), add = statement.find(" ADD ");
        if (statement.rfind("CREATE TABLE ", 0) == 0) {
            std::istringstream lines(statement.substr(open + 3));
            std::vector<std::string>& own = columns[statement.substr(13, open - 13)];
            for (std::string line; std::getline(lines, line) && line != ")";) {
                if (line.back() == ',') line.pop_back();
                const std::size_t deferred = line.find(" DEFERRABLE INITIALLY DEFERRED");
                if (deferred != std::string::npos) line.erase(deferred);
                (line.find("FOREIGN KEY") == 4 ? keys[statement.substr(13, open - 13)] : own).push_back(line.substr(4));
            }
        } else if (statement.rfind("ALTER TABLE ", 0) == 0) {
            keys[statement.substr(12, add - 12)].push_back(statement.substr(add + 5));
        } else {
            keys[" comments"].push_back(statement);
        }
    }
    std::string text;
    for (auto& [name, lines] : columns) {
        std::sort(keys[name].begin(), keys[name].end());
        text += name + "\n";
        for (const std::string& line : lines) text += "  " + line + "\n";
        for (const std::string& line : keys[name]) text += "  " + line + "\n";
    }
    std::sort(keys[" comments"].begin(), keys[" comments"].end());
    for (const std::string& line : keys[" comments"]) text += line + "\n";
    return text;
}

// `ddl` without DEFAULT and CHECK clauses: a column's end from either on,
// and the table's own CHECK lines.
std::string withoutDefaultsAndChecks(const std::string& ddl) {
    std::string out;
    std::istringstream lines(ddl);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("    CHECK (", 0) == 0) continue;
        const bool comma = !line.empty() && line.back() == ',';
        for (const char* clause : {" DEFAULT ", " CHECK ("}) {
            const std::size_t at = line.find(clause);
            if (at != std::string::npos) line = line.substr(0, at) + (comma ? "," : "");
        }
        out += line + "\n";
    }
    return out;
}

// Runs `ddl` on a new SQLite file or a new schema of the test server and
// reflects it; the DDL of what was reflected, with the schema's name cut
// out (the reflected model names it).
std::string throughDatabase(const std::string& ddl, sql::eDialect dialect, bool caseSensitive) {
    sql::reflectOptions options;
    options.caseSensitiveNames = caseSensitive;
    sql::reflectResult back;
    std::string schema;
    if (dialect == sql::eSqlite) {
        const std::string path = freshPath("roundtrip") + ".sqlite";
        EXPECT_EQ(describeAll(sql::executeDdlOnSqliteFile(path, ddl)), "") << ddl;
        back = sql::reflectSqliteFile(path, options);
    } else {
        schema = pgServer::freshSchema();
        EXPECT_EQ(describeAll(sql::executeDdlOnPostgresql(pgServer::conninfo(schema), ddl)), "") << ddl;
        options.schemas = {ky::string::fromUtf8(schema)};
        back = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    }
    if (!back.model) {
        ADD_FAILURE() << describeAll(back.problems);
        return std::string();
    }
    std::string again = ddlOf(*back.model, dialect).text;
    if (schema.empty()) return again;
    const std::string create = "CREATE SCHEMA IF NOT EXISTS " + schema + ";\n";
    if (again.rfind(create, 0) == 0) again.erase(0, create.size());
    for (std::size_t at; (at = again.find(schema + ".")) != std::string::npos;) again.erase(at, schema.size() + 1);
    return again;
}

// Model -> DDL -> database -> reflected model -> DDL again, which writes
// every attribute a table holds: the same tables mean an equal model as far
// as tables go. The reflected model keeps defaults and checks as the
// database writes them back ('-12'::integer for -12, a column's check among
// the table's), so those are compared as a second trip gives them back.
void expectSameTablesBack(const modelInfo& model, sql::eDialect dialect) {
    const sql::ddlResult ddl = ddlOf(model, dialect);
    EXPECT_FALSE(sql::hasErrors(ddl.problems)) << describeAll(ddl.problems);
    const std::string again = throughDatabase(ddl.text, dialect, model.caseSensitiveNames());
    EXPECT_EQ(tablesOf(withoutDefaultsAndChecks(again)), tablesOf(withoutDefaultsAndChecks(ddl.text)));
    EXPECT_EQ(tablesOf(throughDatabase(again, dialect, model.caseSensitiveNames())), tablesOf(again));
}

class SqliteRoundTrip : public ::testing::TestWithParam<unsigned> {};

class PgRoundTrip : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }
};

}  // namespace

TEST_P(SqliteRoundTrip, ModelComesBackEqual) { expectSameTablesBack(*modelOf(GetParam()), sql::eSqlite); }

TEST_P(PgRoundTrip, ModelComesBackEqualWithLabels) { expectSameTablesBack(*modelOf(GetParam()), sql::ePostgresql); }

INSTANTIATE_TEST_SUITE_P(Seeds, SqliteRoundTrip, ::testing::Range(0u, 7u));
INSTANTIATE_TEST_SUITE_P(Seeds, PgRoundTrip, ::testing::Range(0u, 7u));
