// Reflection of a SQLite database: three catalogue queries over
// sqlite_schema joined with the pragma table functions, and one for the text
// of the tables that have CHECK constraints, in one read transaction,
// whatever the number of tables. Names reach SQLite only as values of the
// pragma functions, never as SQL text.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

using detail::catalogue;
using detail::catTable;
using detail::makeDiagnostic;
using detail::wide;

constexpr const char* columnsQuery =
    "SELECT m.name, p.name, p.type, p.\"notnull\", p.dflt_value, p.pk "
    "FROM sqlite_schema AS m JOIN pragma_table_info(m.name) AS p "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";

constexpr const char* foreignKeysQuery =
    "SELECT m.name, f.id, f.\"table\", f.\"from\", f.\"to\" "
    "FROM sqlite_schema AS m JOIN pragma_foreign_key_list(m.name) AS f "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    "ORDER BY m.rowid, f.id, f.seq";

// Unique indexes of one plain column, whether made by a UNIQUE constraint
// or by CREATE UNIQUE INDEX; the primary key's own index is not one of them.
constexpr const char* uniqueQuery =
    "SELECT m.name, MIN(c.name) "
    "FROM sqlite_schema AS m JOIN pragma_index_list(m.name) AS i JOIN pragma_index_info(i.name) AS c "
    "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    "AND i.\"unique\" = 1 AND i.partial = 0 AND i.origin <> 'pk' "
    "GROUP BY m.rowid, i.name HAVING COUNT(*) = 1 AND MIN(c.name) IS NOT NULL "
    "ORDER BY m.rowid";

// The tables whose text mentions CHECK (LIKE folds ASCII letters): only
// they can hold the enumeration checks the DDL writes.
constexpr const char* checksQuery =
    "SELECT name, sql FROM sqlite_schema "
    "WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND sql LIKE '%check%'";

struct reader {
    sqlite3* db;
    const reflectOptions& options;
    diagnostics& problems;
    catalogue cat;
    std::unordered_map<std::string, std::size_t> tableIndex;  // UTF-8 name → index in cat.tables
    std::unordered_map<std::string, bool> selected;          // cached pattern answers

    const char* failCode(int rc) const {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return "sql.locked";
        if (rc == SQLITE_NOTADB) return "sql.not-a-database";
        return "sql.query";
    }

    void fail(int rc, const wchar_t* what) {
        problems.push_back(makeDiagnostic(eError, failCode(rc), what, {}, {}, wide(sqlite3_errmsg(db))));
    }

    bool isSelected(const std::string& name) {
        auto it = selected.find(name);
        if (it != selected.end()) return it->second;
        return selected[name] = detail::tableSelected(options, wide(name));
    }

    catTable* tableNamed(const std::string& name) {
        auto it = tableIndex.find(name);
        return it == tableIndex.end() ? nullptr : &cat.tables[it->second];
    }
};

ky::string wideAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? wide(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                : ky::string();
}

std::string textAt(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                : std::string();
}

// Runs `sql` and hands each row to `row`; false (with a diagnostic) when
// SQLite fails.
template <class Row>
bool eachRow(reader& r, const char* sql, const wchar_t* what, Row&& row) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(r.db, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        r.fail(rc, what);
        sqlite3_finalize(stmt);
        return false;
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    if (rc != SQLITE_DONE) r.fail(rc, what);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

// The rows of one table come together, in column order, as the pragma
// answers them; the scan of sqlite_schema gives the tables in creation order.
// A table's columns gather in one list that is reused, and each table gets
// a copy of exactly its size: tens of thousands of tables would otherwise
// keep the spare room of a doubled list each.
bool readColumns(reader& r) {
    std::string current;
    std::vector<detail::catColumn> gathered;
    catTable* table = nullptr;
    bool first = true;
    auto flush = [&] {
        if (table) table->columns.assign(std::make_move_iterator(gathered.begin()), std::make_move_iterator(gathered.end()));
        gathered.clear();
        table = nullptr;
    };
    const bool read = eachRow(r, columnsQuery, L"the columns could not be read", [&](sqlite3_stmt* stmt) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        if (first || current != name) {
            first = false;
            flush();
            current = name;
            if (r.isSelected(current)) {
                auto known = r.tableIndex.emplace(current, r.cat.tables.size());
                if (known.second) r.cat.tables.emplace_back().name = wide(current);
                table = &r.cat.tables[known.first->second];
                // A table met again (sqlite_schema's names are unique, so
                // only in theory) keeps the columns it had first.
                for (detail::catColumn& column : table->columns) gathered.push_back(std::move(column));
            }
        }
        if (!table) return;
        detail::catColumn& column = gathered.emplace_back();
        column.name = wideAt(stmt, 1);
        column.sqlType = wideAt(stmt, 2);
        column.notNull = sqlite3_column_int(stmt, 3) != 0;
        column.hasDefault = sqlite3_column_type(stmt, 4) != SQLITE_NULL;
        if (column.hasDefault) column.defaultText = wideAt(stmt, 4);
        column.keyPosition = sqlite3_column_int(stmt, 5);
    });
    flush();
    return read;
}

bool readForeignKeys(reader& r) {
    std::string lastTable;
    int lastId = -1;
    return eachRow(r, foreignKeysQuery, L"the foreign keys could not be read", [&](sqlite3_stmt* stmt) {
        const std::string name = textAt(stmt, 0);
        catTable* table = r.tableNamed(name);
        if (!table) return;
        const int id = sqlite3_column_int(stmt, 1);
        if (name != lastTable || id != lastId) {
            table->foreignKeys.emplace_back();
            table->foreignKeys.back().target = wideAt(stmt, 2);
            lastTable = name;
            lastId = id;
        }
        detail::catForeignKey& fk = table->foreignKeys.back();
        fk.from.push_back(wideAt(stmt, 3));
        // A foreign key written without target columns leads to the
        // target's primary key; SQLite answers NULL for them.
        if (sqlite3_column_type(stmt, 4) != SQLITE_NULL) fk.to.push_back(wideAt(stmt, 4));
    });
}

bool readUniques(reader& r) {
    return eachRow(r, uniqueQuery, L"the unique indexes could not be read", [&](sqlite3_stmt* stmt) {
        if (catTable* table = r.tableNamed(textAt(stmt, 0))) table->uniqueColumns.push_back(wideAt(stmt, 1));
    });
}

// ---- the enumeration checks in a table's text ----
//
// The DDL writes an enumeration as a column constraint
// `CHECK (column IN (literal, ...))`. Only that shape is read, as a column
// constraint or as a table constraint: a column's name (as written, quoted
// or not), the literals a default may have (strings, numbers, TRUE and
// FALSE, blobs). A column gets items only when that check is the only one
// that names it; a check of any other shape takes the items from every
// column it names. Nothing is guessed.

struct token {
    enum kind { word, name, literal, punct } type;
    std::string text;  // a name unquoted; a literal as written
};

// The tokens of a statement's text; false when a quote or comment does not
// end.
bool tokenize(const std::string& sql, std::vector<token>& out) {
    auto wordChar = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
               c >= 0x80;
    };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            if (end == std::string::npos) return false;
            i = end + 2;
        } else if (c == '\'' || ((c == 'x' || c == 'X') && i + 1 < n && sql[i + 1] == '\'')) {
            // A string, or a blob X'..': as written, quotes and all.
            const std::size_t start = i;
            i += c == '\'' ? 1 : 2;
            for (;; ++i) {
                if (i >= n) return false;
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') ++i;
                    else break;
                }
            }
            ++i;
            out.push_back({token::literal, sql.substr(start, i - start)});
        } else if (c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::string text;
            for (++i;; ++i) {
                if (i >= n) return false;
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) ++i;
                    else break;
                }
                text.push_back(sql[i]);
            }
            ++i;
            out.push_back({token::name, std::move(text)});
        } else if (digit(c) || (c == '.' && i + 1 < n && digit(sql[i + 1]))) {
            const std::size_t start = i;
            while (i < n && (wordChar(static_cast<unsigned char>(sql[i])) || sql[i] == '.' ||
                             ((sql[i] == '+' || sql[i] == '-') && (sql[i - 1] == 'e' || sql[i - 1] == 'E'))))
                ++i;
            out.push_back({token::literal, sql.substr(start, i - start)});
        } else if (wordChar(static_cast<unsigned char>(c))) {
            const std::size_t start = i;
            while (i < n && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
            out.push_back({token::word, sql.substr(start, i - start)});
        } else {
            out.push_back({token::punct, std::string(1, c)});
            ++i;
        }
    }
    return true;
}

bool isWord(const token& t, const char* upper) {
    if (t.type != token::word || t.text.size() != std::char_traits<char>::length(upper)) return false;
    for (std::size_t i = 0; i < t.text.size(); ++i) {
        const char c = t.text[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != upper[i]) return false;
    }
    return true;
}

bool isPunct(const token& t, char c) { return t.type == token::punct && t.text.size() == 1 && t.text[0] == c; }

bool isName(const token& t) { return t.type == token::word || t.type == token::name; }

// One check: the columns it names (folded) and, when it has exactly the
// shape `CHECK (column IN (literal, ...))`, its literals.
struct checkText {
    std::vector<std::string> named;
    std::vector<ky::string> literals;
};

// The literals of `column IN (literal, ...)` filling [i, end) exactly; empty
// for any other text.
std::vector<ky::string> inListLiterals(const std::vector<token>& t, std::size_t i, std::size_t end) {
    if (end - i < 5 || !isName(t[i]) || !isWord(t[i + 1], "IN") || !isPunct(t[i + 2], '(') || !isPunct(t[end - 1], ')'))
        return {};
    std::vector<ky::string> literals;
    for (i += 3; i < end;) {
        // A sign stands before a number only; a plus changes nothing.
        const bool sign = isPunct(t[i], '-') || isPunct(t[i], '+');
        std::string text = isPunct(t[i], '-') ? "-" : "";
        if (sign && ++i >= end) return {};
        if (t[i].type == token::literal) {
            if (sign && (t[i].text[0] == '\'' || t[i].text[0] == 'x' || t[i].text[0] == 'X')) return {};
            text += t[i].text;
        } else if (!sign && (isWord(t[i], "TRUE") || isWord(t[i], "FALSE"))) {
            text = t[i].text;
        } else {
            return {};
        }
        literals.push_back(wide(text));
        if (++i == end - 1) return literals;
        if (i >= end || !isPunct(t[i], ',')) return {};
        ++i;
    }
    return {};
}

// Reads the check whose word CHECK is t[i]; answers the index after its
// closing parenthesis (`end` when it does not close before `end`).
std::size_t readCheck(const std::vector<token>& t, std::size_t i, std::size_t end, checkText& out) {
    if (i + 1 >= end || !isPunct(t[i + 1], '(')) return end;
    int depth = 0;
    std::size_t close = i + 1;
    for (; close < end; ++close) {
        if (isPunct(t[close], '(')) ++depth;
        else if (isPunct(t[close], ')') && --depth == 0) break;
        else if (isName(t[close])) out.named.push_back(detail::foldedAscii(t[close].text));
    }
    if (close == end) return end;
    out.literals = inListLiterals(t, i + 2, close);
    if (!out.literals.empty()) out.named.assign(1, detail::foldedAscii(t[i + 2].text));
    return close + 1;
}

// The checks of one table definition [begin, end): a column's own checks
// also name the column.
void readDefinitionChecks(const std::vector<token>& t, std::size_t begin, std::size_t end,
                          std::vector<checkText>& checks) {
    const bool tableConstraint = isWord(t[begin], "CONSTRAINT") || isWord(t[begin], "PRIMARY") ||
                                 isWord(t[begin], "UNIQUE") || isWord(t[begin], "CHECK") || isWord(t[begin], "FOREIGN");
    if (!tableConstraint && !isName(t[begin])) return;
    int depth = 0;
    for (std::size_t i = tableConstraint ? begin : begin + 1; i < end; ++i) {
        if (isPunct(t[i], '(')) {
            ++depth;
        } else if (isPunct(t[i], ')')) {
            --depth;
        } else if (depth == 0 && isWord(t[i], "CONSTRAINT")) {
            ++i;  // the constraint's name
        } else if (depth == 0 && isWord(t[i], "CHECK")) {
            checkText& check = checks.emplace_back();
            i = readCheck(t, i, end, check) - 1;
            if (!tableConstraint && check.literals.empty()) check.named.push_back(detail::foldedAscii(t[begin].text));
        }
    }
}

// Gives each column of `table` the literals of its enumeration check.
void readTableChecks(const std::string& sql, catTable& table) {
    std::vector<token> t;
    if (!tokenize(sql, t)) return;
    std::size_t open = 0;
    while (open < t.size() && !isPunct(t[open], '(')) ++open;
    std::vector<checkText> checks;
    int depth = 0;
    std::size_t start = open + 1;
    for (std::size_t i = open; i < t.size(); ++i) {
        const bool comma = depth == 1 && isPunct(t[i], ',');
        const bool last = depth == 1 && isPunct(t[i], ')');
        if (isPunct(t[i], '(')) ++depth;
        else if (isPunct(t[i], ')')) --depth;
        if (!comma && !last) continue;
        if (start < i) readDefinitionChecks(t, start, i, checks);
        if (last) break;
        start = i + 1;
    }
    for (detail::catColumn& column : table.columns) {
        const std::string name = detail::foldedAscii(column.name.toUtf8());
        const checkText* only = nullptr;
        int count = 0;
        for (const checkText& check : checks)
            if (std::find(check.named.begin(), check.named.end(), name) != check.named.end()) {
                only = &check;
                ++count;
            }
        if (count == 1) column.checkLiterals = only->literals;
    }
}

bool readChecks(reader& r) {
    return eachRow(r, checksQuery, L"the check constraints could not be read", [&](sqlite3_stmt* stmt) {
        if (catTable* table = r.tableNamed(textAt(stmt, 0))) readTableChecks(textAt(stmt, 1), *table);
    });
}

// What a file that is not a regular one is, for the message refusing it.
const wchar_t* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return L"a directory";
    if (S_ISFIFO(mode)) return L"a FIFO";
    if (S_ISSOCK(mode)) return L"a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return L"a device";
    return L"a special file";
}

ky::string sourceOf(sqlite3* db) {
    const char* name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return name && *name ? wide(name) : ky::string(L":memory:");
}

}  // namespace

namespace detail {

std::string sqliteFileName(const std::string& path) { return !path.empty() && path[0] == '/' ? path : "./" + path; }

// Opening a FIFO for reading waits for a writer, a device may act on being
// opened: the name is looked at first, and then, since it may have been
// replaced meanwhile, through a descriptor opened without waiting. SQLite
// opens the name once more itself (it takes no descriptor), so a file
// replaced in that last moment by someone who may write its directory is
// not caught.
bool sqliteFileOpenable(const std::string& path, diagnostics& problems) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return true;
    if (S_ISREG(info.st_mode)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return true;
        const bool seen = ::fstat(fd, &info) == 0;
        ::close(fd);
        if (!seen || S_ISREG(info.st_mode)) return true;
    }
    const ky::string kind = kindOf(info.st_mode);
    problems.push_back(makeDiagnostic(eError, "sql.open",
                                      L"the SQLite database could not be opened: it is " + kind + L", not a regular file"));
    return false;
}

}  // namespace detail

reflectResult reflectSqlite(sqlite3* connection, const reflectOptions& options) {
    reflectResult result;
    if (!connection) {
        result.problems.push_back(makeDiagnostic(eError, "sql.connection", L"no SQLite connection was given"));
        return result;
    }
    const ky::string source = sourceOf(connection);
    if (!sqlite3_get_autocommit(connection)) {
        result.problems.push_back(makeDiagnostic(eError, "sql.transaction", L"the connection is inside a transaction"));
        detail::stampSource(result.problems, 0, source);
        return result;
    }
    reader r{connection, options, result.problems, {}, {}, {}};
    // One read transaction: every query sees the same schema, also while
    // another connection changes it.
    int rc = sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) r.fail(rc, L"the read transaction could not begin");
    const bool read = rc == SQLITE_OK && readColumns(r) && readForeignKeys(r) && readUniques(r) && readChecks(r);
    if (rc == SQLITE_OK) sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    detail::stampSource(result.problems, 0, source);
    if (read) detail::buildModel(r.cat, options, eSqlite, source, result);
    return result;
}

reflectResult reflectSqliteFile(const std::string& path, const reflectOptions& options) {
    reflectResult result;
    const std::string name = detail::sqliteFileName(path);
    if (!detail::sqliteFileOpenable(name, result.problems)) {
        detail::stampSource(result.problems, 0, wide(path));
        return result;
    }
    sqlite3* db = nullptr;
    // Read-only, and never created: a missing file is a diagnostic, not a new
    // empty database.
    const int rc = sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        result.problems.push_back(makeDiagnostic(eError, "sql.open", L"the SQLite database could not be opened", {}, {},
                                                 wide(sqlite3_errmsg(db))));
        detail::stampSource(result.problems, 0, wide(path));
        sqlite3_close(db);
        return result;
    }
    sqlite3_busy_timeout(db, options.busyTimeoutMs);
    result = reflectSqlite(db, options);
    sqlite3_close(db);
    return result;
}

namespace detail {

// The same reading as reflectSqlite's, in the transaction the caller holds:
// it sees that transaction's own changes and leaves it open.
reflectResult reflectSqliteInside(sqlite3* connection, const reflectOptions& options) {
    reflectResult result;
    const ky::string source = sourceOf(connection);
    reader r{connection, options, result.problems, {}, {}, {}};
    const bool read = readColumns(r) && readForeignKeys(r) && readUniques(r) && readChecks(r);
    detail::stampSource(result.problems, 0, source);
    if (read) detail::buildModel(r.cat, options, eSqlite, source, result);
    return result;
}

}  // namespace detail

}  // namespace ky::metamodel::sql
