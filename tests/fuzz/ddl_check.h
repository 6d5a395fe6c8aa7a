// What any DDL text must be, whatever model it was written for: no NUL
// (sqlite3 and psql end a line there, so a quote opened before it closes at
// the next line's quote), every quoted identifier and literal closed, and no
// comment outside them (the writer writes none, so one is a name that got
// out of its quotes). Shared by the fuzz targets and the tests.
#pragma once

#include <string>

namespace kyfuzz {

// Empty when `ddl` is sound; otherwise what is wrong and where.
inline std::string ddlFault(const std::string& ddl) {
    enum { plain, literal, identifier } state = plain;
    for (std::size_t i = 0; i < ddl.size(); ++i) {
        const char c = ddl[i];
        const char next = i + 1 < ddl.size() ? ddl[i + 1] : '\0';
        if (c == '\0') return "a NUL at byte " + std::to_string(i);
        if (state == plain) {
            if (c == '\'') state = literal;
            else if (c == '"') state = identifier;
            else if ((c == '-' && next == '-') || (c == '/' && next == '*'))
                return "a comment outside quotes at byte " + std::to_string(i);
        } else if (c == (state == literal ? '\'' : '"')) {
            if (next == c) ++i;  // a doubled quote stays inside
            else state = plain;
        }
    }
    return state == plain ? std::string() : std::string("a quote left open at the end");
}

}  // namespace kyfuzz
