// ky::string: bounded wide formatting, splitting and character removal.
// Lower-casing and UTF-8 live in kystringunicode.cpp.

#include "kystring.h"

#include <algorithm>
#include <cwchar>
#include <string_view>

namespace ky {

namespace {

// glibc's wide printf reads a narrow (multibyte) string for %s and %c; this
// library's callers pass wide text. The format is rewritten so that every %s
// and %c without a length modifier becomes %ls / %lc; flags, width, precision
// and positional arguments are carried over untouched.
class wideFormat {
public:
    explicit wideFormat(const wchar_t* format) {
        for (const wchar_t* p = format; *p;) p = copyItem(p);
    }
    const wchar_t* c_str() const noexcept { return mText.c_str(); }

private:
    // Copies one literal character or one whole conversion; returns what follows.
    const wchar_t* copyItem(const wchar_t* p) {
        mText += *p;
        if (*p++ != L'%') return p;
        if (*p == L'%') {
            mText += *p;
            return p + 1;
        }
        p = copyWhile(p, L"-+ #0'123456789$*.");
        const std::size_t lengthStart = mText.size();
        p = copyWhile(p, L"hlLqjzZt");
        const bool hasLength = mText.size() != lengthStart;
        if ((*p == L's' || *p == L'c') && !hasLength) mText += L'l';
        if (*p) mText += *p++;
        return p;
    }
    const wchar_t* copyWhile(const wchar_t* p, std::wstring_view set) {
        while (*p && set.find(*p) != std::wstring_view::npos) mText += *p++;
        return p;
    }

    std::wstring mText;
};

// Formats with the rewritten format. Answers the length written, or -1 when
// the text did not fit (the buffer then holds the cut text, terminated).
int formatCut(wchar_t* buffer, std::size_t capacity, const wchar_t* format, va_list args) {
    buffer[0] = L'\0';
    const wideFormat wide(format);
    const int written = std::vswprintf(buffer, capacity, wide.c_str(), args);
    if (written >= 0) return written;
    buffer[capacity - 1] = L'\0';  // glibc leaves a cut text unterminated
    return -1;
}

bool inSet(wchar_t c, const wchar_t* set) noexcept {
    return set && std::wstring_view(set).find(c) != std::wstring_view::npos;
}

}  // namespace

std::size_t string::vsformatTo(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                               va_list args) {
    if (!buffer || capacity == 0) return 0;
    if (!format) {
        buffer[0] = L'\0';
        return 0;
    }
    const int written = formatCut(buffer, capacity, format, args);
    return written >= 0 ? static_cast<std::size_t>(written) : std::wcslen(buffer);
}

std::size_t string::sformatTo(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::size_t written = vsformatTo(buffer, capacity, format, args);
    va_end(args);
    return written;
}

string string::vsformat(const wchar_t* format, va_list args) {
    if (!format) return string();
    // Most texts are short: one try on the stack, then growing heap buffers
    // up to the limit, where the text is cut.
    wchar_t local[256];
    va_list attempt;
    va_copy(attempt, args);
    int written = formatCut(local, std::size(local), format, attempt);
    va_end(attempt);
    if (written >= 0) return string(local, static_cast<std::size_t>(written));

    string result;
    for (std::size_t capacity = 2 * std::size(local);; capacity *= 2) {
        capacity = std::min(capacity, maxFormatLength + 1);
        result.resize(capacity - 1);  // the string keeps room for the terminator
        va_copy(attempt, args);
        written = formatCut(result.data(), capacity, format, attempt);
        va_end(attempt);
        if (written >= 0 || capacity == maxFormatLength + 1) break;
    }
    result.resize(written >= 0 ? static_cast<std::size_t>(written) : std::wcslen(result.c_str()));
    return result;
}

string string::sformat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    string result = vsformat(format, args);
    va_end(args);
    return result;
}

void string::splitAt(const string& separator, std::vector<string>& out, bool keepEmpty) const {
    auto add = [&](size_type from, size_type to) {
        if (to > from || keepEmpty) out.emplace_back(substr(from, to - from));
    };
    if (separator.empty()) {
        add(0, size());
        return;
    }
    size_type from = 0;
    for (size_type at = find(separator); at != npos; at = find(separator, from)) {
        add(from, at);
        from = at + separator.size();
    }
    add(from, size());
}

string& string::deleteAll(wchar_t c) {
    erase(std::remove(begin(), end(), c), end());
    return *this;
}

string& string::deleteAll(const wchar_t* set) {
    erase(std::remove_if(begin(), end(), [set](wchar_t c) { return inSet(c, set); }), end());
    return *this;
}

string& string::deleteLeading(wchar_t c) {
    erase(0, std::min(find_first_not_of(c), size()));
    return *this;
}

string& string::deleteLeading(const wchar_t* set) {
    if (set) erase(0, std::min(find_first_not_of(set), size()));
    return *this;
}

string& string::deleteTrailing(wchar_t c) {
    const size_type last = find_last_not_of(c);
    erase(last == npos ? 0 : last + 1);
    return *this;
}

string& string::deleteTrailing(const wchar_t* set) {
    if (!set) return *this;
    const size_type last = find_last_not_of(set);
    erase(last == npos ? 0 : last + 1);
    return *this;
}

}  // namespace ky
