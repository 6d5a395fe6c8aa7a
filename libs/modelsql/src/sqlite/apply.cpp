// Applying a migration on SQLite. The transaction is BEGIN IMMEDIATE: the
// write lock is taken before the first reflection, so no other connection
// changes the database between that check and the steps. A plan that
// rebuilds a table (new table, rows copied, old dropped, new renamed) needs
// foreign keys off while it runs, and PRAGMA foreign_keys does nothing
// inside a transaction: it is turned off before BEGIN and back on after the
// end, whatever the end. With the keys off nothing checks the rows a rebuild
// copies, so PRAGMA foreign_key_check runs before COMMIT; the violations the
// database held before the steps are its own and are left to it, any other
// one refuses the migration. A process killed in the middle leaves a hot
// journal that the next connection rolls back.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "migration_apply.h"

namespace ky::metamodel::sql {

namespace {

using detail::makeDiagnostic;
using detail::wide;

// The rows PRAGMA foreign_key_check names, as "table rowid parent".
std::set<std::string> violations(sqlite3* db, bool& read) {
    std::set<std::string> found;
    sqlite3_stmt* stmt = nullptr;
    read = sqlite3_prepare_v2(db, "PRAGMA foreign_key_check", -1, &stmt, nullptr) == SQLITE_OK;
    int rc = SQLITE_DONE;
    while (read && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        std::string row;
        for (int column = 0; column < 3; ++column) {
            const unsigned char* text = sqlite3_column_text(stmt, column);
            row.append(text ? reinterpret_cast<const char*>(text) : "").push_back('\x1f');
        }
        found.insert(std::move(row));
    }
    read = read && rc == SQLITE_DONE;
    sqlite3_finalize(stmt);
    return found;
}

class sqliteSession final : public detail::applySession {
public:
    sqliteSession(sqlite3* db, bool foreignKeysOff, int timeoutS)
        : mDb(db), mForeignKeysOff(foreignKeysOff), mTimeoutMs(timeoutS > 0 ? std::min(timeoutS, 2000000) * 1000 : 0) {}
    ~sqliteSession() override {
        if (mKeysTurnedOff) sqlite3_exec(mDb, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    }
    sqliteSession(const sqliteSession&) = delete;
    sqliteSession& operator=(const sqliteSession&) = delete;

    eDialect dialect() const override { return eSqlite; }

    bool usable(diagnostics& problems) override {
        if (!mDb) return fail(problems, "sql.apply.connection", L"no SQLite connection was given", false);
        if (!sqlite3_get_autocommit(mDb))
            return fail(problems, "sql.apply.transaction", L"the connection is inside a transaction", false);
        if (sqlite3_db_readonly(mDb, "main") != 0)
            return fail(problems, "sql.apply.read-only", L"the database may not be written: nothing is run", false);
        return true;
    }

    bool begin(diagnostics& problems) override {
        if (mForeignKeysOff && keysOn()) {
            sqlite3_exec(mDb, "PRAGMA foreign_keys=OFF", nullptr, nullptr, nullptr);
            mKeysTurnedOff = true;
        }
        // The host's busy handler waits first; the timeout's own wait goes on
        // from there, so that the connection's settings stay the host's.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(mTimeoutMs);
        int rc = sqlite3_exec(mDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        while (rc == SQLITE_BUSY && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            rc = sqlite3_exec(mDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_BUSY)
            return fail(problems, "sql.timeout", L"another connection holds the database's lock: nothing is run", true);
        if (rc != SQLITE_OK) return fail(problems, "sql.apply.begin", L"the transaction could not begin", true);
        if (!mForeignKeysOff) return true;
        bool read = false;
        mViolationsBefore = violations(mDb, read);
        return read || fail(problems, "sql.apply.foreign-key", L"the foreign keys could not be checked", true);
    }

    bool run(const std::string& statement, const ky::string& what, const ky::string& element,
             diagnostics& problems) override {
        if (sqlite3_exec(mDb, statement.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        problems.push_back(makeDiagnostic(eError, "sql.apply.statement",
                                          L"the database refused a statement of '" + what + L"': rolled back", element,
                                          {}, wide(sqlite3_errmsg(mDb))));
        return false;
    }

    reflectResult reflect(const reflectOptions& options) override {
        return detail::reflectSqliteInside(mDb, options);
    }

    bool check(diagnostics& problems) override {
        if (!mForeignKeysOff) return true;
        bool read = false;
        const std::set<std::string> after = violations(mDb, read);
        if (!read) return fail(problems, "sql.apply.foreign-key", L"the foreign keys could not be checked", true);
        std::size_t added = 0;
        for (const std::string& row : after) added += mViolationsBefore.count(row) == 0;
        if (added == 0) return true;
        problems.push_back(makeDiagnostic(eError, "sql.apply.foreign-key",
                                          L"after the migration " + std::to_wstring(added) +
                                              L" rows break a foreign key: rolled back"));
        return false;
    }

    bool commit(diagnostics& problems) override {
        return sqlite3_exec(mDb, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ||
               fail(problems, "sql.apply.commit", L"the transaction could not commit", true);
    }

    void rollback() override {
        if (!sqlite3_get_autocommit(mDb)) sqlite3_exec(mDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    bool lost() const override { return false; }

private:
    bool keysOn() const {
        sqlite3_stmt* stmt = nullptr;
        bool on = false;
        if (sqlite3_prepare_v2(mDb, "PRAGMA foreign_keys", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            on = sqlite3_column_int(stmt, 0) != 0;
        sqlite3_finalize(stmt);
        return on;
    }

    bool fail(diagnostics& problems, const char* code, const wchar_t* what, bool withMessage) const {
        problems.push_back(
            makeDiagnostic(eError, code, what, {}, {}, withMessage ? wide(sqlite3_errmsg(mDb)) : ky::string()));
        return false;
    }

    sqlite3* mDb;                              // the host's connection
    bool mForeignKeysOff;                      // the plan rebuilds a table
    int mTimeoutMs;                            // applyOptions::timeoutS; 0: the connection's own busy timeout
    bool mKeysTurnedOff = false;               // foreign_keys was on and is off until the session ends
    std::set<std::string> mViolationsBefore;   // foreign_key_check's rows before the steps
};

}  // namespace

diagnostics applyMigration(sqlite3* connection, const migration& steps, const applyOptions& options) {
    sqliteSession session(connection, steps.foreignKeysOff, options.timeoutS);
    diagnostics problems = detail::applyThrough(session, steps, options);
    if (connection) detail::stampSource(problems, 0, wide(sqlite3_db_filename(connection, "main")));
    return problems;
}

}  // namespace ky::metamodel::sql
