// The scanner of the SQL texts a model's table facts carry.
//
// A fact's text is pasted into the DDL as it is, so it must be what its key
// says: one clause that stays inside the column or table definition it is
// pasted into, or statements of the kinds the key names. The scanner reads
// the text as the dialect's own tokenizer does, far enough to find the
// semicolons, commas and parentheses that are outside quotes and comments:
//
// - strings '...' (quotes doubled; PostgreSQL's E'...' also with backslash
//   escapes), quoted names "..." (SQLite also `...` and [...]), PostgreSQL's
//   dollar quotes $tag$...$tag$ (function bodies), SQLite's parameters;
// - comments -- to the line's end and /* ... */ (nested in PostgreSQL);
// - the bodies of SQLite's CREATE TRIGGER and PostgreSQL's BEGIN ATOMIC,
//   whose semicolons end the statement only after END, as the dialect's
//   own shell decides (statementEnd).
//
// What is left open at the end (a quote, a comment, a parenthesis) would
// swallow the statements that follow it, so it is refused like a semicolon
// where none may be.
#include <algorithm>
#include <cctype>

#include "ddl.h"

namespace ky::metamodel::sql::detail {

namespace {

enum class tokenKind { word, quoted, symbol, end };

struct token {
    tokenKind kind = tokenKind::end;
    std::size_t begin = 0;
    std::size_t end = 0;
};

bool isWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || u >= 0x80;
}

class scanner {
public:
    // A NUL anywhere, also in a comment, would end the text for the C
    // interfaces the DDL is given to; such a text yields no token.
    scanner(std::string_view text, eDialect dialect) : mText(text), mPg(dialect == ePostgresql) {
        if (text.find('\0') != std::string_view::npos) fault("a NUL byte");
    }

    // The next token; kind end at the end of the text or at a fault.
    token next() {
        skipBlanksAndComments();
        token t;
        t.begin = mAt;
        if (!mFault.empty() || mAt >= mText.size()) {
            t.end = mAt;
            return t;
        }
        const char c = mText[mAt];
        // Any other control character is no token of either dialect (SQLite's
        // tokenizer refuses even a vertical tab), and its shell would split
        // around it differently from this scanner: CREATE^_TRIGGER opens no
        // trigger body there.
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') return fault("a control character outside quotes");
        if (c == '\'') return quotedUntil('\'', false, t);
        if (c == '"') return quotedUntil('"', false, t);
        if (!mPg && c == '`') return quotedUntil('`', false, t);
        if (!mPg && c == '[') return quotedUntil(']', false, t);
        if (mPg && c == '$' && dollarQuote(t)) return t;
        // SQLite's parameters ($name, @name, :name, #name) are one token, never a keyword.
        const bool parameter = !mPg && (c == '$' || c == '@' || c == ':' || c == '#') && mAt + 1 < mText.size() &&
                               isWordByte(mText[mAt + 1]);
        if (isWordByte(c) || parameter) {
            ++mAt;
            while (mAt < mText.size() && (isWordByte(mText[mAt]) || mText[mAt] == '$')) ++mAt;
            // E'...' in PostgreSQL: a string with backslash escapes.
            if (mPg && mAt - t.begin == 1 && (c == 'E' || c == 'e') && mAt < mText.size() && mText[mAt] == '\'')
                return quotedUntil('\'', true, t);
            t.kind = parameter ? tokenKind::quoted : tokenKind::word;
            t.end = mAt;
            return t;
        }
        ++mAt;
        t.kind = tokenKind::symbol;
        t.end = mAt;
        return t;
    }

    const std::string& fault() const { return mFault; }
    // Whether the text ends inside a line comment (a semicolon after it would be commented out).
    bool endsInLineComment() const { return mLineCommentAtEnd; }

private:
    token fault(const char* why) {
        if (mFault.empty()) mFault = why;
        mAt = mText.size();
        return token{tokenKind::end, mAt, mAt};
    }

    void skipBlanksAndComments() {
        while (mAt < mText.size()) {
            const char c = mText[mAt];
            const char next = mAt + 1 < mText.size() ? mText[mAt + 1] : '\0';
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                ++mAt;
            } else if (c == '-' && next == '-') {
                const std::size_t end = mText.find('\n', mAt);
                mLineCommentAtEnd = end == std::string_view::npos;
                mAt = mLineCommentAtEnd ? mText.size() : end + 1;
            } else if (c == '/' && next == '*') {
                if (!blockComment()) return;
            } else {
                return;
            }
        }
    }

    bool blockComment() {
        int depth = 0;
        while (mAt + 1 < mText.size()) {
            if (mText[mAt] == '/' && mText[mAt + 1] == '*' && (depth == 0 || mPg)) {
                ++depth;
                mAt += 2;
            } else if (mText[mAt] == '*' && mText[mAt + 1] == '/') {
                mAt += 2;
                if (--depth == 0) return true;
            } else {
                ++mAt;
            }
        }
        fault("a comment left open");
        return false;
    }

    token quotedUntil(char close, bool backslash, token& t) {
        ++mAt;  // the opening quote
        while (mAt < mText.size()) {
            const char c = mText[mAt++];
            if (backslash && c == '\\') {
                ++mAt;
            } else if (c == close) {
                if (close != ']' && mAt < mText.size() && mText[mAt] == close) {
                    ++mAt;  // a doubled quote stays inside
                    continue;
                }
                t.kind = tokenKind::quoted;
                t.end = mAt;
                return t;
            }
        }
        return fault("a quote left open");
    }

    // $tag$ ... $tag$; false (nothing read) when the $ opens none ($1).
    bool dollarQuote(token& t) {
        std::size_t i = mAt + 1;
        while (i < mText.size() && (std::isalpha(static_cast<unsigned char>(mText[i])) || mText[i] == '_' ||
                                    (i > mAt + 1 && std::isdigit(static_cast<unsigned char>(mText[i])))))
            ++i;
        if (i >= mText.size() || mText[i] != '$') return false;
        const std::string_view tag = mText.substr(mAt, i + 1 - mAt);
        const std::size_t close = mText.find(tag, i + 1);
        if (close == std::string_view::npos) {
            t = fault("a dollar quote left open");
            return true;
        }
        mAt = close + tag.size();
        t.kind = tokenKind::quoted;
        t.end = mAt;
        return true;
    }

    std::string_view mText;
    bool mPg;
    std::size_t mAt = 0;
    std::string mFault;
    bool mLineCommentAtEnd = false;
};

std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool isSymbol(std::string_view text, const token& t, char c) {
    return t.kind == tokenKind::symbol && text[t.begin] == c;
}

// The words of a pattern or text separated by blanks.
std::vector<std::string_view> blankSeparated(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

bool oneOf(std::string_view choices, const std::string& word) {
    for (std::size_t at = 0; at <= choices.size();) {
        const std::size_t end = std::min(choices.find('|', at), choices.size());
        if (choices.substr(at, end - at) == word) return true;
        at = end + 1;
    }
    return false;
}

// Whether `text` ends inside a -- comment.
bool endsInLineComment(std::string_view text, eDialect dialect) {
    scanner scan(text, dialect);
    while (scan.next().kind != tokenKind::end) {
    }
    return scan.endsInLineComment();
}

// Where a semicolon ends a statement, as the dialect's own tools split a
// script: SQLite's shell (sqlite3_complete) ends a CREATE [TEMP] TRIGGER
// only at the ";" of a "; END ;"; psql counts BEGIN and CASE against END in
// CREATE [OR REPLACE] FUNCTION or PROCEDURE (BEGIN ATOMIC bodies) and ends
// one only at a semicolon outside them.
class statementEnd {
public:
    explicit statementEnd(eDialect dialect) : mPg(dialect == ePostgresql) {}

    void word(const std::string& word) {
        if (mWords.size() < 4) mWords.push_back(word);
        if (mPg && routine()) {
            if (word == "BEGIN" || word == "CASE") ++mDepth;
            else if (word == "END" && mDepth > 0) --mDepth;
        }
        mTrigger = mTrigger == afterSemicolon && word == "END" ? afterEnd : inBody;
    }
    void other() { mTrigger = inBody; }
    // Whether a semicolon here ends the statement; when it does not, it is
    // part of the statement.
    bool semicolon() {
        if (!ends()) {
            mTrigger = afterSemicolon;
            return false;
        }
        mWords.clear();
        mDepth = 0;
        mTrigger = inBody;
        return true;
    }
    // Whether the statement may end here (at the end of the text).
    bool ends() const { return mPg ? mDepth == 0 : !trigger() || mTrigger == afterEnd; }

private:
    bool is(std::size_t i, const char* word) const { return i < mWords.size() && mWords[i] == word; }
    bool trigger() const {
        return is(0, "CREATE") && (is(1, "TRIGGER") || ((is(1, "TEMP") || is(1, "TEMPORARY")) && is(2, "TRIGGER")));
    }
    bool routine() const {
        const auto kind = [&](std::size_t i) { return is(i, "FUNCTION") || is(i, "PROCEDURE"); };
        return is(0, "CREATE") && (kind(1) || (is(1, "OR") && is(2, "REPLACE") && kind(3)));
    }

    bool mPg;
    std::vector<std::string> mWords;  // the statement's first words, upper case
    int mDepth = 0;                   // psql: BEGIN and CASE not yet ended
    enum { inBody, afterSemicolon, afterEnd } mTrigger = inBody;  // SQLite: where in "; END ;"
};

}  // namespace

bool splitStatements(std::string_view text, eDialect dialect, std::vector<std::string>& out, std::string& why) {
    scanner scan(text, dialect);
    statementEnd end(dialect);
    std::size_t start = 0;
    int depth = 0;
    const auto push = [&](std::size_t at) {
        const std::string_view statement = trimmed(text.substr(start, at - start));
        if (statement.empty()) {
            why = "an empty statement";
            return false;
        }
        out.emplace_back(statement);
        // A line comment at its end needs its line break back before the ";".
        if (endsInLineComment(statement, dialect)) out.back() += '\n';
        return true;
    };
    for (token t = scan.next(); t.kind != tokenKind::end; t = scan.next()) {
        if (t.kind == tokenKind::word) {
            end.word(upper(text.substr(t.begin, t.end - t.begin)));
            continue;
        }
        if (isSymbol(text, t, '(')) ++depth;
        if (isSymbol(text, t, ')') && --depth < 0) {
            why = "a parenthesis closed that was never opened";
            return false;
        }
        if (isSymbol(text, t, ';')) {
            if (depth > 0) {
                why = "a semicolon inside parentheses";
                return false;
            }
            if (end.semicolon()) {
                if (!push(t.begin)) return false;
                start = t.end;
            }
            continue;
        }
        end.other();
    }
    if (!scan.fault().empty()) {
        why = scan.fault();
        return false;
    }
    if (depth != 0 || !end.ends()) {
        why = depth != 0 ? "a parenthesis left open" : "a body without its END";
        return false;
    }
    if (!trimmed(text.substr(start)).empty() && !push(text.size())) return false;
    if (out.empty()) {
        why = "no statement";
        return false;
    }
    return true;
}

bool singleClause(std::string_view text, eDialect dialect, bool oneItem, std::string& why) {
    scanner scan(text, dialect);
    int depth = 0;
    bool any = false;
    for (token t = scan.next(); t.kind != tokenKind::end; t = scan.next()) {
        any = true;
        if (isSymbol(text, t, '(')) ++depth;
        if (isSymbol(text, t, ')') && --depth < 0) {
            why = "a parenthesis closed that was never opened";
            return false;
        }
        if (isSymbol(text, t, ';')) {
            why = "a semicolon";
            return false;
        }
        if (oneItem && depth == 0 && isSymbol(text, t, ',')) {
            why = "a comma outside parentheses";
            return false;
        }
    }
    if (!scan.fault().empty()) why = scan.fault();
    else if (scan.endsInLineComment()) why = "a comment to its end";
    else if (depth != 0) why = "a parenthesis left open";
    else if (!any) why = "nothing";
    return why.empty();
}

bool beginsWith(std::string_view text, eDialect dialect, std::string_view pattern) {
    scanner scan(text, dialect);
    token t = scan.next();
    for (std::string_view part : blankSeparated(pattern)) {
        const bool optional = part.front() == '[';
        if (optional) part = part.substr(1, part.size() - 2);
        const bool matches =
            t.kind == tokenKind::word && oneOf(part, upper(text.substr(t.begin, t.end - t.begin)));
        if (matches) t = scan.next();
        else if (!optional) return false;
    }
    return true;
}

bool endsNotValid(std::string_view text) {
    const std::string folded = foldedAscii(" " + std::string(text));
    return folded.size() >= 10 && folded.compare(folded.size() - 10, 10, " not valid") == 0;
}

bool onlyWords(std::string_view text, std::string_view allowed) {
    const std::vector<std::string_view> words = blankSeparated(allowed);
    for (std::string_view word : blankSeparated(text)) {
        const std::string up = upper(word);
        if (std::find(words.begin(), words.end(), up) == words.end()) return false;
    }
    return text.find_first_of("\t\r\n") == std::string_view::npos;
}

}  // namespace ky::metamodel::sql::detail
