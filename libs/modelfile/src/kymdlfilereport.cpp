// Diagnostics and the UTF-8 conversions of the model-file library.
#include "kymdlfilereport.h"

#include <algorithm>

namespace ky::metamodel::file {

bool loadResult::hasErrors() const {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [](const diagnostic& d) { return d.severity == eError; });
}

}  // namespace ky::metamodel::file

namespace ky::metamodel::file::detail {

void reporter::report(eSeverity severity, std::uint32_t line, std::uint32_t column, const wchar_t* code,
                      const ky::string& message, const ky::string& hint) {
    mLastKept = !full();
    if (!mLastKept) return;
    if (severity == eError) ++mErrors;
    diagnostic d = diagnostic::make(severity, code, message);
    d.file = mFile;
    d.line = line;
    d.column = column;
    d.hint = hint.escapedForLine();
    mDiagnostics.push_back(std::move(d));
}

namespace {

constexpr std::size_t quotedLimit = 60;

wchar_t foldLetter(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The edit distance of two names (insertions, deletions, replacements and
// swaps of two neighbours, the slips typing makes), ASCII letters compared
// without case.
std::size_t editDistance(std::wstring_view a, std::wstring_view b) {
    std::vector<std::size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) last[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = foldLetter(a[i - 1]) == foldLetter(b[j - 1]);
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && foldLetter(a[i - 1]) == foldLetter(b[j - 2]) &&
                foldLetter(a[i - 2]) == foldLetter(b[j - 1]))
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        std::swap(before, last);
        std::swap(last, row);
    }
    return last[b.size()];
}

// Names far longer than any real one are not compared: the table of the
// distance grows with the product of the lengths.
constexpr std::size_t comparedLength = 256;

}  // namespace

ky::string suggestion(std::wstring_view wrong, const std::vector<ky::string>& known, std::size_t& budget) {
    if (wrong.empty() || wrong.size() > comparedLength) return {};
    const std::size_t limit = (wrong.size() + 2) / 3;
    const ky::string* best = nullptr;
    std::size_t bestDistance = limit + 1;
    for (const ky::string& name : known) {
        // Each name looked at costs one, each comparison the size of its table.
        const std::size_t longer = std::max(name.size(), wrong.size());
        const std::size_t shorter = std::min(name.size(), wrong.size());
        const bool compared = longer - shorter < bestDistance && name.size() <= comparedLength;  // else too far apart
        const std::size_t cost = 1 + (compared ? wrong.size() * name.size() : 0);
        if (cost > budget) {
            budget = 0;
            return {};  // half a search would suggest a name that may not be the nearest
        }
        budget -= cost;
        if (name == wrong) return {};  // the name is known: what is wrong lies elsewhere
        if (!compared) continue;
        const std::size_t d = editDistance(wrong, name);
        if (d < bestDistance) best = &name, bestDistance = d;
    }
    return best ? L"did you mean " + quoted(std::wstring_view(*best)) + L"?" : ky::string();
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
