// applyMigration on the test PostgreSQL server, each test in a schema of
// its own: a failing statement anywhere, a session killed while a step
// runs, and a session that may not write leave catalogue and rows as they
// were. The migrations are written by hand, as plain data.
#include <chrono>
#include <thread>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

sql::migrationStep stepOf(sql::eStepKind kind, const wchar_t* element, std::vector<std::string> statements,
                          bool destructive = false) {
    sql::migrationStep step;
    step.kind = kind;
    step.element = element;
    step.statements = std::move(statements);
    step.description = ky::string::fromUtf8(sql::stepKindName(kind)) + L" " + element;
    step.destructive = destructive;
    return step;
}

sql::migration everyKindOfStep() {
    sql::migration plan;
    plan.steps.push_back(stepOf(sql::eStepCreateObject, L"mood", {"CREATE TYPE mood AS ENUM ('sad', 'happy')"}));
    plan.steps.push_back(stepOf(sql::eStepCreateTable, L"tag", {"CREATE TABLE tag (id integer PRIMARY KEY)"}));
    plan.steps.push_back(stepOf(sql::eStepAddColumn, L"parent.mood", {"ALTER TABLE parent ADD COLUMN mood mood"}));
    plan.steps.push_back(stepOf(sql::eStepAlterColumn, L"parent.name",
                                {"ALTER TABLE parent ALTER COLUMN name TYPE varchar(40)",
                                 "ALTER TABLE parent ALTER COLUMN name SET DEFAULT 'x'"}));
    plan.steps.push_back(stepOf(sql::eStepDropForeignKey, L"child.child_parent_id_fkey",
                                {"ALTER TABLE child DROP CONSTRAINT child_parent_id_fkey"}));
    plan.steps.push_back(stepOf(sql::eStepAddForeignKey, L"child.child_parent_id_fkey",
                                {"ALTER TABLE child ADD FOREIGN KEY (parent_id) REFERENCES parent ON DELETE CASCADE"}));
    plan.steps.push_back(stepOf(sql::eStepCreateIndex, L"child.child_note", {"CREATE INDEX child_note ON child (note)"}));
    plan.steps.push_back(stepOf(sql::eStepAddConstraint, L"parent.parent_name_check",
                                {"ALTER TABLE parent ADD CHECK (name <> '')"}));
    plan.steps.push_back(stepOf(sql::eStepComment, L"parent", {"COMMENT ON TABLE parent IS 'parents'"}));
    plan.steps.push_back(stepOf(sql::eStepCreateView, L"names", {"CREATE VIEW names AS SELECT name FROM parent"}));
    plan.steps.push_back(stepOf(sql::eStepDropColumn, L"child.note", {"ALTER TABLE child DROP COLUMN note"}, true));
    return plan;
}

std::size_t statementCount(const sql::migration& plan) {
    std::size_t count = 0;
    for (const auto& step : plan.steps) count += step.statements.size();
    return count;
}

sql::migration failingAt(sql::migration plan, std::size_t n) {
    for (auto& step : plan.steps)
        for (auto& statement : step.statements)
            if (n-- == 0) statement = "INSERT INTO no_such_table VALUES (1)";
    return plan;
}

// A connection closed with the object.
struct pgConnection {
    PGconn* conn;
    explicit pgConnection(const std::string& conninfo) : conn(PQconnectdb(conninfo.c_str())) {}
    ~pgConnection() { PQfinish(conn); }
    pgConnection(const pgConnection&) = delete;
    pgConnection& operator=(const pgConnection&) = delete;
};

class PgApply : public ::testing::Test {
protected:
    std::string schema;
    sql::applyOptions options;

    void SetUp() override {
        KY_REQUIRE_PG();
        schema = pgServer::freshSchema();
        pgServer::run("SET search_path = " + schema +
                      ";"
                      "CREATE TABLE parent (id integer PRIMARY KEY, name text NOT NULL);"
                      "CREATE TABLE child (id integer PRIMARY KEY, parent_id integer REFERENCES parent, note text);"
                      "INSERT INTO parent VALUES (1, 'one'), (2, 'two');"
                      "INSERT INTO child VALUES (10, 1, 'a'), (11, 2, NULL)");
        options.allowDestructive = true;
    }

    // Every row `sql` answers (with $1, when it names one, the schema),
    // columns separated by '|'.
    std::string rowsOf(const std::string& sql) const {
        pgConnection c(pgServer::conninfo(schema));
        const char* params[1] = {schema.c_str()};
        PGresult* result = PQexecParams(c.conn, sql.c_str(), sql.find("$1") == std::string::npos ? 0 : 1, nullptr, params, nullptr, nullptr, 0);
        std::string out = PQresultStatus(result) == PGRES_TUPLES_OK ? "" : PQerrorMessage(c.conn);
        for (int row = 0; row < PQntuples(result); ++row) {
            for (int column = 0; column < PQnfields(result); ++column)
                out += (column ? "|" : "") + std::string(PQgetvalue(result, row, column));
            out += "\n";
        }
        PQclear(result);
        return out;
    }

    // Relations, columns with types, NOT NULL and defaults, constraints,
    // indexes, types and comments of the schema.
    std::string catalogue() const {
        return rowsOf("SELECT c.relname, c.relkind, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), "
                      "a.attnotnull, pg_catalog.pg_get_expr(d.adbin, d.adrelid), "
                      "pg_catalog.obj_description(c.oid, 'pg_class') FROM pg_catalog.pg_class c "
                      "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                      "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
                      "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
                      "WHERE n.nspname = $1 ORDER BY 1, 3") +
               rowsOf("SELECT conname, pg_catalog.pg_get_constraintdef(c.oid) FROM pg_catalog.pg_constraint c "
                      "JOIN pg_catalog.pg_namespace n ON n.oid = c.connamespace WHERE n.nspname = $1 ORDER BY 1") +
               rowsOf("SELECT indexdef FROM pg_catalog.pg_indexes WHERE schemaname = $1 ORDER BY 1") +
               rowsOf("SELECT typname FROM pg_catalog.pg_type t JOIN pg_catalog.pg_namespace n "
                      "ON n.oid = t.typnamespace WHERE n.nspname = $1 ORDER BY 1");
    }

    std::string rows() const {
        return rowsOf("SELECT * FROM parent ORDER BY id") + rowsOf("SELECT * FROM child ORDER BY id");
    }

    sql::diagnostics apply(const sql::migration& plan, const std::string& extra = std::string()) const {
        pgConnection c(pgServer::conninfo(schema) + extra);
        return sql::applyMigration(c.conn, plan, options);
    }
};

TEST_F(PgApply, EveryKindOfStepKeepsEveryRow) {
    const sql::diagnostics problems = apply(everyKindOfStep());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    EXPECT_EQ(rowsOf("SELECT id, name FROM parent ORDER BY id"), "1|one\n2|two\n");
    EXPECT_EQ(rowsOf("SELECT id, parent_id FROM child ORDER BY id"), "10|1\n11|2\n");
}

TEST_F(PgApply, FailingStatementAnywhereLeavesCatalogueAndRows) {
    const std::string catalogueBefore = catalogue();
    const std::string rowsBefore = rows();
    const sql::migration plan = everyKindOfStep();
    for (std::size_t n = 0; n < statementCount(plan); ++n) {
        const sql::diagnostics problems = apply(failingAt(plan, n));
        EXPECT_EQ(countCode(problems, "sql.apply.statement"), 1) << "statement " << n << "\n" << describeAll(problems);
        EXPECT_EQ(catalogue(), catalogueBefore) << "statement " << n;
        EXPECT_EQ(rows(), rowsBefore) << "statement " << n;
    }
}

TEST_F(PgApply, ReadOnlySessionIsRefusedBeforeAnythingRuns) {
    const std::string catalogueBefore = catalogue();
    const sql::diagnostics problems = apply(everyKindOfStep(), " options='-c default_transaction_read_only=on'");
    EXPECT_EQ(countCode(problems, "sql.apply.read-only"), 1) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(PgApply, ConnectionInsideATransactionIsRefused) {
    pgConnection c(pgServer::conninfo(schema));
    PQclear(PQexec(c.conn, "BEGIN"));
    EXPECT_EQ(countCode(sql::applyMigration(c.conn, everyKindOfStep(), options), "sql.apply.transaction"), 1);
    EXPECT_EQ(countCode(sql::applyMigration(static_cast<pg_conn*>(nullptr), everyKindOfStep(), options),
                        "sql.apply.connection"), 1);
}

// The session that runs the migration is ended by another one while a step
// sleeps, after the steps before it changed catalogue and rows.
TEST_F(PgApply, SessionKilledMidStepLeavesTheDatabaseAsItWas) {
    const std::string catalogueBefore = catalogue();
    const std::string rowsBefore = rows();
    sql::migration plan = everyKindOfStep();
    plan.steps.insert(plan.steps.end() - 1, stepOf(sql::eStepAddStatement, L"parent",
                                                   {"INSERT INTO parent VALUES (3, 'three')", "SELECT pg_sleep(60)"}));
    pgConnection victim(pgServer::conninfo(schema));
    ASSERT_EQ(PQstatus(victim.conn), CONNECTION_OK);
    const std::string pid = std::to_string(PQbackendPID(victim.conn));
    sql::diagnostics problems;
    std::thread running([&] { problems = sql::applyMigration(victim.conn, plan, options); });
    std::string killed;
    for (int tries = 0; tries < 200 && killed != "t\n"; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        killed = rowsOf("SELECT pg_catalog.pg_terminate_backend(pid) FROM pg_catalog.pg_stat_activity "
                        "WHERE pid = " + pid + " AND wait_event = 'PgSleep'");
    }
    running.join();
    EXPECT_EQ(killed, "t\n");
    EXPECT_EQ(countCode(problems, "sql.apply.lost"), 1) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
    EXPECT_EQ(rows(), rowsBefore);
}

// Another session holds a lock the migration needs: the wait ends at the
// apply's timeout, which holds for its transaction alone.
TEST_F(PgApply, LockHeldByAnotherSessionEndsInATimeoutAndChangesNothing) {
    const std::string catalogueBefore = catalogue();
    const std::string rowsBefore = rows();
    pgConnection holder(pgServer::conninfo(schema));
    PQclear(PQexec(holder.conn, "BEGIN; LOCK TABLE parent IN ACCESS EXCLUSIVE MODE"));
    options.timeoutS = 1;
    pgConnection session(pgServer::conninfo(schema));
    const sql::diagnostics problems = sql::applyMigration(session.conn, everyKindOfStep(), options);
    PQclear(PQexec(holder.conn, "ROLLBACK"));
    EXPECT_EQ(countCode(problems, "sql.timeout"), 1) << describeAll(problems);
    EXPECT_EQ(countCode(problems, "sql.apply.statement"), 0);
    EXPECT_EQ(catalogue(), catalogueBefore);
    EXPECT_EQ(rows(), rowsBefore);
    PGresult* setting = PQexec(session.conn, "SHOW lock_timeout");
    EXPECT_EQ(std::string(PQgetvalue(setting, 0, 0)), "0");
    PQclear(setting);
}

TEST_F(PgApply, StatementLongerThanTheTimeoutEndsInATimeout) {
    sql::migration plan = everyKindOfStep();
    plan.steps.insert(plan.steps.begin() + 2, stepOf(sql::eStepAddStatement, L"parent", {"SELECT pg_sleep(5)"}));
    options.timeoutS = 1;
    const std::string rowsBefore = rows();
    const sql::diagnostics problems = apply(plan);
    EXPECT_EQ(countCode(problems, "sql.timeout"), 1) << describeAll(problems);
    EXPECT_EQ(rows(), rowsBefore);
}

// A role that owns nothing the migration changes, and may create nothing.
TEST_F(PgApply, RoleWithoutPrivilegesIsRefusedBeforeAnythingRuns) {
    const std::string role = "nobody_" + schema;
    pgServer::run("CREATE ROLE " + role + " LOGIN; GRANT USAGE ON SCHEMA " + schema + " TO " + role +
                  "; GRANT SELECT ON ALL TABLES IN SCHEMA " + schema + " TO " + role);
    const std::string catalogueBefore = catalogue();
    sql::diagnostics problems = apply(everyKindOfStep(), " user=" + role);
    EXPECT_EQ(countCode(problems, "sql.apply.privilege"), 3) << describeAll(problems);  // parent, child, the schema
    EXPECT_EQ(countCode(problems, "sql.apply.statement"), 0);
    EXPECT_EQ(catalogue(), catalogueBefore);
    // A migration that only changes a table the role owns runs.
    pgServer::run("ALTER TABLE " + schema + ".child OWNER TO " + role);
    sql::migration own;
    own.steps.push_back(stepOf(sql::eStepDropColumn, L"child.note", {"ALTER TABLE child DROP COLUMN note"}, true));
    problems = apply(own, " user=" + role);
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    pgServer::run("DROP SCHEMA " + schema + " CASCADE; DROP ROLE " + role);
}

}  // namespace

namespace {

// Plans reflected from the schema and applied with both checks, as kymdl
// apply does; the target is the same schema in a database of its own.
class PgApplyChecked : public PgApply {
protected:
    ky::refPtr<modelInfo> current;
    ky::refPtr<modelInfo> target;

    void SetUp() override {
        PgApply::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const std::string database = "target_" + schema;
        pgServer::run("CREATE DATABASE " + database);
        pgConnection other(pgServer::conninfo() + " dbname=" + database);
        PQclear(PQexec(other.conn, ("CREATE SCHEMA " + schema + "; SET search_path = " + schema +
                                    "; CREATE TABLE parent (id integer PRIMARY KEY, name varchar(40) NOT NULL, email text);"
                                    "CREATE TABLE child (id integer PRIMARY KEY, parent_id integer REFERENCES parent "
                                    "ON DELETE CASCADE, note text);"
                                    "CREATE INDEX child_note ON child (note)")
                                       .c_str()));
        options.reflect.schemas = {ky::string::fromUtf8(schema)};
        target = reflected(other.conn);
        current = reflected(pgConnection(pgServer::conninfo(schema)).conn);
        options.planned = current.get();
        options.expected = target.get();
    }

    ky::refPtr<modelInfo> reflected(PGconn* conn) const {
        sql::reflectResult result = sql::reflectPostgresql(conn, options.reflect);
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }

    sql::migration plan() const {
        sql::migrationOptions planOptions;
        planOptions.dialect = sql::ePostgresql;
        return sql::createMigration(*current, *target, planOptions);
    }
};

TEST_F(PgApplyChecked, SecondDiffAfterApplyIsEmpty) {
    const sql::diagnostics problems = apply(plan());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    sql::migrationOptions planOptions;
    planOptions.dialect = sql::ePostgresql;
    const sql::migration again =
        sql::createMigration(*reflected(pgConnection(pgServer::conninfo(schema)).conn), *target, planOptions);
    EXPECT_TRUE(again.steps.empty()) << again.sql();
    EXPECT_EQ(rows(), "1|one|\n2|two|\n10|1|a\n11|2|\n");
}

// The check reads under an empty search path of its own; the steps after
// it name their objects unqualified and must land in the session's schema.
TEST_F(PgApplyChecked, StepsAfterThePlannedCheckRunUnderTheSessionsSearchPath) {
    options.expected = nullptr;
    const sql::diagnostics problems = apply(everyKindOfStep());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    EXPECT_EQ(rowsOf("SELECT count(*) FROM pg_catalog.pg_type t JOIN pg_catalog.pg_namespace n ON n.oid = t.typnamespace "
                     "WHERE t.typname = 'mood' AND n.nspname = $1"), "1\n");
}

TEST_F(PgApplyChecked, DatabaseChangedBetweenPlanAndRunIsRefused) {
    const sql::migration planned = plan();
    pgServer::run("ALTER TABLE " + schema + ".child ADD COLUMN added_meanwhile integer");
    const std::string catalogueBefore = catalogue();
    const sql::diagnostics problems = apply(planned);
    EXPECT_EQ(countCode(problems, "sql.apply.changed"), 2) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

}  // namespace
