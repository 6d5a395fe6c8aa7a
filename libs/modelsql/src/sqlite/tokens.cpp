#include "sqlite/tokens.h"

namespace ky::metamodel::sql::detail::sqlite {

namespace {

bool wordChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c >= 0x80;
}

bool digit(char c) { return c >= '0' && c <= '9'; }

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The end of the quoted text opening at `i` with `close` as its closing
// mark (doubled inside, except for "]"); npos when it does not end.
std::size_t quotedEnd(std::string_view sql, std::size_t i, char close) {
    for (++i; i < sql.size(); ++i) {
        if (sql[i] != close) continue;
        if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) ++i;
        else return i + 1;
    }
    return std::string_view::npos;
}

std::size_t numberEnd(std::string_view sql, std::size_t i) {
    while (i < sql.size() && (wordChar(static_cast<unsigned char>(sql[i])) || sql[i] == '.' ||
                              ((sql[i] == '+' || sql[i] == '-') && (sql[i - 1] == 'e' || sql[i - 1] == 'E'))))
        ++i;
    return i;
}

}  // namespace

tokenList::tokenList(std::string_view sql) : mSql(sql) {
    const std::size_t n = sql.size();
    mTokens.reserve(n / 4);  // about one token in four bytes of a table's statement
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        if (space(c)) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            mComment = true;
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            // SQLite ends an unclosed comment with the text.
            mComment = true;
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
        } else if (c == '\'' || ((c == 'x' || c == 'X') && i + 1 < n && sql[i + 1] == '\'')) {
            const std::size_t end = quotedEnd(sql, c == '\'' ? i : i + 1, '\'');
            if (end == std::string_view::npos) break;
            mTokens.push_back({token::eLiteral, i, end});
            i = end;
        } else if (c == '"' || c == '`' || c == '[') {
            const std::size_t end = quotedEnd(sql, i, c == '[' ? ']' : c);
            if (end == std::string_view::npos) break;
            mTokens.push_back({token::eName, i, end});
            i = end;
        } else if (digit(c) || (c == '.' && i + 1 < n && digit(sql[i + 1]))) {
            const std::size_t end = numberEnd(sql, i);
            mTokens.push_back({token::eLiteral, i, end});
            i = end;
        } else if (wordChar(static_cast<unsigned char>(c))) {
            const std::size_t start = i;
            while (i < n && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
            mTokens.push_back({token::eWord, start, i});
        } else {
            mTokens.push_back({token::ePunct, i, i + 1});
            ++i;
        }
    }
    mOk = i >= n;
}

std::string tokenList::name(std::size_t i) const {
    const std::string_view quoted = text(i);
    if (mTokens[i].kind != token::eName) return std::string(quoted);
    const char close = quoted.front() == '[' ? ']' : quoted.front();
    std::string out;
    out.reserve(quoted.size() - 2);
    for (std::size_t k = 1; k + 1 < quoted.size(); ++k) {
        out.push_back(quoted[k]);
        if (close != ']' && quoted[k] == close) ++k;
    }
    return out;
}

std::string_view tokenList::span(std::size_t first, std::size_t last) const {
    return mSql.substr(mTokens[first].begin, mTokens[last].end - mTokens[first].begin);
}

std::size_t tokenList::closing(std::size_t open) const {
    int depth = 0;
    for (std::size_t i = open; i < mTokens.size(); ++i) {
        if (isPunct(i, '(')) ++depth;
        else if (isPunct(i, ')') && --depth == 0) return i;
    }
    return mTokens.size();
}

}  // namespace ky::metamodel::sql::detail::sqlite
