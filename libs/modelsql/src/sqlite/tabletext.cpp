// The walk over a CREATE TABLE statement. Its column list is split at the
// commas of depth one; a part beginning with CONSTRAINT, PRIMARY, UNIQUE,
// CHECK or FOREIGN holds table constraints (SQLite lets them follow each
// other without commas), any other part is a column: its name, the words
// of its type, then its constraints. Each constraint is read by its first
// word up to its last token, so that words inside it (the NULL of
// ON DELETE SET NULL or DEFAULT NULL, the NOT of NOT DEFERRABLE) are never
// taken for the start of another.
//
// Enumeration checks: the DDL writes an enumeration as a column constraint
// `CHECK (column IN (literal, ...))`. A column gets the literals of such a
// check, as a column or as a table constraint, only when that check is the
// only one that names it; a check of any other shape takes the items from
// every column it names.
#include "sqlite/tabletext.h"

#include <sqlite3.h>

#include <algorithm>

#include "sqlinternal.h"
#include "sqlite/tokens.h"

namespace ky::metamodel::sql::detail::sqlite {

namespace {

struct walker {
    const tokenList& t;
    tableText& out;
    std::size_t end;       // one past the last token of the part walked
    int column = -1;       // the column whose constraints these are; -1 for table constraints
    std::string pending;   // the CONSTRAINT name of the constraint that follows
    bool defaulted = false;  // the column has had its DEFAULT

    // The text has a form whose pragma answers are not read here.
    void inexact() { out.exact = false; }
    columnText& current() { return out.columns[static_cast<std::size_t>(column)]; }
};

std::string folded(const tokenList& t, std::size_t i) { return foldedAscii(t.name(i)); }

// What SQLite makes of a name or string token: without its quotes, inner
// quotes undoubled; any other token as written.
std::string unquoted(const tokenList& t, std::size_t i) {
    const std::string_view written = t.text(i);
    if (t[i].kind != token::eLiteral || written.size() < 2 || written[0] != '\'') return t.name(i);
    std::string out;
    for (std::size_t k = 1; k + 1 < written.size(); ++k) {
        out.push_back(written[k]);
        if (written[k] == '\'') ++k;
    }
    return out;
}

// The index of the column named `name` (folded), or -1.
int columnNamed(const tableText& out, const std::string& name) {
    for (std::size_t k = 0; k < out.columns.size(); ++k)
        if (foldedAscii(out.columns[k].name) == name) return static_cast<int>(k);
    return -1;
}

// A word SQLite takes into a type: any word but its keywords, of which it
// takes some (only the two that types use are known here).
bool typeWord(const tokenList& t, std::size_t i) {
    if (t[i].kind != token::eWord) return false;
    const std::string_view word = t.text(i);
    return sqlite3_keyword_check(word.data(), static_cast<int>(word.size())) == 0 || t.isWord(i, "WITH") ||
           t.isWord(i, "WITHOUT");
}

// `[+|-] number` at `i`, before `close`; answers the index after it, or 0.
std::size_t signedNumber(const tokenList& t, std::size_t i, std::size_t close) {
    if (t.isPunct(i, '+') || t.isPunct(i, '-')) ++i;
    if (i >= close || t[i].kind != token::eLiteral) return 0;
    const char c = t.text(i)[0];
    return (c >= '0' && c <= '9') || c == '.' ? i + 1 : 0;
}

// Whether (open, close) holds a type's sizes: one or two signed numbers.
bool typeSizes(const tokenList& t, std::size_t open, std::size_t close) {
    std::size_t i = signedNumber(t, open + 1, close);
    if (i && t.isPunct(i, ',')) i = signedNumber(t, i + 1, close);
    return i == close;
}

// The declared type as SQLite keeps it: its six own names in upper case.
std::string declaredType(std::string_view written) {
    for (std::string_view name : {"ANY", "BLOB", "INT", "INTEGER", "REAL", "TEXT"}) {
        if (written.size() != name.size()) continue;
        std::size_t k = 0;
        while (k < name.size() && (written[k] == name[k] || written[k] == name[k] - 'A' + 'a')) ++k;
        if (k == name.size()) return std::string(name);
    }
    return std::string(written);
}

// The literals of `column IN (literal, ...)` filling [i, end) exactly; empty
// for any other text. A sign stands before a number only; a plus changes
// nothing.
std::vector<std::string> inListLiterals(const tokenList& t, std::size_t i, std::size_t end) {
    if (end < i + 5 || !t.isName(i) || !t.isWord(i + 1, "IN") || !t.isPunct(i + 2, '(') || !t.isPunct(end - 1, ')'))
        return {};
    std::vector<std::string> literals;
    for (i += 3; i < end;) {
        const bool minus = t.isPunct(i, '-');
        const bool sign = minus || t.isPunct(i, '+');
        if (sign && ++i >= end) return {};
        std::string text = minus ? "-" : "";
        const std::string_view written = t.text(i);
        if (t[i].kind == token::eLiteral) {
            if (sign && (written[0] == '\'' || written[0] == 'x' || written[0] == 'X')) return {};
            text += written;
        } else if (!sign && (t.isWord(i, "TRUE") || t.isWord(i, "FALSE"))) {
            text = written;
        } else {
            return {};
        }
        literals.push_back(std::move(text));
        if (++i == end - 1) return literals;
        if (i >= end || !t.isPunct(i, ',')) return {};
        ++i;
    }
    return {};
}

// The first name of each item in the list opened at `open`, folded.
std::vector<std::string> nameList(const tokenList& t, std::size_t open, std::size_t close) {
    std::vector<std::string> names;
    bool itemStart = true;
    int depth = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        if (t.isPunct(i, '(')) ++depth;
        else if (t.isPunct(i, ')')) --depth;
        else if (depth == 0 && t.isPunct(i, ',')) itemStart = true;
        else if (itemStart && depth == 0 && t.isName(i)) names.push_back(folded(t, i));
        if (!t.isPunct(i, ',')) itemStart = false;
    }
    return names;
}

// The items of the list (open, close): `name [COLLATE name] [ASC | DESC]`
// each when `sorted`, a name each otherwise; a key's list may end with
// AUTOINCREMENT, which `autoincrement` then tells. Any other item, or a
// name twice, leaves the text inexact.
std::vector<itemText> itemList(walker& w, std::size_t open, std::size_t close, bool sorted,
                               bool* autoincrement = nullptr) {
    const tokenList& t = w.t;
    std::vector<itemText> items;
    std::size_t i = open + 1;
    if (autoincrement && close > i && t.isWord(close - 1, "AUTOINCREMENT")) {
        *autoincrement = true;
        --close;
    }
    while (i < close) {
        if (!t.isName(i)) return w.inexact(), items;
        itemText& item = items.emplace_back();
        item.name = t.name(i++);
        if (sorted && t.isWord(i, "COLLATE") && i + 1 < close && t[i + 1].kind != token::ePunct) {
            item.collation = unquoted(t, i + 1);
            i += 2;
        }
        if (sorted && (t.isWord(i, "ASC") || t.isWord(i, "DESC"))) item.desc = t.isWord(i++, "DESC");
        if (i < close && !(t.isPunct(i, ',') && i + 1 < close)) return w.inexact(), items;
        ++i;
    }
    if (items.empty()) w.inexact();
    for (std::size_t a = 0; a < items.size(); ++a)
        for (std::size_t b = a + 1; b < items.size(); ++b)
            if (foldedAscii(items[a].name) == foldedAscii(items[b].name)) w.inexact();
    return items;
}

// Steps over ON CONFLICT clauses and the words a key or unique constraint
// may end with; sees AUTOINCREMENT.
std::size_t skipConstraintTail(walker& w, std::size_t i) {
    for (;;) {
        if (w.t.isWord(i, "ON") && w.t.isWord(i + 1, "CONFLICT")) {
            if (w.t.isWord(i + 2, "REPLACE")) w.out.replaces = true;
            i += 3;
        } else if (w.t.isWord(i, "ASC") || w.t.isWord(i, "DESC")) {
            ++i;
        } else if (w.t.isWord(i, "AUTOINCREMENT")) {
            if (w.column >= 0) w.current().autoincrement = true;
            ++i;
        } else {
            return i;
        }
    }
}

// `i` is CHECK; answers the index after its closing parenthesis.
std::size_t readCheck(walker& w, std::size_t i) {
    const std::size_t close = w.t.closing(i + 1);
    if (!w.t.isPunct(i + 1, '(') || close >= w.end) return w.inexact(), w.end;
    checkText& check = w.out.checks.emplace_back();
    check.name = std::move(w.pending);
    check.text = w.t.span(i, close);
    for (std::size_t k = i + 2; k < close; ++k)
        if (w.t.isName(k)) check.named.push_back(folded(w.t, k));
    check.literals = inListLiterals(w.t, i + 2, close);
    if (!check.literals.empty()) check.named.assign(1, folded(w.t, i + 2));
    else if (w.column >= 0) check.named.push_back(foldedAscii(w.current().name));
    // A table's check may end with ON CONFLICT.
    return w.column < 0 ? skipConstraintTail(w, close + 1) : close + 1;
}

// The action after ON DELETE or ON UPDATE at `i`, as the pragma names it;
// `length` its number of words. Empty when it is none of SQLite's.
std::string action(const tokenList& t, std::size_t i, std::size_t& length) {
    length = 2;
    if (t.isWord(i, "SET") && t.isWord(i + 1, "NULL")) return "SET NULL";
    if (t.isWord(i, "SET") && t.isWord(i + 1, "DEFAULT")) return "SET DEFAULT";
    if (t.isWord(i, "NO") && t.isWord(i + 1, "ACTION")) return "NO ACTION";
    length = 1;
    if (t.isWord(i, "CASCADE")) return "CASCADE";
    if (t.isWord(i, "RESTRICT")) return "RESTRICT";
    return {};
}

// `i` is REFERENCES: the target, its columns and the clauses after them;
// answers the index after the last.
std::size_t readReferences(walker& w, std::size_t i, foreignKeyText& fk) {
    const tokenList& t = w.t;
    if (!t.isName(i + 1)) return w.inexact(), i + 1;
    fk.target = folded(t, i + 1);
    fk.targetName = t.name(i + 1);
    i += 2;
    if (t.isPunct(i, '(')) {
        const std::size_t close = t.closing(i);
        fk.to = nameList(t, i, close);
        for (itemText& item : itemList(w, i, close, false)) fk.toColumns.push_back(std::move(item.name));
        i = close + 1;
    }
    bool deferrable = false, deferred = false;
    while (i < w.end) {
        if (t.isWord(i, "ON") && (t.isWord(i + 1, "DELETE") || t.isWord(i + 1, "UPDATE") || t.isWord(i + 1, "INSERT"))) {
            std::size_t length = 0;
            std::string what = action(t, i + 2, length);
            if (what.empty()) w.inexact();
            if (t.isWord(i + 1, "DELETE")) fk.onDelete = std::move(what);
            else if (t.isWord(i + 1, "UPDATE")) fk.onUpdate = std::move(what);
            i += 2 + length;
        } else if (t.isWord(i, "ON")) {
            w.inexact();
            i += 3;
        } else if (t.isWord(i, "MATCH")) {
            fk.matchFull = t.isWord(i + 1, "FULL");
            if (!t.isName(i + 1)) w.inexact();
            i += 2;
        } else if (t.isWord(i, "DEFERRABLE") || (t.isWord(i, "NOT") && t.isWord(i + 1, "DEFERRABLE"))) {
            deferrable = t.isWord(i, "DEFERRABLE");
            i += deferrable ? 1 : 2;
        } else if (t.isWord(i, "INITIALLY")) {
            deferred = t.isWord(i + 1, "DEFERRED");
            if (!deferred && !t.isWord(i + 1, "IMMEDIATE")) w.inexact();
            i += 2;
        } else {
            break;
        }
    }
    // SQLite defers only what is DEFERRABLE INITIALLY DEFERRED.
    if (deferrable) fk.deferrable = deferred ? "DEFERRABLE INITIALLY DEFERRED" : "DEFERRABLE";
    return std::min(i, w.end);
}

std::size_t readForeignKey(walker& w, std::size_t i) {
    const tokenList& t = w.t;
    foreignKeyText fk;
    fk.name = std::move(w.pending);
    std::size_t references = i;
    if (w.column < 0) {
        const std::size_t open = i + 2;
        if (!t.isWord(i + 1, "KEY") || !t.isPunct(open, '(')) return w.inexact(), w.end;
        const std::size_t close = t.closing(open);
        fk.from = nameList(t, open, close);
        for (const itemText& item : itemList(w, open, close, false)) {
            const int column = columnNamed(w.out, foldedAscii(item.name));
            if (column < 0) w.inexact();
            else fk.fromColumns.push_back(w.out.columns[static_cast<std::size_t>(column)].name);
        }
        references = close + 1;
        if (!t.isWord(references, "REFERENCES")) return w.inexact(), w.end;
    } else {
        fk.from.push_back(foldedAscii(w.current().name));
        fk.fromColumns.push_back(w.current().name);
    }
    const std::size_t next = readReferences(w, references, fk);
    if (next <= references) return w.inexact(), next;
    // SQLite refuses lists of different lengths; a column's key has one.
    if (!fk.toColumns.empty() && fk.toColumns.size() != fk.fromColumns.size()) w.inexact();
    fk.definition = w.column < 0 ? std::string(t.span(i, next - 1))
                                 : "FOREIGN KEY (" + w.current().written + ") " + std::string(t.span(references, next - 1));
    w.out.foreignKeys.push_back(std::move(fk));
    return next;
}

std::size_t readUnique(walker& w, std::size_t i) {
    uniqueText unique;
    unique.name = std::move(w.pending);
    std::size_t next = i + 1;
    if (w.column < 0) {
        if (!w.t.isPunct(next, '(')) return w.inexact(), w.end;
        const std::size_t close = w.t.closing(next);
        unique.columns = nameList(w.t, next, close);
        unique.items = itemList(w, next, close, true);
        for (const itemText& item : unique.items)
            if (columnNamed(w.out, foldedAscii(item.name)) < 0) w.inexact();
        unique.text = w.t.span(i, close);
        next = close + 1;
    } else {
        const columnText& column = w.current();
        unique.columns.push_back(foldedAscii(column.name));
        unique.items.push_back({column.name, {}, false});
        unique.text = "UNIQUE (" + column.written + ")";
    }
    w.out.uniques.push_back(std::move(unique));
    return skipConstraintTail(w, next);
}

std::size_t readKey(walker& w, std::size_t i) {
    if (!w.t.isWord(i + 1, "KEY") || !w.out.keyColumns.empty()) w.inexact();
    w.out.keyName = std::move(w.pending);
    i += 2;  // PRIMARY KEY
    if (w.column >= 0) {
        w.current().keyPosition = 1;
        w.out.keyColumns.assign(1, foldedAscii(w.current().name));
    } else if (w.t.isPunct(i, '(')) {
        const std::size_t close = w.t.closing(i);
        bool autoincrement = false;
        const std::vector<itemText> items = itemList(w, i, close, true, &autoincrement);
        for (std::size_t k = 0; k < items.size(); ++k) {
            const std::string name = foldedAscii(items[k].name);
            const int column = columnNamed(w.out, name);
            if (column < 0) {
                w.inexact();
                continue;
            }
            w.out.keyColumns.push_back(name);
            w.out.columns[static_cast<std::size_t>(column)].keyPosition = static_cast<int>(k + 1);
            if (autoincrement && items.size() == 1) w.out.columns[static_cast<std::size_t>(column)].autoincrement = true;
        }
        i = close + 1;
    } else {
        w.inexact();
    }
    return skipConstraintTail(w, i);
}

// `i` is GENERATED or AS.
std::size_t readGenerated(walker& w, std::size_t i) {
    if (w.t.isWord(i, "GENERATED")) {
        if (!w.t.isWord(i + 1, "ALWAYS")) w.inexact();
        i += 2;  // GENERATED ALWAYS
    }
    const std::size_t open = i + 1;
    if (!w.t.isWord(i, "AS") || !w.t.isPunct(open, '(') || w.column < 0) return w.inexact(), w.end;
    const std::size_t close = w.t.closing(open);
    if (close >= w.end || close == open + 1) return w.inexact(), w.end;
    w.current().generated = w.t.span(open + 1, close - 1);
    i = close + 1;
    if (!w.t.isWord(i, "STORED") && !w.t.isWord(i, "VIRTUAL")) return i;
    w.current().stored = w.t.isWord(i, "STORED");
    return i + 1;
}

// `i` is DEFAULT: the span of its term, or the inside of its parentheses
// (without a comment in the statement, SQLite's trimmed text between them).
std::size_t readDefault(walker& w, std::size_t i) {
    const tokenList& t = w.t;
    if (w.column < 0 || w.defaulted) w.inexact();
    w.defaulted = true;
    std::string text;
    std::size_t next;
    if (t.isPunct(i + 1, '(')) {
        const std::size_t close = t.closing(i + 1);
        if (close >= w.end || close == i + 2) return w.inexact(), w.end;
        text = t.span(i + 2, close - 1);
        next = close + 1;
    } else if (t.isPunct(i + 1, '-') || t.isPunct(i + 1, '+')) {
        if (i + 2 >= w.end || t[i + 2].kind == token::ePunct) return w.inexact(), w.end;
        text = t.span(i + 1, i + 2);
        next = i + 3;
    } else {
        if (i + 1 >= w.end || t[i + 1].kind == token::ePunct) return w.inexact(), w.end;
        text = t.text(i + 1);
        next = i + 2;
    }
    if (w.column >= 0) {
        w.current().hasDefault = true;
        w.current().defaultText = std::move(text);
    }
    return next;
}

// Reads one constraint at `i`; answers the index after it.
std::size_t readConstraint(walker& w, std::size_t i) {
    const tokenList& t = w.t;
    if (t.isWord(i, "CONSTRAINT")) {
        if (!t.isName(i + 1)) w.inexact();
        w.pending = t.isName(i + 1) ? t.name(i + 1) : std::string();
        return i + 2;
    }
    std::size_t next = i + 1;
    if (t.isWord(i, "PRIMARY")) next = readKey(w, i);
    else if (t.isWord(i, "UNIQUE")) next = readUnique(w, i);
    else if (t.isWord(i, "CHECK")) next = readCheck(w, i);
    else if (t.isWord(i, "FOREIGN") || t.isWord(i, "REFERENCES")) next = readForeignKey(w, i);
    else if (t.isWord(i, "GENERATED") || t.isWord(i, "AS")) next = readGenerated(w, i);
    else if (t.isWord(i, "DEFAULT")) next = readDefault(w, i);
    else if (t.isWord(i, "NOT") || t.isWord(i, "NULL")) {
        const bool notNull = t.isWord(i, "NOT");
        if (notNull && !t.isWord(i + 1, "NULL")) w.inexact();
        if (w.column >= 0 && notNull) w.current().notNull = true;
        if (w.column < 0) w.inexact();
        next = skipConstraintTail(w, i + (notNull ? 2 : 1));
    } else if (t.isWord(i, "COLLATE") && w.column >= 0 && i + 1 < w.end) {
        w.current().collation = t.text(i + 1);
        w.current().collationName = unquoted(t, i + 1);
        if (t[i + 1].kind == token::ePunct) w.inexact();
        next = i + 2;
    } else {
        w.inexact();
    }
    w.pending.clear();
    return next;
}

bool startsConstraint(const tokenList& t, std::size_t i) {
    for (std::string_view word : {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT", "COLLATE",
                                  "REFERENCES", "GENERATED", "AS"})
        if (t.isWord(i, word)) return true;
    return false;
}

bool startsTableConstraint(const tokenList& t, std::size_t i) {
    for (std::string_view word : {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"})
        if (t.isWord(i, word)) return true;
    return false;
}

// One part of the column list: [begin, end).
void readDefinition(const tokenList& t, std::size_t begin, std::size_t end, tableText& out) {
    walker w{t, out, end, -1, {}};
    std::size_t i = begin;
    if (!startsTableConstraint(t, begin)) {
        if (!t.isName(begin)) return w.inexact();
        w.column = static_cast<int>(out.columns.size());
        columnText& column = out.columns.emplace_back();
        column.name = t.name(begin);
        column.written = t.text(begin);
        // The words of the type, with its parenthesised sizes.
        bool sized = false;
        for (i = begin + 1; i < end && !startsConstraint(t, i);) {
            if (t.isPunct(i, '(')) {
                const std::size_t close = t.closing(i);
                if (sized || i == begin + 1 || close >= end || !typeSizes(t, i, close)) w.inexact();
                sized = true;
                i = std::min(close + 1, end);
            } else {
                if (sized || !typeWord(t, i)) w.inexact();
                ++i;
            }
        }
        if (i > begin + 1) column.type = declaredType(t.span(begin + 1, i - 1));
    }
    while (i < end) i = readConstraint(w, i);
}

// WITHOUT ROWID and STRICT after the column list, as SQLite spells them.
std::string tableOptions(const tokenList& t, std::size_t i, tableText& out) {
    std::string options;
    for (std::size_t k = i; k < t.size(); ++k) {
        const char* option = t.isWord(k, "STRICT") ? "STRICT"
                             : t.isWord(k, "WITHOUT") && t.isWord(k + 1, "ROWID") ? "WITHOUT ROWID"
                                                                                    : nullptr;
        if (!option) continue;
        if (!options.empty()) options += ", ";
        options += option;
    }
    // Exact: without options. WITHOUT ROWID and STRICT make some of the
    // key's columns NOT NULL, which is left to the pragma.
    if (i < t.size()) out.exact = false;
    return options;
}

// Gives each column the literals of the one check that names it.
void setCheckLiterals(tableText& out) {
    for (columnText& column : out.columns) {
        const std::string name = foldedAscii(column.name);
        const checkText* only = nullptr;
        int count = 0;
        for (const checkText& check : out.checks)
            if (std::find(check.named.begin(), check.named.end(), name) != check.named.end()) {
                only = &check;
                ++count;
            }
        if (count != 1 || only->literals.empty()) continue;
        column.checkLiterals = only->literals;
        column.enumCheck = static_cast<int>(only - out.checks.data());
    }
}

}  // namespace

bool readTableText(std::string_view sql, tableText& out) {
    const tokenList t(sql);
    if (!t.ok()) return false;
    std::size_t open = 0;
    while (open < t.size() && !t.isPunct(open, '(')) ++open;
    const std::size_t close = t.closing(open);
    if (close >= t.size()) return false;
    // As sqlite_schema keeps it: CREATE TABLE, the name (perhaps with its
    // schema), the list; no comment anywhere.
    out.exact = !t.hasComment() && t.isWord(0, "CREATE") && t.isWord(1, "TABLE") && t.isName(2) &&
                (open == 3 || (open == 5 && t.isPunct(3, '.') && t.isName(4)));
    std::size_t start = open + 1;
    int depth = 0;
    for (std::size_t i = start; i <= close; ++i) {
        if (t.isPunct(i, '(')) ++depth;
        else if (t.isPunct(i, ')')) --depth;
        if (i != close && (depth != 0 || !t.isPunct(i, ','))) continue;
        if (start < i) readDefinition(t, start, i, out);
        start = i + 1;
    }
    out.options = tableOptions(t, close + 1, out);
    setCheckLiterals(out);
    return true;
}

}  // namespace ky::metamodel::sql::detail::sqlite
