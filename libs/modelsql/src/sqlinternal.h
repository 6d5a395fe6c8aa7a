// What the parts of the SQL library share: text conversion, diagnostics, the
// columns of a class as its table holds them, and the neutral description
// of a database catalogue that both readers fill and one builder turns into
// a model.
#pragma once

#include <string>
#include <vector>

#include "kymdlsql.h"

namespace ky::metamodel::sql::detail {

inline std::string utf8(const ky::string& text) { return text.toUtf8(); }
// UTF-8 to wide text; names and types of a catalogue are nearly always
// ASCII, which is widened without decoding.
inline ky::string wide(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return ky::string::fromUtf8(std::string_view(text, length));
    return ky::string(text, text + length);
}
inline ky::string wide(const std::string& text) { return wide(text.data(), text.size()); }
inline ky::string wide(const char* text) { return text ? wide(text, std::char_traits<char>::length(text)) : ky::string(); }

// An ASCII letter in lower case, every other character as it is: the way
// SQLite compares names, quoted or not.
template <class Char>
constexpr Char foldAscii(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? Char(c - Char('A') + Char('a')) : c;
}
// `text` with its ASCII letters folded.
template <class Text>
Text foldedAscii(Text text) {
    for (auto& c : text) c = foldAscii(c);
    return text;
}

// Appends quoteIdentifier(name, dialect) to `out`.
void appendIdentifier(std::string& out, const ky::string& name, eDialect dialect);

// A diagnostic in one line each at the call sites.
diagnostic makeDiagnostic(eSeverity severity, const char* code, const ky::string& message,
                          const ky::string& table = ky::string(), const ky::string& field = ky::string(),
                          const ky::string& databaseMessage = ky::string());

// ---- the columns of a class ----

// The fields a class's table holds, in table order: those of the base
// classes first (bases in registration order of their names, depth first),
// then the class's own; a field that stands for an inherited one takes that
// one's place. Fields of type ePtr are not listed (they are in no field list).
std::vector<ky::const_refPtr<fieldInfo>> tableFields(const classInfo& cls);

// The relations leading out of the class and out of its base classes,
// each once, in the order found.
std::vector<ky::const_refPtr<relationInfo>> tableRelations(const classInfo& cls);

// The display label of a field: its own, else the one of its source chain.
ky::string fieldLabel(const fieldInfo& field);

// ---- glob patterns ----

// Whether `text` matches `pattern` (* any run, ? any one character); with
// `fold` letters are compared folded to lower case.
bool globMatch(const ky::string& pattern, const ky::string& text, bool fold);

// Whether a table named `name` is read under the include and exclude patterns.
bool tableSelected(const reflectOptions& options, const ky::string& name);

}  // namespace ky::metamodel::sql::detail

#include "catalogue.h"

namespace ky::metamodel::sql::detail {

// Builds the model of `cat` under the options' name rule into `result`:
// appends to its problems and fills its summary. The model stays empty when
// any error was found.
void buildModel(const catalogue& cat, const reflectOptions& options, eDialect dialect, const ky::string& source,
                reflectResult& result);

// ---- SQLite files ----

// The name SQLite is given for the file `path`: a relative path starts with
// "./", so that it is never taken for a URI ("file:...") or for ":memory:".
std::string sqliteFileName(const std::string& path);

// Whether SQLite may open `path` without waiting on it: false, with an
// sql.open diagnostic saying what it is, for anything but a regular file.
// What does not exist, or cannot be looked at, is left to SQLite to refuse
// or create.
bool sqliteFileOpenable(const std::string& path, diagnostics& problems);

// Reflects an open SQLite connection inside the transaction it is in (the
// caller's), which is left as it was.
reflectResult reflectSqliteInside(sqlite3* connection, const reflectOptions& options);

// Reflects an open PostgreSQL connection inside the transaction it is in
// (the caller's), under a savepoint rolled back afterwards: the settings
// the read pins, and a failed query, end with it.
reflectResult reflectPostgresqlInside(pg_conn* connection, const reflectOptions& options);

// Sets the file of every diagnostic from `first` on that has none.
void stampSource(diagnostics& problems, std::size_t first, const ky::string& source);

}  // namespace ky::metamodel::sql::detail
