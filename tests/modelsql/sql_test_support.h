// What the SQL tests share: a scratch directory per process, SQLite files
// made from SQL text, the PostgreSQL server the tests start (one per test
// process, only when a PostgreSQL test runs), a base of the reflection tests.
#pragma once

#include <gtest/gtest.h>

#include <kymdlsql.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kysqltest {

using namespace ky::metamodel;

// A directory of its own for this process, removed at exit.
const std::filesystem::path& scratchDir();

// A new path in the scratch directory (the file does not exist yet).
std::string freshPath(const std::string& stem);

// Runs `sql` on a new SQLite file and answers its path; fails the test on error.
std::string sqliteFileWith(const std::string& sql);

// A SQLite connection (to a database in memory unless a path is given),
// closed with the object.
struct sqliteConnection {
    sqlite3* db = nullptr;
    explicit sqliteConnection(const std::string& path = ":memory:") { sqlite3_open(path.c_str(), &db); }
    ~sqliteConnection() { sqlite3_close(db); }
    void run(const std::string& sql) const { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
};

// The text of a file under tests/modelsql/.
std::string readTestFile(const std::string& relative);

// The server the PostgreSQL tests use.
class pgServer {
public:
    // Whether the server runs; when not, why (binaries missing, or a failure).
    static bool running();
    static bool binariesMissing();
    static const std::string& why();
    // A connection string for the database postgres, with `schema` first on
    // the search path when given.
    static std::string conninfo(const std::string& schema = std::string());
    // A new empty schema whose name is unique in the process.
    static std::string freshSchema();
    // Runs SQL as the superuser; fails the test on error.
    static void run(const std::string& sql);
};

// Skips a PostgreSQL test where the server binaries are missing, fails it
// where the server could not start.
#define KY_REQUIRE_PG()                                                                     \
    do {                                                                                    \
        if (::kysqltest::pgServer::binariesMissing()) GTEST_SKIP() << ::kysqltest::pgServer::why(); \
        ASSERT_TRUE(::kysqltest::pgServer::running()) << ::kysqltest::pgServer::why();      \
    } while (false)

// A reflection test's options and result, and the fields of the result.
class reflectTest : public ::testing::Test {
protected:
    sql::reflectOptions options;
    sql::reflectResult result;

    ky::refPtr<fieldInfo> fieldOf(const wchar_t* table, const wchar_t* column) {
        return result.model ? result.model->fieldInfo(table, column, false) : ky::refPtr<fieldInfo>();
    }
};

// The item values of a field's enumeration as SQLite literals, in order,
// separated by spaces; empty without items.
std::string enumerationOf(const fieldInfo& field);

// The diagnostics as text, one per line (for failure messages).
std::string describeAll(const sql::diagnostics& problems);

// The rows `sql` answers on `conn` with `schema` first on the search path:
// fields joined by "|", rows by ";", NULL as NULL; the server's message
// when it answers no rows.
std::string pgRows(PGconn* conn, const std::string& schema, const std::string& sql);

// The number of diagnostics with `code`.
int countCode(const sql::diagnostics& problems, const std::string& code);

}  // namespace kysqltest
