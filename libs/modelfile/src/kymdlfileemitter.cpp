// The writer of model files' text (see kymdlfileemitter.h).
#include "kymdlfileemitter.h"

#include <algorithm>
#include <iterator>

#include "kymdlfilereport.h"

namespace ky::metamodel::file::detail {

namespace {

// Whether a character needs an escape in a double-quoted text: control
// characters, line and paragraph separators, the byte-order mark and what
// is no character at all.
bool isUnprintable(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0xfeff || c == 0xfffe ||
           c == 0xffff || (c >= 0xd800 && c < 0xe000) || c > 0x10ffff;
}

// Appends `text` in double quotes, escaped so that YAML and JSON read it
// back unchanged: control characters, line and paragraph separators, the
// byte-order mark and characters neither syntax allows become \uXXXX.
void appendQuoted(std::string& out, std::wstring_view text) {
    out.push_back('"');
    std::size_t plainFrom = 0;
    auto flush = [&](std::size_t upTo) {
        if (upTo > plainFrom) appendUtf8(text.substr(plainFrom, upTo - plainFrom), out);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        const char* escape = nullptr;
        switch (c) {
            case '"': escape = "\\\""; break;
            case '\\': escape = "\\\\"; break;
            case '\n': escape = "\\n"; break;
            case '\t': escape = "\\t"; break;
            case '\r': escape = "\\r"; break;
            case '\b': escape = "\\b"; break;
            case '\f': escape = "\\f"; break;
            default: break;
        }
        if (!escape && !isUnprintable(c)) continue;
        flush(i);
        plainFrom = i + 1;
        if (escape) {
            out += escape;
            continue;
        }
        const std::uint32_t shown = (c >= 0xd800 && c < 0xe000) || c > 0x10ffff ? 0xfffd : c;
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(shown));
        out += buffer;
    }
    flush(text.size());
    out.push_back('"');
}

// Whether `key` can go unquoted into YAML and read back as the same text
// with a YAML 1.1 reader as well as a 1.2 one: an identifier (dots allowed
// after its first letter, as in namespaced keys like sql.table) that is
// none of the words those read as booleans or null (in any case, so that no
// reader's spelling of them is missed). Numbers, "~", ".inf" and "<<" do
// not start with a letter and so are quoted anyway.
bool isPlainKey(std::wstring_view key) {
    if (key.empty()) return false;
    std::wstring folded;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const wchar_t c = key[i];
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_';
        if (!letter && !(i > 0 && ((c >= L'0' && c <= L'9') || c == L'.'))) return false;
        if (i < 6) folded.push_back(c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c);
    }
    if (key.size() > 5) return true;
    static constexpr std::wstring_view readAsOther[] = {L"y",  L"n",   L"yes",   L"no",  L"true",
                                                        L"false", L"on", L"off", L"null"};
    return std::find(std::begin(readAsOther), std::end(readAsOther), folded) == std::end(readAsOther);
}

}  // namespace

void emitter::end() {
    const frame top = mStack.back();
    mStack.pop_back();
    if (top.flow) {
        mOut.push_back(top.map ? '}' : ']');
        if (!mJson && (mStack.empty() || !mStack.back().flow)) mOut.push_back('\n');
    } else if (mJson) {
        if (top.count) newline(top.indent);
        mOut.push_back(top.map ? '}' : ']');
    }
    if (mJson && mStack.empty()) mOut.push_back('\n');
}

void emitter::key(std::wstring_view name) {
    frame& top = mStack.back();
    if (top.flow) {
        if (top.count) mOut += ", ";
    } else if (mJson) {
        separate(top);
        newline(top.indent + 2);
    } else if (top.dashPending) {
        top.dashPending = false;
    } else {
        mOut.append(static_cast<std::size_t>(top.indent), ' ');
    }
    if (!mJson && isPlainKey(name)) appendUtf8(name, mOut);
    else appendQuoted(mOut, name);
    mOut += mJson ? ": " : ":";
    ++top.count;
    mAfterKey = true;
}

void emitter::token(std::string_view text) {
    beforeScalar();
    mOut += text;
    afterScalar();
}

bool emitter::isBlockText(std::wstring_view value) {
    if (value.find(L'\n') == std::wstring_view::npos) return false;
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    if (value.front() == L'\n' || blank(value.front()) || blank(value.back())) return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(value[i]);
        if (c == '\n') {
            if (blank(value[i - 1])) return false;
        } else if (c != '\t' && isUnprintable(c)) {
            return false;
        }
    }
    return true;
}

// Writes `value` (isBlockText) as a literal block two columns deeper than
// the innermost collection; an empty line is written without indentation,
// which the block reads as the same empty line.
void emitter::literalBlock(std::wstring_view value) {
    beforeScalar();
    const std::size_t lastText = value.find_last_not_of(L'\n');
    const std::size_t breaks = value.size() - lastText - 1;
    mOut += breaks == 0 ? "|-\n" : breaks == 1 ? "|\n" : "|+\n";
    const auto indent = static_cast<std::size_t>(mStack.back().indent + 2);
    std::size_t from = 0;
    while (from < value.size()) {
        std::size_t to = value.find(L'\n', from);
        if (to == std::wstring_view::npos) to = value.size();
        if (to > from) {
            mOut.append(indent, ' ');
            appendUtf8(value.substr(from, to - from), mOut);
        }
        mOut.push_back('\n');
        from = to + 1;
    }
    mAfterKey = false;
}

void emitter::text(std::wstring_view value) {
    if (!mJson && !mStack.back().flow && isBlockText(value)) {
        literalBlock(value);
        return;
    }
    beforeScalar();
    appendQuoted(mOut, value);
    afterScalar();
}

void emitter::texts(const std::vector<ky::string>& values) {
    beforeScalar();
    mOut.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) mOut += ", ";
        appendQuoted(mOut, values[i]);
    }
    mOut.push_back(']');
    afterScalar();
}

void emitter::newline(int indent) {
    mOut.push_back('\n');
    mOut.append(static_cast<std::size_t>(indent), ' ');
}

void emitter::separate(frame& top) {
    if (top.count) mOut.push_back(',');
}

void emitter::beforeScalar() {
    if (mAfterKey) {
        if (!mJson) mOut.push_back(' ');
        return;
    }
    frame& top = mStack.back();
    if (top.flow) {
        if (top.count) mOut += ", ";
    } else if (mJson) {
        separate(top);
        newline(top.indent + 2);
    } else {
        mOut.append(static_cast<std::size_t>(top.indent), ' ');
        mOut += "- ";
    }
    ++top.count;
}

void emitter::afterScalar() {
    mAfterKey = false;
    if (!mJson && !mStack.back().flow) mOut.push_back('\n');
}

void emitter::open(bool map, bool flow) {
    const char bracket = map ? '{' : '[';
    int indent = 0;
    bool dash = false;
    if (!mStack.empty() && mStack.back().flow) flow = true;
    if (mStack.empty()) {
        if (mJson || flow) mOut.push_back(bracket);
    } else if (mAfterKey) {
        indent = mStack.back().indent + 2;
        if (flow && !mJson) mOut.push_back(' ');
        if (flow || mJson) mOut.push_back(bracket);
        else mOut.push_back('\n');
    } else {
        frame& top = mStack.back();
        ++top.count;
        indent = top.indent + 2;
        if (top.flow) {
            if (top.count > 1) mOut += ", ";
            mOut.push_back(bracket);
        } else if (mJson) {
            if (top.count > 1) mOut.push_back(',');
            newline(top.indent + 2);
            mOut.push_back(bracket);
        } else {
            mOut.append(static_cast<std::size_t>(top.indent), ' ');
            mOut += "- ";
            if (flow) mOut.push_back(bracket);
            else dash = true;
        }
    }
    mAfterKey = false;
    frame f{map, flow, indent};
    f.dashPending = dash;
    mStack.push_back(f);
}

}  // namespace ky::metamodel::file::detail
