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

void appendWide(std::string_view utf8, std::wstring& out) {
    out.clear();
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            out.push_back(static_cast<wchar_t>(c));
            ++p;
            continue;
        }
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : -1;
        std::uint32_t cp = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0fu : c & 0x1fu;
        if (extra < 0 || end - p <= extra) {
            out.push_back(L'\uFFFD');
            ++p;
            continue;
        }
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xc0) != 0x80) ok = false;
            cp = (cp << 6) | (p[i] & 0x3fu);
        }
        if (!ok || cp > 0x10ffff) {
            out.push_back(L'\uFFFD');
            ++p;
            continue;
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xd800 + (cp >> 10)));
                out.push_back(static_cast<wchar_t>(0xdc00 + (cp & 0x3ff)));
                p += extra + 1;
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
        p += extra + 1;
    }
}

void appendUtf8(std::wstring_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = static_cast<std::uint32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xd800 && cp < 0xdc00 && i + 1 < text.size()) {
                cp = 0x10000 + ((cp - 0xd800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xdc00);
            }
        }
        if (cp > 0x10ffff || (cp >= 0xd800 && cp < 0xe000)) cp = 0xfffd;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        }
    }
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
