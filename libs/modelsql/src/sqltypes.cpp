// Column types both ways, literals of default values and enumeration items,
// and the string length kept in a field's type attributes.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwctype>

#include "sqlinternal.h"

namespace ky::metamodel::sql {

namespace {

// The longest VARCHAR PostgreSQL accepts; a longer string is TEXT.
constexpr unsigned long maxPgVarchar = 10485760;

ky::string upperTrimmed(const ky::string& text) {
    ky::string out;
    bool blank = false;
    for (wchar_t c : text) {
        if (c == L' ' || c == L'\t' || c == L'\n' || c == L'\r') {
            blank = !out.empty();
            continue;
        }
        if (blank && c != L'(' && c != L')' && out.back() != L'(') out.push_back(L' ');
        blank = false;
        out.push_back(c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c);
    }
    return out;
}

// Splits "NAME(args)" into its name and the text between the parentheses;
// false when something follows the closing parenthesis.
bool splitArguments(const ky::string& text, ky::string& name, ky::string& args, bool& hasArgs) {
    const std::size_t open = text.find(L'(');
    hasArgs = open != ky::string::npos;
    if (!hasArgs) {
        name = text;
        return true;
    }
    const std::size_t close = text.find(L')', open);
    if (close == ky::string::npos || close + 1 != text.size()) return false;
    name = text.substr(0, open);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    args = text.substr(open + 1, close - open - 1);
    return true;
}

bool readCount(const ky::string& text, unsigned long& out) {
    if (text.empty() || text.size() > 9) return false;
    out = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        out = out * 10 + static_cast<unsigned long>(c - L'0');
    }
    return out > 0;
}

struct typeWord {
    const wchar_t* word;
    eFieldType type;
    bool stringLength;  // arguments: a string length
    bool anyArguments;  // arguments read but not kept (precision)
    eFieldSemantics semantic;
};

constexpr typeWord typeWords[] = {
    {L"BOOLEAN", eBool, false, false, eSemNone},
    {L"BOOL", eBool, false, false, eSemNone},
    {L"SMALLINT", eShort, false, false, eSemNone},
    {L"INT2", eShort, false, false, eSemNone},
    {L"INTEGER", eInt, false, false, eSemNone},
    {L"INT", eInt, false, false, eSemNone},
    {L"INT4", eInt, false, false, eSemNone},
    {L"BIGINT", eLong, false, false, eSemNone},
    {L"INT8", eLong, false, false, eSemNone},
    {L"REAL", eFloat, false, false, eSemNone},
    {L"FLOAT4", eFloat, false, false, eSemNone},
    {L"DOUBLE PRECISION", eDouble, false, false, eSemNone},
    {L"DOUBLE", eDouble, false, false, eSemNone},
    {L"FLOAT8", eDouble, false, false, eSemNone},
    {L"FLOAT", eDouble, false, true, eSemNone},
    {L"NUMERIC", eDouble, false, true, eSemMonetary},
    {L"DECIMAL", eDouble, false, true, eSemMonetary},
    {L"VARCHAR", eString, true, false, eSemNone},
    {L"CHARACTER VARYING", eString, true, false, eSemNone},
    {L"NVARCHAR", eString, true, false, eSemNone},
    {L"NCHAR", eString, true, false, eSemNone},
    {L"CHARACTER", eString, true, false, eSemNone},
    {L"CHAR", eString, true, false, eSemNone},
    {L"TEXT", eString, false, false, eSemNone},
    {L"CLOB", eString, false, false, eSemNone},
    {L"DATE", eDate, false, false, eSemNone},
    {L"TIME", eTime, false, true, eSemNone},
    {L"TIME WITHOUT TIME ZONE", eTime, false, true, eSemNone},
    {L"TIME WITH TIME ZONE", eTime, false, true, eSemNone},
    {L"TIMETZ", eTime, false, true, eSemNone},
    {L"TIMESTAMP", eTimestamp, false, true, eSemNone},
    {L"TIMESTAMP WITHOUT TIME ZONE", eTimestamp, false, true, eSemNone},
    {L"TIMESTAMP WITH TIME ZONE", eTimestamp, false, true, eSemNone},
    {L"TIMESTAMPTZ", eTimestamp, false, true, eSemNone},
    {L"DATETIME", eTimestamp, false, false, eSemNone},
    {L"BLOB", eBinary, false, false, eSemNone},
    {L"BYTEA", eBinary, false, false, eSemNone},
};

// PostgreSQL writes a precision inside the name: "time(3) without time zone".
ky::string movePrecisionOut(const ky::string& text) {
    const std::size_t open = text.find(L'(');
    const std::size_t close = text.find(L')');
    if (open == ky::string::npos || close == ky::string::npos || close < open || close + 1 == text.size())
        return text;
    ky::string rest = text.substr(close + 1);
    while (!rest.empty() && rest.front() == L' ') rest.erase(0, 1);
    return text.substr(0, open) + L" " + rest + text.substr(open, close - open + 1);
}

void appendTwo(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + (value / 10) % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

std::string dateText(const ky::date& d) {
    const int year = d.year();
    if (year < 0 || year > 9999) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, d.month(), d.day());
        return buffer;
    }
    std::string out;
    appendTwo(out, year / 100);
    appendTwo(out, year % 100);
    out.push_back('-');
    appendTwo(out, d.month());
    out.push_back('-');
    appendTwo(out, d.day());
    return out;
}

std::string timeText(const ky::time& t) {
    std::string out;
    appendTwo(out, t.hour());
    out.push_back(':');
    appendTwo(out, t.minute());
    out.push_back(':');
    appendTwo(out, t.second());
    // Nanoseconds, without the zeros they end in.
    long fraction = t.fraction();
    if (fraction > 0 && fraction < 1000000000) {
        int digits = 9;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        char text[10] = {'.'};
        for (int i = digits; i > 0; --i, fraction /= 10) text[i] = static_cast<char>('0' + fraction % 10);
        out.append(text, static_cast<std::size_t>(digits) + 1);
    }
    return out;
}

// PostgreSQL's floating-point and numeric types read 'NaN', 'Infinity' and
// '-Infinity'; SQLite has no literal for them.
bool nonFiniteText(double number, eDialect dialect, std::string& out) {
    if (dialect != ePostgresql) return false;
    out = std::isnan(number) ? "'NaN'" : number > 0 ? "'Infinity'" : "'-Infinity'";
    return true;
}

template <class T>
bool numberText(const ky::genericValue& value, eDialect dialect, std::string& out) {
    T number{};
    if (!value.read(number)) return false;
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(number)) return nonFiniteText(number, dialect, out);
    }
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, number);
    if (written.ec != std::errc()) return false;
    out.assign(buffer, written.ptr);
    return true;
}

// Text between single quotes (texts without quotes of their own). Built by
// appending: g++ 12 at -O3 warns wrongly on "'" + text + "'".
std::string quoted(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    out.append(text);
    out.push_back('\'');
    return out;
}

std::string hexOf(const ky::binaryBuffer& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes.bytes()) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool readHex(const ky::string& text, ky::binaryBuffer& out) {
    if (text.size() % 2 != 0) return false;
    out.bytes().clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.bytes().push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

ky::string trimmed(const ky::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// Removes parentheses that enclose the whole text: "((-1))" is -1.
ky::string withoutOuterParentheses(ky::string text) {
    while (text.size() >= 2 && text.front() == L'(' && text.back() == L')') {
        int depth = 0;
        bool enclosing = true;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == L'(') ++depth;
            if (text[i] == L')' && --depth == 0) {
                enclosing = false;
                break;
            }
        }
        if (!enclosing) break;
        text = trimmed(text.substr(1, text.size() - 2));
    }
    return text;
}

// A quoted literal 'a''b' at the start of `text`, followed by nothing or by
// casts ("::date"); `content` is the text between the quotes.
bool readQuoted(const ky::string& text, ky::string& content) {
    if (text.empty() || text[0] != L'\'') return false;
    content.clear();
    std::size_t i = 1;
    for (; i < text.size(); ++i) {
        if (text[i] == L'\'') {
            if (i + 1 < text.size() && text[i + 1] == L'\'') {
                content.push_back(L'\'');
                ++i;
                continue;
            }
            break;
        }
        content.push_back(text[i]);
    }
    if (i >= text.size()) return false;
    const ky::string rest = trimmed(text.substr(i + 1));
    return rest.empty() || rest.rfind(L"::", 0) == 0;
}

bool isNumber(const ky::string& text) {
    if (text.empty()) return false;
    std::size_t i = (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9') digits = true;
        else if (c != L'.' && c != L'e' && c != L'E' && c != L'-' && c != L'+') return false;
    }
    return digits;
}

}  // namespace

columnType parseColumnType(const ky::string& sqlType, eDialect /*dialect*/) {
    columnType result;
    result.custom = trimmed(sqlType);
    ky::string name, args;
    bool hasArgs = false;
    if (!splitArguments(movePrecisionOut(upperTrimmed(sqlType)), name, args, hasArgs)) return result;
    for (const typeWord& word : typeWords) {
        if (name != word.word) continue;
        unsigned long length = 0;
        if (hasArgs && !word.anyArguments && !(word.stringLength && readCount(args, length))) return result;
        result.type = word.type;
        result.length = length;
        result.semantic = word.semantic;
        result.known = true;
        result.custom.clear();
        return result;
    }
    return result;
}

std::string sqlTypeOf(eFieldType type, unsigned long length, eFieldSemantics semantic, eDialect dialect) {
    const bool pg = dialect == ePostgresql;
    switch (type) {
        case eBool: return "BOOLEAN";
        case eShort: return "SMALLINT";
        case eInt: return "INTEGER";
        case eLong: return "BIGINT";
        case eFloat: return semantic == eSemMonetary ? "NUMERIC" : "REAL";
        case eDouble: return semantic == eSemMonetary ? "NUMERIC" : "DOUBLE PRECISION";
        case eString:
            if (length == 0 || (pg && length > maxPgVarchar)) return "TEXT";
            return "VARCHAR(" + std::to_string(length) + ")";
        case eDate: return "DATE";
        case eTime: return "TIME";
        case eTimestamp: return "TIMESTAMP";
        case eBinary: return pg ? "BYTEA" : "BLOB";
        case eDirectory:
        case eFile:
        case eSearchPath: return "TEXT";
        default: return std::string();
    }
}

bool isSafeCustomType(const ky::string& text) {
    if (text.empty() || text.size() > 200) return false;
    const wchar_t first = text[0];
    if (!((first >= L'a' && first <= L'z') || (first >= L'A' && first <= L'Z') || first == L'_')) return false;
    int round = 0, square = 0;
    for (wchar_t c : text) {
        const bool word = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                          c == L'_' || c == L' ';
        if (c == L'(') ++round;
        else if (c == L')') { if (--round < 0) return false; }
        else if (c == L'[') ++square;
        else if (c == L']') { if (--square < 0) return false; }
        else if (c == L',') { if (round == 0) return false; }
        else if (!word) return false;
    }
    return round == 0 && square == 0;
}

bool quoteLiteral(const ky::string& text, std::string& out) {
    if (text.find(L'\0') != ky::string::npos) return false;
    out.assign(1, '\'');
    for (char c : detail::utf8(text)) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
    return true;
}

bool literalOf(const ky::genericValue& value, eFieldType type, eDialect dialect, std::string& out) {
    if (value.empty()) return false;
    switch (type) {
        case eBool: {
            bool flag = false;
            if (!value.read(flag)) return false;
            out = flag ? "TRUE" : "FALSE";
            return true;
        }
        case eShort: return numberText<short>(value, dialect, out);
        case eInt: return numberText<int>(value, dialect, out);
        case eLong: return numberText<long>(value, dialect, out);
        case eFloat: return numberText<float>(value, dialect, out);
        case eDouble: return numberText<double>(value, dialect, out);
        case eString: {
            ky::string text;
            return value.read(text) && quoteLiteral(text, out);
        }
        case eDate: {
            ky::date d;
            if (!value.read(d) || !d.isValid()) return false;
            out = quoted(dateText(d));
            return true;
        }
        case eTime: {
            ky::time t;
            if (!value.read(t) || !t.isValid()) return false;
            out = quoted(timeText(t));
            return true;
        }
        case eTimestamp: {
            ky::timestamp ts;
            if (!value.read(ts) || !ts.datePart().isValid() || !ts.timePart().isValid()) return false;
            out = quoted(dateText(ts.datePart()).append(" ").append(timeText(ts.timePart())));
            return true;
        }
        case eBinary: {
            ky::binaryBuffer bytes;
            if (!value.read(bytes)) return false;
            out = dialect == ePostgresql ? std::string("'\\x").append(hexOf(bytes)).append("'::bytea")
                                         : std::string("X'").append(hexOf(bytes)).append("'");
            return true;
        }
        case eDirectory: {
            ky::directory dir;
            return value.read(dir) && quoteLiteral(dir.name(), out);
        }
        case eFile: {
            ky::file f;
            return value.read(f) && quoteLiteral(f.name(), out);
        }
        default: return false;
    }
}

bool parseDefaultLiteral(const ky::string& text, eFieldType type, ky::genericValue& value) {
    const ky::string expression = withoutOuterParentheses(trimmed(text));
    ky::string content;
    const bool quoted = readQuoted(expression, content);
    if (type == eBinary) {
        ky::binaryBuffer bytes;
        const bool sqliteBlob = expression.size() >= 3 && (expression[0] == L'X' || expression[0] == L'x') &&
                                readQuoted(expression.substr(1), content);
        if (sqliteBlob && readHex(content, bytes)) {
            value = ky::genericValue::create(bytes);
            return true;
        }
        if (quoted && content.rfind(L"\\x", 0) == 0 && readHex(content.substr(2), bytes)) {
            value = ky::genericValue::create(bytes);
            return true;
        }
        return false;
    }
    if (!quoted) {
        const ky::string upper = upperTrimmed(expression);
        if (type == eBool && (upper == L"TRUE" || upper == L"FALSE")) content = upper == L"TRUE" ? L"1" : L"0";
        else if (isNumber(expression)) content = expression;
        else return false;
    }
    // A value of the type's class, which the text then replaces.
    ky::genericValue candidate;
    if (!fieldInfo::getDefaultFromType(type, candidate) || !candidate.assignFromText(content)) return false;
    value = std::move(candidate);
    return true;
}

unsigned long fieldLength(const fieldInfo& field) { return field.stringLength(); }

}  // namespace ky::metamodel::sql
