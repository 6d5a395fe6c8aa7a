// applyMigration on SQLite files: a migration that fails anywhere, is
// refused, or whose process dies in the middle leaves the catalogue and
// every row as they were; a rebuild runs with foreign keys off and is
// checked before it commits. The migrations are written by hand, as plain
// data, so that the n-th statement can be made to fail.
#include <signal.h>
#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

constexpr const char* schemaSql =
    "CREATE TABLE parent (id INTEGER PRIMARY KEY, name TEXT NOT NULL);"
    "CREATE TABLE child (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES parent(id), note TEXT);"
    "CREATE INDEX child_parent ON child (parent_id);"
    "INSERT INTO parent VALUES (1, 'one'), (2, 'two'), (3, 'three');"
    "INSERT INTO child VALUES (10, 1, 'a'), (11, 2, NULL), (12, 2, 'c');";

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

// Steps of every kind SQLite runs, each changing catalogue or rows.
sql::migration everyKindOfStep() {
    sql::migration plan;
    plan.steps.push_back(stepOf(sql::eStepCreateTable, L"tag", {"CREATE TABLE tag (id INTEGER PRIMARY KEY, label TEXT)"}));
    plan.steps.push_back(stepOf(sql::eStepAddColumn, L"parent.email", {"ALTER TABLE parent ADD COLUMN email TEXT NOT NULL DEFAULT ''"}));
    plan.steps.push_back(stepOf(sql::eStepCreateIndex, L"parent.parent_email", {"CREATE INDEX parent_email ON parent (email)"}));
    plan.steps.push_back(stepOf(sql::eStepDropIndex, L"child.child_parent", {"DROP INDEX child_parent"}));
    plan.steps.push_back(stepOf(sql::eStepRenameColumn, L"child.note", {"ALTER TABLE child RENAME COLUMN note TO remark"}));
    plan.steps.push_back(stepOf(sql::eStepCreateView, L"names", {"CREATE VIEW names AS SELECT name FROM parent"}));
    plan.steps.push_back(stepOf(sql::eStepRebuildTable, L"child",
                                {"CREATE TABLE child_new (id INTEGER PRIMARY KEY, parent_id INTEGER NOT NULL REFERENCES parent(id), remark TEXT)",
                                 "INSERT INTO child_new (id, parent_id, remark) SELECT id, parent_id, remark FROM child",
                                 "DROP TABLE child", "ALTER TABLE child_new RENAME TO child"}));
    plan.steps.push_back(stepOf(sql::eStepDropTable, L"tag", {"DROP TABLE tag"}, true));
    plan.foreignKeysOff = true;
    return plan;
}

// A rebuild of parent, which child references, keeping the rows `kept` selects.
sql::migration parentRebuild(const std::string& kept = "SELECT * FROM parent") {
    sql::migration plan;
    plan.foreignKeysOff = true;
    plan.steps.push_back(stepOf(sql::eStepRebuildTable, L"parent",
                                {"CREATE TABLE parent_new (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
                                 "INSERT INTO parent_new " + kept, "DROP TABLE parent",
                                 "ALTER TABLE parent_new RENAME TO parent"}));
    return plan;
}

std::size_t statementCount(const sql::migration& plan) {
    std::size_t count = 0;
    for (const auto& step : plan.steps) count += step.statements.size();
    return count;
}

// `plan` with its n-th statement (counted over all steps from 0) replaced by
// one that SQLite refuses.
sql::migration failingAt(sql::migration plan, std::size_t n) {
    for (auto& step : plan.steps)
        for (auto& statement : step.statements)
            if (n-- == 0) statement = "INSERT INTO no_such_table VALUES (1)";
    return plan;
}

class SqliteApply : public ::testing::Test {
protected:
    std::string path = sqliteFileWith(schemaSql);
    sql::applyOptions options;

    SqliteApply() { options.allowDestructive = true; }

    // Every row `sql` answers, columns separated by '|', rows by line breaks.
    static std::string rowsOf(sqlite3* db, const std::string& sql) {
        std::string out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return "error: " + std::string(sqlite3_errmsg(db));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const unsigned char* text = sqlite3_column_text(stmt, i);
                out += (i ? "|" : "") + (text ? std::string(reinterpret_cast<const char*>(text)) : std::string("NULL"));
            }
            out += "\n";
        }
        sqlite3_finalize(stmt);
        return out;
    }

    std::string catalogue() const {
        sqliteConnection c(path);
        return rowsOf(c.db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name");
    }

    std::string rows() const {
        sqliteConnection c(path);
        return rowsOf(c.db, "SELECT * FROM parent ORDER BY id") + rowsOf(c.db, "SELECT * FROM child ORDER BY id");
    }

    sql::diagnostics apply(const sql::migration& plan) const {
        sqliteConnection c(path);
        return sql::applyMigration(c.db, plan, options);
    }
};

TEST_F(SqliteApply, EveryKindOfStepKeepsEveryRow) {
    const sql::diagnostics problems = apply(everyKindOfStep());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    sqliteConnection c(path);
    EXPECT_EQ(rowsOf(c.db, "SELECT id, name, email FROM parent ORDER BY id"), "1|one|\n2|two|\n3|three|\n");
    EXPECT_EQ(rowsOf(c.db, "SELECT id, parent_id, remark FROM child ORDER BY id"), "10|1|a\n11|2|NULL\n12|2|c\n");
}

TEST_F(SqliteApply, FailingStatementAnywhereLeavesCatalogueAndRows) {
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

TEST_F(SqliteApply, FailureNamesTheStepAndTheDatabasesMessage) {
    const sql::diagnostics problems = apply(failingAt(everyKindOfStep(), 1));
    ASSERT_EQ(problems.size(), 1u) << describeAll(problems);
    EXPECT_EQ(problems[0].table, L"parent.email");
    EXPECT_NE(problems[0].message.find(L"add column parent.email"), ky::string::npos);
    EXPECT_NE(problems[0].databaseMessage.find(L"no_such_table"), ky::string::npos);
}

TEST_F(SqliteApply, DestructiveStepRefusesThePlanBeforeAnythingRuns) {
    options.allowDestructive = false;
    const std::string catalogueBefore = catalogue();
    const sql::diagnostics problems = apply(everyKindOfStep());
    EXPECT_EQ(countCode(problems, "sql.apply.destructive"), 1) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(SqliteApply, PlanWithErrorsIsNotRun) {
    sql::migration plan = everyKindOfStep();
    plan.problems.push_back(sql::diagnostic::make(eError, L"sql.migrate.x", L"broken"));
    const std::string catalogueBefore = catalogue();
    EXPECT_EQ(countCode(apply(plan), "sql.apply.plan"), 1);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(SqliteApply, ReadOnlyDatabaseIsRefused) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const sql::diagnostics problems = sql::applyMigration(db, everyKindOfStep(), options);
    sqlite3_close(db);
    EXPECT_EQ(countCode(problems, "sql.apply.read-only"), 1) << describeAll(problems);
}

TEST_F(SqliteApply, FileTheProcessMayNotWriteIsRefused) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    if (::access(path.c_str(), W_OK) == 0) GTEST_SKIP() << "the process writes read-only files (running as root)";
    const std::string catalogueBefore = catalogue();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const sql::diagnostics problems = sql::applyMigration(db, everyKindOfStep(), options);
    sqlite3_close(db);
    EXPECT_EQ(countCode(problems, "sql.apply.read-only"), 1) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(SqliteApply, LockHeldByAnotherConnectionEndsInATimeout) {
    sqliteConnection holder(path);
    holder.run("BEGIN IMMEDIATE");
    options.timeoutS = 1;
    const std::string catalogueBefore = catalogue();
    sqliteConnection c(path);
    sqlite3_busy_timeout(c.db, 0);
    const auto start = std::chrono::steady_clock::now();
    const sql::diagnostics problems = sql::applyMigration(c.db, everyKindOfStep(), options);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    holder.run("ROLLBACK");
    EXPECT_EQ(countCode(problems, "sql.timeout"), 1) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(SqliteApply, ConnectionInsideATransactionIsRefused) {
    sqliteConnection c(path);
    c.run("BEGIN");
    EXPECT_EQ(countCode(sql::applyMigration(c.db, everyKindOfStep(), options), "sql.apply.transaction"), 1);
    EXPECT_EQ(countCode(sql::applyMigration(static_cast<sqlite3*>(nullptr), everyKindOfStep(), options), "sql.apply.connection"), 1);
}

TEST_F(SqliteApply, RebuildTurnsForeignKeysOffAroundTheTransactionOnly) {
    sqliteConnection c(path);
    c.run("PRAGMA foreign_keys=ON");
    const sql::diagnostics problems = sql::applyMigration(c.db, parentRebuild(), options);
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    EXPECT_EQ(rowsOf(c.db, "SELECT * FROM parent ORDER BY id"), "1|one\n2|two\n3|three\n");
    EXPECT_EQ(rowsOf(c.db, "PRAGMA foreign_keys"), "1\n");
}

TEST_F(SqliteApply, RebuildThatBreaksAForeignKeyIsRolledBack) {
    sqliteConnection c(path);
    c.run("PRAGMA foreign_keys=ON");
    const std::string rowsBefore = rows();
    EXPECT_EQ(countCode(sql::applyMigration(c.db, parentRebuild("SELECT * FROM parent WHERE id <> 2"), options),
                        "sql.apply.foreign-key"), 1);
    EXPECT_EQ(rows(), rowsBefore);
    EXPECT_EQ(rowsOf(c.db, "PRAGMA foreign_keys"), "1\n");
}

TEST_F(SqliteApply, ViolationsTheDatabaseHeldBeforeDoNotRefuseARebuild) {
    sqliteConnection(path).run("INSERT INTO child VALUES (13, 99, 'orphan')");
    const sql::diagnostics problems = apply(parentRebuild());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
}

// SQLite calls this from a step of the child's migration: it tells the
// parent that the transaction is under way and waits to be killed.
void pauseHere(sqlite3_context* context, int, sqlite3_value**) {
    const int fd = *static_cast<int*>(sqlite3_user_data(context));
    const char ready = 'r';
    if (::write(fd, &ready, 1) != 1) _exit(3);
    for (;;) ::pause();
}

TEST_F(SqliteApply, ProcessKilledMidTransactionLeavesTheDatabaseAsItWas) {
    const std::string catalogueBefore = catalogue();
    const std::string rowsBefore = rows();
    sql::migration plan = everyKindOfStep();
    plan.steps.insert(plan.steps.end() - 1, stepOf(sql::eStepAddStatement, L"parent", {"SELECT pause_here()"}));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_create_function(db, "pause_here", 0, SQLITE_UTF8, &pipeFds[1], pauseHere, nullptr, nullptr);
        sql::applyMigration(db, plan, options);
        _exit(2);
    }
    char ready = 0;
    EXPECT_EQ(::read(pipeFds[0], &ready, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(catalogue(), catalogueBefore);
    EXPECT_EQ(rows(), rowsBefore);
}

}  // namespace

namespace {

// Plans reflected from the database and applied with both checks, as
// kymdl apply does.
class SqliteApplyChecked : public SqliteApply {
protected:
    static ky::refPtr<modelInfo> reflected(const std::string& file) {
        sql::reflectResult result = sql::reflectSqliteFile(file, {});
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }

    ky::refPtr<modelInfo> current = reflected(path);
    ky::refPtr<modelInfo> target = reflected(sqliteFileWith(
        "CREATE TABLE parent (id INTEGER PRIMARY KEY, name TEXT NOT NULL, email TEXT);"
        "CREATE TABLE child (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES parent(id), note TEXT);"
        "CREATE TABLE tag (id INTEGER PRIMARY KEY, label TEXT NOT NULL DEFAULT '')"));

    sql::migration plan() const { return sql::createMigration(*current, *target, {}); }

    void SetUp() override {
        options.planned = current.get();
        options.expected = target.get();
    }
};

TEST_F(SqliteApplyChecked, SecondDiffAfterApplyIsEmpty) {
    const sql::diagnostics problems = apply(plan());
    EXPECT_TRUE(problems.empty()) << describeAll(problems);
    const sql::migration again = sql::createMigration(*reflected(path), *target, {});
    EXPECT_TRUE(again.steps.empty()) << again.sql();
    EXPECT_EQ(rows(), "1|one|NULL\n2|two|NULL\n3|three|NULL\n10|1|a\n11|2|NULL\n12|2|c\n");
}

TEST_F(SqliteApplyChecked, DatabaseChangedBetweenPlanAndRunIsRefused) {
    const sql::migration planned = plan();
    sqliteConnection(path).run("ALTER TABLE child ADD COLUMN added_meanwhile INTEGER");
    const std::string catalogueBefore = catalogue();
    const sql::diagnostics problems = apply(planned);
    EXPECT_EQ(countCode(problems, "sql.apply.changed"), 2) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

TEST_F(SqliteApplyChecked, StepsThatMissTheModelAreRolledBack) {
    sql::migration partial = plan();
    ASSERT_GE(partial.steps.size(), 2u) << partial.sql();
    partial.steps.pop_back();
    const std::string catalogueBefore = catalogue();
    const sql::diagnostics problems = apply(partial);
    EXPECT_GE(countCode(problems, "sql.apply.differs"), 2) << describeAll(problems);
    EXPECT_EQ(catalogue(), catalogueBefore);
}

}  // namespace
