/// \file
/// ky::metamodel::diagnostic, the one finding that the companion libraries
/// and the tool report: where (a place in a file, or a database object), how
/// grave, a stable code, a message naming the element, a hint and the
/// related places. The metamodel itself never makes one; it only holds the
/// type so that every layer above shares it. A diagnostic is a plain value;
/// the tables of codes are constant and may be read from any thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include <kystring.h>

namespace ky::metamodel {

/// How grave a diagnostic is.
enum eSeverity : std::uint32_t {
    eError = 1,    ///< the input is wrong; no result is handed out
    eWarning = 2,  ///< suspicious, or something left out; the result is made
    eNote = 3      ///< information only
};

/// A place related to a diagnostic: another entry of the file that the
/// finding concerns (the first definition of a name given twice, ...).
struct diagnosticPlace {
    ky::string file;           ///< the file; empty for the diagnostic's own file
    std::uint32_t line = 0;    ///< 1-based line; 0 when none
    std::uint32_t column = 0;  ///< 1-based column in characters; 0 when none
    ky::string message;        ///< what is there, naming the element
};

/// One finding: where, how grave, a stable code and a message naming the
/// element. The place is a file with line and column, a database object
/// (`table`, `field`), or both.
struct diagnostic {
    ky::string file;                       ///< the file or database (password left out); may be empty
    std::uint32_t line = 0;                ///< 1-based line; 0 when the finding has no place in a text
    std::uint32_t column = 0;              ///< 1-based column in characters; 0 when none
    eSeverity severity = eError;           ///< error, warning or note
    ky::string code;                       ///< the stable code: "M012", "sql.open", ...
    ky::string message;                    ///< what is wrong, naming the element
    ky::string element;                    ///< the class, "class.field" or "class.relation" concerned; may be empty
    ky::string hint;                       ///< what to do about it; may be empty
    ky::string table;                      ///< the table (or class) of a database finding; may be empty
    ky::string field;                      ///< the column (or field) of a database finding; may be empty
    ky::string databaseMessage;            ///< what the database itself said; may be empty
    std::vector<diagnosticPlace> related;  ///< other places the finding concerns

    /// A diagnostic of `severity` with `code` and `message`; the message is
    /// made one line (it names elements that come from files or databases, so
    /// no name may break it or forge a line of its own).
    static diagnostic make(eSeverity severity, std::wstring_view code, const ky::string& message) {
        diagnostic d;
        d.severity = severity;
        d.code.assign(code);
        d.message = message.escapedForLine();
        return d;
    }

    /// "file:line:column: error M012: message", the place parts left out when
    /// zero or empty ("error M205: message" for a finding without place).
    ky::string text() const {
        ky::string out = file.escapedForLine();
        if (line) {
            out += L":" + std::to_wstring(line);
            if (column) out += L":" + std::to_wstring(column);
        }
        if (!out.empty()) out += L": ";
        out += severityWord(severity);
        out += L" ";
        out += code;
        out += L": ";
        out += message;
        return out;
    }

    /// "error", "warning" or "note".
    static const wchar_t* severityWord(eSeverity severity) {
        return severity == eError ? L"error" : severity == eWarning ? L"warning" : L"note";
    }
};

/// A row of a library's table of codes: each code it emits, once.
struct diagnosticCode {
    std::wstring_view code;   ///< the stable code
    eSeverity severity;       ///< the severity it is reported with (the graver one when it varies)
    std::wstring_view title;  ///< a short title, for rule lists
    std::string_view anchor;  ///< where it is documented: "model-file.md#diagnostics"
};

}  // namespace ky::metamodel
