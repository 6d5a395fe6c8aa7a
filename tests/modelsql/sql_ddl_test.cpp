// DDL of models: the shop model's golden text in both dialects, what a
// column carries, dependency order and cycles, what is left out with a
// warning or refused with an error, and running DDL with each way it fails.
// Every DDL written here is run in a real database.
#include <shop_model.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class SqlDdl : public ::testing::Test {
protected:
    ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);

    sql::ddlResult ddl(sql::eDialect dialect) {
        sql::ddlOptions options;
        options.dialect = dialect;
        return sql::createDdl(*model, options);
    }

    ky::refPtr<classInfo> cls(const wchar_t* name) { return model->createClassInfo(name, false); }

    static ky::refPtr<fieldInfo> field(const ky::refPtr<classInfo>& c, const wchar_t* name, eFieldType type,
                                       int length = 0) {
        ky::genericSet attribs;
        if (length) attribs.setValue(ky::scString::createFrom(L"length"), length, true);
        return c->createFieldInfo(name, type, attribs, L"");
    }

    // A class with an int key "id" and the int field `other`.
    ky::refPtr<classInfo> keyed(const wchar_t* name, const wchar_t* other) {
        ky::refPtr<classInfo> c = cls(name);
        shop::makeKey(field(c, L"id", eInt));
        field(c, other, eInt);
        return c;
    }

    // Tables a and b, each with a foreign key to the other.
    void makeCycle() {
        ky::refPtr<classInfo> a = keyed(L"a", L"bid");
        ky::refPtr<classInfo> b = keyed(L"b", L"aid");
        a->createRelation(L"bid", false, b, eRef, L"", L"");
        b->createRelation(L"aid", false, a, eRef, L"", L"");
    }

    // Runs the SQLite DDL in a database in memory; empty when it was accepted.
    static std::string sqliteRefusal(const std::string& text) {
        return describeAll(sql::executeDdl(sqliteConnection().db, text));
    }

    // The one CREATE TABLE statement of `table` in `result`.
    static std::string statementOf(const sql::ddlResult& result, const std::string& table) {
        for (const std::string& s : result.statements)
            if (s.rfind("CREATE TABLE " + table + " (", 0) == 0) return s;
        return std::string();
    }
};

class PgDdl : public SqlDdl {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }

    static std::string pgRefusal(const std::string& text) {
        return describeAll(sql::executeDdlOnPostgresql(pgServer::conninfo(pgServer::freshSchema()), text));
    }
};

// What a failed run answers: the diagnostic's code and a part of the
// database's message.
struct failure {
    const char* what;
    std::function<sql::diagnostics()> run;
    const char* code;
    const wchar_t* message;
};

void expectFailures(const std::vector<failure>& failures) {
    for (const failure& f : failures) {
        SCOPED_TRACE(f.what);
        const sql::diagnostics problems = f.run();
        ASSERT_EQ(problems.size(), 1u) << describeAll(problems);
        EXPECT_EQ(problems[0].code.toUtf8(), f.code);
        EXPECT_NE(problems[0].databaseMessage.find(f.message), ky::string::npos) << describeAll(problems);
    }
}

// A host's authorizer that refuses to begin transactions.
int refuseBegin(void*, int action, const char* detail, const char*, const char*, const char*) {
    return action == SQLITE_TRANSACTION && std::string(detail) == "BEGIN" ? SQLITE_DENY : SQLITE_OK;
}

// A row whose foreign key is checked only at commit, and fails there.
const char* const deferredViolation =
    "CREATE TABLE p (id INTEGER PRIMARY KEY);"
    "CREATE TABLE c (pid INTEGER REFERENCES p (id) DEFERRABLE INITIALLY DEFERRED);"
    "INSERT INTO c VALUES (1);";

}  // namespace

TEST_F(SqlDdl, ShopModelMatchesTheGoldenTextOfEachDialect) {
    shop::buildShopModel(model);
    EXPECT_EQ(ddl(sql::eSqlite).text, readTestFile("golden/shop.sqlite.sql"));
    EXPECT_EQ(ddl(sql::ePostgresql).text, readTestFile("golden/shop.postgresql.sql"));
}

TEST_F(SqlDdl, RelationTowardsAClassWithoutKeyIsLeftOutWithAWarning) {
    shop::buildShopModel(model);
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(countCode(result.problems, "sql.ddl.foreign-key"), 3);  // party and its two derived tables
    EXPECT_FALSE(sql::hasErrors(result.problems));
}

TEST_F(SqlDdl, WarningsAboutAnInheritedRelationNameItAsItsClassDoes) {
    shop::buildShopModel(model);
    const sql::ddlResult result = ddl(sql::eSqlite);
    for (const sql::diagnostic& d : result.problems) EXPECT_EQ(d.element, L"party.Home") << describeAll({d});
}

TEST_F(SqlDdl, WarningsAboutAnInheritedFieldNameItAsItsClassDoes) {
    ky::refPtr<classInfo> base = cls(L"base");
    field(base, L"id", eInt);
    base->createFieldInfo(L"evil", eCustom, ky::genericSet(), L"INT); DROP TABLE x; --");
    for (const wchar_t* name : {L"left", L"right"}) cls(name)->addBaseClass(base);
    const sql::ddlResult result = ddl(sql::eSqlite);
    ASSERT_EQ(countCode(result.problems, "sql.ddl.custom-type"), 3) << describeAll(result.problems);
    for (const sql::diagnostic& d : result.problems) EXPECT_EQ(d.element, L"base.evil");
    EXPECT_EQ(result.problems[2].table, L"right");
}

TEST_F(SqlDdl, AbstractClassGetsNoTable) {
    ky::refPtr<classInfo> base = cls(L"base");
    field(base, L"id", eInt);
    base->setAbstract(true);
    ky::refPtr<classInfo> derived = cls(L"derived");
    derived->addBaseClass(base);
    field(derived, L"extra", eInt);
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(result.statements.size(), 1u);
    EXPECT_EQ(statementOf(result, "derived"), "CREATE TABLE derived (\n    id INTEGER,\n    extra INTEGER\n)");
}

// Each case builds the fields of table t; its SQLite statement lists the
// columns given, and PostgreSQL's holds `pg` when given.
TEST_F(SqlDdl, ColumnsCarryTheirTypeConstraintsAndDefaults) {
    using build = std::function<void(const ky::refPtr<classInfo>&)>;
    const struct { const char* what; build make; const char* columns; const char* pg; } cases[] = {
        {"types by the dialect table",
         [](const auto& c) {
             const std::pair<const wchar_t*, eFieldType> plain[] = {
                 {L"b", eBool}, {L"s", eShort}, {L"l", eLong}, {L"f", eFloat}, {L"ts", eTimestamp}, {L"bin", eBinary}};
             for (const auto& [name, type] : plain) field(c, name, type);
             field(c, L"v", eString, 40);
             field(c, L"money", eDouble)->setSemantic(eSemMonetary, ky::genericSet(), L"");
         },
         "b BOOLEAN,\n    s SMALLINT,\n    l BIGINT,\n    f REAL,\n    ts TIMESTAMP,\n    bin BLOB,\n"
         "    v VARCHAR(40),\n    money NUMERIC",
         "bin BYTEA"},
        {"mandatory and unique",
         [](const auto& c) {
             field(c, L"a", eInt)->setMandatory(true);
             field(c, L"b", eInt)->setUnique(true);
         },
         "a INTEGER NOT NULL,\n    b INTEGER UNIQUE", nullptr},
        {"string default with a quote",
         [](const auto& c) { field(c, L"a", eString)->setDefaultValue(ky::genericValue::create(L"it's")); },
         "a TEXT DEFAULT 'it''s'", nullptr},
        {"date and binary defaults",
         [](const auto& c) {
             field(c, L"d", eDate)->setDefaultValue(ky::genericValue::create(ky::date(2024, 2, 29)));
             ky::binaryBuffer bytes(2);
             bytes.bytes() = {0x0a, 0xff};
             field(c, L"x", eBinary)->setDefaultValue(ky::genericValue::create(bytes));
         },
         "d DATE DEFAULT '2024-02-29',\n    x BLOB DEFAULT X'0aff'", "DEFAULT '\\x0aff'::bytea"},
        {"date and time defaults of their own",
         [](const auto& c) {
             const auto ts = field(c, L"ts", eTimestamp);
             ts->setMandatory(true);
             ts->setDefaultValue(ky::genericValue::create(ky::timestamp(ky::date(2099, 1, 2), ky::time(3, 4, 5))));
             field(c, L"t", eTime)->setDefaultValue(ky::genericValue::create(ky::time(0, 0, 0, 500000000)));
         },
         "ts TIMESTAMP NOT NULL DEFAULT '2099-01-02 03:04:05',\n    t TIME DEFAULT '00:00:00.5'", nullptr},
        {"stored default equal to the type's",
         [](const auto& c) { field(c, L"a", eInt)->setDefaultValue(ky::genericValue::create(0)); },
         "a INTEGER DEFAULT 0", nullptr},
        {"the clock's date a copy fills in",
         [](const auto& c) { c->copyFieldInfoFrom(field(c, L"a", eDate), L"b"); },
         "a DATE,\n    ba DATE", nullptr},
        {"safe custom type",
         [](const auto& c) { c->createFieldInfo(L"n", eCustom, ky::genericSet(), L"NUMERIC(10, 2)"); },
         "n NUMERIC(10, 2)", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        model = modelInfo::createModelInfo(false);
        c.make(cls(L"t"));
        EXPECT_EQ(statementOf(ddl(sql::eSqlite), "t"), std::string("CREATE TABLE t (\n    ") + c.columns + "\n)");
        if (c.pg) {
            EXPECT_NE(statementOf(ddl(sql::ePostgresql), "t").find(c.pg), std::string::npos);
        }
    }
}

TEST_F(SqlDdl, TablesFollowTheTablesTheyReference) {
    ky::refPtr<classInfo> child = cls(L"child");
    field(child, L"parentid", eInt);
    child->createRelation(L"parentid", false, keyed(L"parent", L"name"), eRef, L"", L"");
    const sql::ddlResult result = ddl(sql::eSqlite);
    ASSERT_EQ(result.statements.size(), 2u);
    EXPECT_EQ(result.statements[0].rfind("CREATE TABLE parent", 0), 0u);
}

TEST_F(SqlDdl, SqliteClosesACycleWithADeferredForeignKey) {
    makeCycle();
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_NE(result.text.find("REFERENCES a (id) DEFERRABLE INITIALLY DEFERRED"), std::string::npos);
    EXPECT_EQ(sqliteRefusal(result.text), "");
}

TEST_F(SqlDdl, SelfReferenceStaysInline) {
    ky::refPtr<classInfo> node = keyed(L"node", L"parent");
    node->createRelation(L"parent", false, node, eRef, L"", L"");
    EXPECT_NE(ddl(sql::ePostgresql).text.find("FOREIGN KEY (parent) REFERENCES node (id)\n)"), std::string::npos);
}

TEST_F(SqlDdl, UnsafeCustomTypeLeavesTheColumnOutWithAWarning) {
    ky::refPtr<classInfo> c = cls(L"t");
    field(c, L"a", eInt);
    c->createFieldInfo(L"evil", eCustom, ky::genericSet(), L"INT); DROP TABLE x; --");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(statementOf(result, "t"), "CREATE TABLE t (\n    a INTEGER\n)");
    EXPECT_EQ(countCode(result.problems, "sql.ddl.custom-type"), 1);
}

TEST_F(SqlDdl, NamesThatSqliteFoldsTogetherAreAnError) {
    model = modelInfo::createModelInfo(true);
    field(cls(L"Item"), L"a", eInt);
    field(cls(L"item"), L"a", eInt);
    const ky::refPtr<classInfo> order = cls(L"order");
    for (const wchar_t* name : {L"Qty", L"price", L"qty"}) field(order, name, eInt);
    const sql::ddlResult sqlite = ddl(sql::eSqlite);
    EXPECT_EQ(countCode(sqlite.problems, "sql.ddl.name-clash"), 2);
    const auto column = std::find_if(sqlite.problems.begin(), sqlite.problems.end(),
                                     [](const sql::diagnostic& d) { return d.table == L"order"; });
    ASSERT_NE(column, sqlite.problems.end());
    EXPECT_EQ(column->field, L"qty");
    EXPECT_EQ(sqlite.text, "");
    EXPECT_FALSE(sql::hasErrors(ddl(sql::ePostgresql).problems));
}

TEST_F(SqlDdl, ClassWithoutFieldsIsLeftOutOfSqlite) {
    cls(L"empty");
    const sql::ddlResult result = ddl(sql::eSqlite);
    EXPECT_EQ(result.text, "");
    EXPECT_EQ(countCode(result.problems, "sql.ddl.no-columns"), 1);
}

TEST(SqliteExecute, FailedStatementRollsBackTheWholeDdl) {
    const sqliteConnection connection;
    const sql::diagnostics problems =
        sql::executeDdl(connection.db, "CREATE TABLE a (x INTEGER); CREATE TABLE a (y INTEGER);");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].databaseMessage, L"table a already exists");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(connection.db, "SELECT count(*) FROM sqlite_schema", -1, &stmt, nullptr);
    sqlite3_step(stmt);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 0);
    sqlite3_finalize(stmt);
}

TEST(SqliteExecute, EachWayOfFailingIsOneDiagnostic) {
    const std::string locked = sqliteFileWith("CREATE TABLE t (a INT);");
    const sqliteConnection holder(locked);
    holder.run("BEGIN EXCLUSIVE");
    const std::string text = freshPath("text");
    std::ofstream(text) << std::string(200, 'x');
    const sqliteConnection inTransaction, guarded, checked;
    inTransaction.run("BEGIN");
    sqlite3_set_authorizer(guarded.db, &refuseBegin, nullptr);
    checked.run("PRAGMA foreign_keys = ON");
    const std::string fifo = freshPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string ddl = "CREATE TABLE n (a INT);";
    expectFailures({
        {"no connection", [&] { return sql::executeDdl(static_cast<sqlite3*>(nullptr), ddl); }, "sql.exec.connection", L""},
        {"inside a transaction", [&] { return sql::executeDdl(inTransaction.db, ddl); }, "sql.exec.transaction", L""},
        {"transaction refused", [&] { return sql::executeDdl(guarded.db, ddl); }, "sql.exec.begin", L"not authorized"},
        {"commit refused", [&] { return sql::executeDdl(checked.db, deferredViolation); }, "sql.exec.commit",
         L"FOREIGN KEY constraint failed"},
        {"locked file", [&] { return sql::executeDdlOnSqliteFile(locked, ddl); }, "sql.exec.statement",
         L"database is locked"},
        {"no database", [&] { return sql::executeDdlOnSqliteFile(text, ddl); }, "sql.exec.statement",
         L"file is not a database"},
        {"no directory", [&] { return sql::executeDdlOnSqliteFile(freshPath("none") + "/x.sqlite", ddl); }, "sql.open",
         L"unable to open database file"},
        {"a FIFO", [&] { return sql::executeDdlOnSqliteFile(fifo, ddl); }, "sql.open", L""},
    });
}

TEST_F(PgDdl, CycleIsClosedByAlterTable) {
    makeCycle();
    const sql::ddlResult result = ddl(sql::ePostgresql);
    EXPECT_NE(result.text.find("ALTER TABLE b ADD FOREIGN KEY (aid) REFERENCES a (id);"), std::string::npos);
    EXPECT_EQ(pgRefusal(result.text), "");
}

TEST_F(PgDdl, EachWayOfFailingIsOneDiagnostic) {
    const auto connect = [](const std::string& schema) {
        PGconn* conn = PQconnectdb(pgServer::conninfo(schema).c_str());
        EXPECT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        return std::unique_ptr<PGconn, void (*)(PGconn*)>(conn, &PQfinish);
    };
    const auto inTransaction = connect(""), dropped = connect(""), fresh = connect(pgServer::freshSchema());
    PQclear(PQexec(inTransaction.get(), "BEGIN"));
    // The server ends the session; the connection learns of it at its next command.
    pgServer::run("SELECT pg_terminate_backend(" + std::to_string(PQbackendPID(dropped.get())) + ", 10000)");
    const std::string ddl = "CREATE TABLE n (a int);";
    expectFailures({
        {"no connection", [&] { return sql::executeDdl(static_cast<PGconn*>(nullptr), ddl); }, "sql.exec.connection", L""},
        {"inside a transaction", [&] { return sql::executeDdl(inTransaction.get(), ddl); }, "sql.exec.transaction", L""},
        {"session ended", [&] { return sql::executeDdl(dropped.get(), ddl); }, "sql.exec.begin", L"terminat"},
        {"statement refused", [&] { return sql::executeDdl(fresh.get(), "CREATE TABLE x (a nosuchtype);"); },
         "sql.exec.statement", L"nosuchtype"},
        {"commit refused", [&] { return sql::executeDdl(fresh.get(), deferredViolation); }, "sql.exec.commit",
         L"violates foreign key constraint"},
        {"server down", [&] { return sql::executeDdlOnPostgresql("host=" + freshPath("nosocket"), ddl); },
         "sql.connect", L"No such file or directory"},
        {"unknown database", [&] { return sql::executeDdlOnPostgresql(pgServer::conninfo() + " dbname=nowhere", ddl); },
         "sql.connect", L"\"nowhere\" does not exist"},
    });
}
