// Identifiers, keywords, table patterns and the diagnostics' text.
#include <algorithm>
#include <array>
#include <string_view>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

// The keywords of SQLite and the reserved words of PostgreSQL (with those
// that cannot name a function or a type), upper case and sorted, so that a
// name is looked up by binary search. Quoting a word that would not need it
// is harmless; missing one breaks the DDL.
constexpr std::array<std::string_view, 218> keywords = {
    "ABORT", "ACTION", "ADD", "AFTER", "ALL", "ALTER", "ALWAYS", "ANALYSE", "ANALYZE", "AND", "ANY",
    "ARRAY", "AS", "ASC", "ASYMMETRIC", "ATTACH", "AUTHORIZATION", "AUTOINCREMENT", "BEFORE", "BEGIN",
    "BETWEEN", "BIGINT", "BINARY", "BIT", "BOOLEAN", "BOTH", "BY", "CASCADE", "CASE", "CAST", "CHAR",
    "CHARACTER", "CHECK", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT", "CONCURRENTLY",
    "CONFLICT", "CONSTRAINT", "CREATE", "CROSS", "CURRENT", "CURRENT_CATALOG", "CURRENT_DATE",
    "CURRENT_ROLE", "CURRENT_SCHEMA", "CURRENT_TIME", "CURRENT_TIMESTAMP", "CURRENT_USER", "DATABASE",
    "DEC", "DECIMAL", "DEFAULT", "DEFERRABLE", "DEFERRED", "DELETE", "DESC", "DETACH", "DISTINCT", "DO",
    "DROP", "EACH", "ELSE", "END", "ESCAPE", "EXCEPT", "EXCLUDE", "EXCLUSIVE", "EXISTS", "EXPLAIN",
    "EXTRACT", "FAIL", "FALSE", "FETCH", "FILTER", "FIRST", "FLOAT", "FOLLOWING", "FOR", "FOREIGN",
    "FREEZE", "FROM", "FULL", "GENERATED", "GLOB", "GRANT", "GREATEST", "GROUP", "GROUPING", "GROUPS",
    "HAVING", "IF", "IGNORE", "ILIKE", "IMMEDIATE", "IN", "INDEX", "INDEXED", "INITIALLY", "INNER",
    "INOUT", "INSERT", "INSTEAD", "INT", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IS", "ISNULL",
    "JOIN", "KEY", "LAST", "LATERAL", "LEADING", "LEAST", "LEFT", "LIKE", "LIMIT", "LOCALTIME",
    "LOCALTIMESTAMP", "MATCH", "MATERIALIZED", "NATIONAL", "NATURAL", "NCHAR", "NO", "NONE", "NORMALIZE",
    "NOT", "NOTHING", "NOTNULL", "NULL", "NULLIF", "NULLS", "NUMERIC", "OF", "OFFSET", "ON", "ONLY", "OR",
    "ORDER", "OTHERS", "OUT", "OUTER", "OVER", "OVERLAPS", "OVERLAY", "PARTITION", "PLACING", "PLAN",
    "POSITION", "PRAGMA", "PRECEDING", "PRECISION", "PRIMARY", "QUERY", "RAISE", "RANGE", "REAL",
    "RECURSIVE", "REFERENCES", "REGEXP", "REINDEX", "RELEASE", "RENAME", "REPLACE", "RESTRICT",
    "RETURNING", "RIGHT", "ROLLBACK", "ROW", "ROWS", "SAVEPOINT", "SELECT", "SESSION_USER", "SET",
    "SETOF", "SIMILAR", "SMALLINT", "SOME", "SUBSTRING", "SYMMETRIC", "TABLE", "TABLESAMPLE", "TEMP",
    "TEMPORARY", "THEN", "TIES", "TIME", "TIMESTAMP", "TO", "TRAILING", "TRANSACTION", "TREAT", "TRIGGER",
    "TRIM", "TRUE", "UNBOUNDED", "UNION", "UNIQUE", "UPDATE", "USER", "USING", "VACUUM", "VALUES",
    "VARCHAR", "VARIADIC", "VERBOSE", "VIEW", "VIRTUAL", "WHEN", "WHERE", "WINDOW", "WITH", "WITHOUT"};

bool isPlainWord(const ky::string& name) {
    if (name.empty()) return false;
    const wchar_t first = name[0];
    if (!((first >= L'a' && first <= L'z') || first == L'_')) return false;
    return std::all_of(name.begin(), name.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_';
    });
}


}  // namespace

// Where the keywords of each initial letter begin in `keywords`: those of
// letter L are [keywordsFrom[L - 'A'], keywordsFrom[L - 'A' + 1]).
constexpr std::array<std::size_t, 27> keywordsFrom = [] {
    std::array<std::size_t, 27> from{};
    std::size_t k = 0;
    for (std::size_t letter = 0; letter < 27; ++letter) {
        while (k < keywords.size() && static_cast<std::size_t>(keywords[k][0] - 'A') < letter) ++k;
        from[letter] = k;
    }
    return from;
}();

constexpr std::size_t longestKeyword = [] {
    std::size_t longest = 0;
    for (std::string_view word : keywords) longest = std::max(longest, word.size());
    return longest;
}();

bool isReservedWord(const ky::string& word) {
    if (word.empty() || word.size() > longestKeyword) return false;
    char upper[longestKeyword];
    for (std::size_t i = 0; i < word.size(); ++i) {
        const wchar_t c = word[i];
        if (c > 0x7f) return false;
        upper[i] = static_cast<char>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
    }
    if (upper[0] < 'A' || upper[0] > 'Z') return false;
    const auto letter = static_cast<std::size_t>(upper[0] - 'A');
    return std::binary_search(keywords.begin() + keywordsFrom[letter], keywords.begin() + keywordsFrom[letter + 1],
                              std::string_view(upper, word.size()));
}

std::string quoteIdentifier(const ky::string& name, eDialect dialect) {
    std::string out;
    detail::appendIdentifier(out, name, dialect);
    return out;
}

bool hasErrors(const diagnostics& list) {
    return std::any_of(list.begin(), list.end(), [](const diagnostic& d) { return d.severity == eError; });
}

namespace {

void appendCount(std::string& out, std::size_t count, const char* one, const char* many) {
    if (!out.empty() && out.back() != ' ') out += ", ";
    out += std::to_string(count);
    out += ' ';
    out += count == 1 ? one : many;
}

}  // namespace

std::string describe(const reflectSummary& summary) {
    std::string out = "read ";
    appendCount(out, summary.tables, "table", "tables");
    appendCount(out, summary.columns, "column", "columns");
    appendCount(out, summary.primaryKeys, "primary key", "primary keys");
    appendCount(out, summary.foreignKeys, "foreign key", "foreign keys");
    appendCount(out, summary.indexes, "index", "indexes");
    appendCount(out, summary.checks, "check", "checks");
    appendCount(out, summary.views, "view", "views");
    out += "; ";
    appendCount(out, summary.notCarried, "object not carried", "objects not carried");
    return out;
}

ky::string describe(const diagnostic& entry) {
    ky::string text = diagnostic::severityWord(entry.severity);
    text += L" ";
    text += entry.code;
    text += L": ";
    text += entry.message;
    if (!entry.table.empty() || !entry.field.empty()) {
        text += L" [" + entry.table;
        if (!entry.field.empty()) text += L"." + entry.field;
        text += L"]";
    }
    if (!entry.databaseMessage.empty()) text += L" (" + entry.databaseMessage + L")";
    // Names and the database's message may hold line breaks: one line each.
    return text.escapedForLine();
}

namespace detail {

void appendIdentifier(std::string& out, const ky::string& name, eDialect /*dialect*/) {
    // Both dialects quote with double quotes; a plain lower-case word reads
    // the same quoted or not, so it stays unquoted for readable DDL. A plain
    // word is ASCII, so its characters are its UTF-8 bytes.
    if (isPlainWord(name) && !isReservedWord(name)) {
        for (wchar_t c : name) out.push_back(static_cast<char>(c));
        return;
    }
    out.push_back('"');
    for (char c : utf8(name)) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

diagnostic makeDiagnostic(eSeverity severity, const char* code, const ky::string& message, const ky::string& table,
                          const ky::string& field, const ky::string& databaseMessage) {
    diagnostic d = diagnostic::make(severity, wide(code), message);
    d.table = table;
    d.field = field;
    d.databaseMessage = databaseMessage;
    return d;
}

void stampSource(diagnostics& problems, std::size_t first, const ky::string& source) {
    for (std::size_t i = first; i < problems.size(); ++i)
        if (problems[i].file.empty()) problems[i].file = source;
}

bool globMatch(const ky::string& pattern, const ky::string& text, bool fold) {
    // Iterative matching with one backtrack point for the last star: linear
    // in practice and never recursive, whatever the pattern.
    std::size_t p = 0, t = 0, starP = ky::string::npos, starT = 0;
    auto same = [fold](wchar_t a, wchar_t b) { return fold ? detail::foldAscii(a) == detail::foldAscii(b) : a == b; };
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || (pattern[p] != L'*' && same(pattern[p], text[t])))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starT = t;
        } else if (starP != ky::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

bool tableSelected(const reflectOptions& options, const ky::string& name) {
    const bool fold = !options.caseSensitiveNames;
    auto matches = [&](const ky::string& pattern) { return globMatch(pattern, name, fold); };
    if (!options.include.empty() && std::none_of(options.include.begin(), options.include.end(), matches))
        return false;
    return std::none_of(options.exclude.begin(), options.exclude.end(), matches);
}

}  // namespace detail
}  // namespace ky::metamodel::sql
