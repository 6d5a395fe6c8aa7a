// Diagnostics and the UTF-8 conversions of the model-file library.
#include "kymdlfilereport.h"

#include <algorithm>

namespace ky::metamodel::file {

ky::string diagnostic::text() const {
    ky::string out = file.escapedForLine();
    if (line) {
        out += L":" + std::to_wstring(line);
        if (column) out += L":" + std::to_wstring(column);
    }
    if (!out.empty()) out += L": ";
    out += severity == eError ? L"error " : L"warning ";
    out += code;
    out += L": ";
    out += message;
    return out;
}

bool loadResult::hasErrors() const {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [](const diagnostic& d) { return d.severity == eError; });
}

}  // namespace ky::metamodel::file

namespace ky::metamodel::file::detail {

void reporter::report(eSeverity severity, std::uint32_t line, std::uint32_t column, const wchar_t* code,
                      const ky::string& message) {
    if (full()) return;
    if (severity == eError) ++mErrors;
    diagnostic d;
    d.file = mFile;
    d.line = line;
    d.column = column;
    d.severity = severity;
    d.code = code;
    // Names in messages come from the file: escaped here, once, so that no
    // name can break the message's line or forge one of its own.
    d.message = message.escapedForLine();
    mDiagnostics.push_back(std::move(d));
}

namespace {
constexpr std::size_t quotedLimit = 60;
}

ky::string quoted(std::wstring_view text) {
    ky::string out = L"'";
    if (text.size() > quotedLimit) {
        out += text.substr(0, quotedLimit);
        out += L"...";
    } else {
        out += text;
    }
    out += L"'";
    return out;
}

ky::string quoted(std::string_view utf8) { return quoted(std::wstring_view(wide(utf8))); }

}  // namespace ky::metamodel::file::detail
