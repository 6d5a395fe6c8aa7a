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
};

std::string folded(const tokenList& t, std::size_t i) { return foldedAscii(t.name(i)); }

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

// Steps over ON CONFLICT clauses and the words a key or unique constraint
// may end with; sees AUTOINCREMENT.
std::size_t skipConstraintTail(walker& w, std::size_t i) {
    for (;;) {
        if (w.t.isWord(i, "ON") && w.t.isWord(i + 1, "CONFLICT")) {
            i += 3;
        } else if (w.t.isWord(i, "ASC") || w.t.isWord(i, "DESC")) {
            ++i;
        } else if (w.t.isWord(i, "AUTOINCREMENT")) {
            if (w.column >= 0) w.out.columns[static_cast<std::size_t>(w.column)].autoincrement = true;
            ++i;
        } else {
            return i;
        }
    }
}

// `i` is CHECK; answers the index after its closing parenthesis.
std::size_t readCheck(walker& w, std::size_t i) {
    const std::size_t close = w.t.closing(i + 1);
    if (!w.t.isPunct(i + 1, '(') || close >= w.end) return w.end;
    checkText& check = w.out.checks.emplace_back();
    check.name = std::move(w.pending);
    check.text = w.t.span(i, close);
    for (std::size_t k = i + 2; k < close; ++k)
        if (w.t.isName(k)) check.named.push_back(folded(w.t, k));
    check.literals = inListLiterals(w.t, i + 2, close);
    if (!check.literals.empty()) check.named.assign(1, folded(w.t, i + 2));
    else if (w.column >= 0) check.named.push_back(foldedAscii(w.out.columns[static_cast<std::size_t>(w.column)].name));
    return close + 1;
}

// `i` is REFERENCES: the target, its columns and the clauses after them;
// answers the index after the last.
std::size_t readReferences(walker& w, std::size_t i, foreignKeyText& fk) {
    const tokenList& t = w.t;
    if (!t.isName(i + 1)) return i + 1;
    fk.target = folded(t, i + 1);
    i += 2;
    if (t.isPunct(i, '(')) {
        const std::size_t close = t.closing(i);
        fk.to = nameList(t, i, close);
        i = close + 1;
    }
    bool deferrable = false, deferred = false;
    while (i < w.end) {
        if (t.isWord(i, "ON") && (t.isWord(i + 2, "SET") || t.isWord(i + 2, "NO"))) {
            i += 4;
        } else if (t.isWord(i, "ON")) {
            i += 3;
        } else if (t.isWord(i, "MATCH")) {
            fk.matchFull = t.isWord(i + 1, "FULL");
            i += 2;
        } else if (t.isWord(i, "DEFERRABLE") || (t.isWord(i, "NOT") && t.isWord(i + 1, "DEFERRABLE"))) {
            deferrable = t.isWord(i, "DEFERRABLE");
            i += deferrable ? 1 : 2;
        } else if (t.isWord(i, "INITIALLY")) {
            deferred = t.isWord(i + 1, "DEFERRED");
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
        if (!t.isPunct(open, '(')) return w.end;
        const std::size_t close = t.closing(open);
        fk.from = nameList(t, open, close);
        references = close + 1;
        if (!t.isWord(references, "REFERENCES")) return w.end;
    } else {
        fk.from.push_back(foldedAscii(w.out.columns[static_cast<std::size_t>(w.column)].name));
    }
    const std::size_t next = readReferences(w, references, fk);
    if (next <= references) return next;
    fk.definition = w.column < 0 ? std::string(t.span(i, next - 1))
                                 : "FOREIGN KEY (" + w.out.columns[static_cast<std::size_t>(w.column)].written + ") " +
                                       std::string(t.span(references, next - 1));
    w.out.foreignKeys.push_back(std::move(fk));
    return next;
}

std::size_t readUnique(walker& w, std::size_t i) {
    uniqueText unique;
    unique.name = std::move(w.pending);
    std::size_t next = i + 1;
    if (w.column < 0) {
        if (!w.t.isPunct(next, '(')) return w.end;
        const std::size_t close = w.t.closing(next);
        unique.columns = nameList(w.t, next, close);
        unique.text = w.t.span(i, close);
        next = close + 1;
    } else {
        const columnText& column = w.out.columns[static_cast<std::size_t>(w.column)];
        unique.columns.push_back(foldedAscii(column.name));
        unique.text = "UNIQUE (" + column.written + ")";
    }
    w.out.uniques.push_back(std::move(unique));
    return skipConstraintTail(w, next);
}

std::size_t readKey(walker& w, std::size_t i) {
    w.out.keyName = std::move(w.pending);
    i += 2;  // PRIMARY KEY
    if (w.column < 0 && w.t.isPunct(i, '(')) i = w.t.closing(i) + 1;
    return skipConstraintTail(w, i);
}

// `i` is GENERATED or AS.
std::size_t readGenerated(walker& w, std::size_t i) {
    if (w.t.isWord(i, "GENERATED")) i += 2;  // GENERATED ALWAYS
    const std::size_t open = i + 1;
    if (!w.t.isWord(i, "AS") || !w.t.isPunct(open, '(')) return w.end;
    const std::size_t close = w.t.closing(open);
    if (close >= w.end || close == open + 1) return w.end;
    if (w.column >= 0) w.out.columns[static_cast<std::size_t>(w.column)].generated = w.t.span(open + 1, close - 1);
    i = close + 1;
    return w.t.isWord(i, "STORED") || w.t.isWord(i, "VIRTUAL") ? i + 1 : i;
}

std::size_t readDefault(const walker& w, std::size_t i) {
    if (w.t.isPunct(i + 1, '(')) return w.t.closing(i + 1) + 1;
    return w.t.isPunct(i + 1, '-') || w.t.isPunct(i + 1, '+') ? i + 3 : i + 2;
}

// Reads one constraint at `i`; answers the index after it.
std::size_t readConstraint(walker& w, std::size_t i) {
    const tokenList& t = w.t;
    if (t.isWord(i, "CONSTRAINT")) {
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
    else if (t.isWord(i, "NOT") || t.isWord(i, "NULL")) next = skipConstraintTail(w, i + (t.isWord(i, "NOT") ? 2 : 1));
    else if (t.isWord(i, "COLLATE") && w.column >= 0 && i + 1 < w.end) {
        w.out.columns[static_cast<std::size_t>(w.column)].collation = t.text(i + 1);
        next = i + 2;
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
        if (!t.isName(begin)) return;
        w.column = static_cast<int>(out.columns.size());
        columnText& column = out.columns.emplace_back();
        column.name = t.name(begin);
        column.written = t.text(begin);
        // The words of the type, with its parenthesised sizes.
        for (i = begin + 1; i < end && !startsConstraint(t, i);) i = t.isPunct(i, '(') ? t.closing(i) + 1 : i + 1;
    }
    while (i < end) i = readConstraint(w, i);
}

// WITHOUT ROWID and STRICT after the column list, as SQLite spells them.
std::string tableOptions(const tokenList& t, std::size_t i) {
    std::string options;
    for (; i < t.size(); ++i) {
        const char* option = t.isWord(i, "STRICT") ? "STRICT"
                             : t.isWord(i, "WITHOUT") && t.isWord(i + 1, "ROWID") ? "WITHOUT ROWID"
                                                                                    : nullptr;
        if (!option) continue;
        if (!options.empty()) options += ", ";
        options += option;
    }
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
    std::size_t start = open + 1;
    int depth = 0;
    for (std::size_t i = start; i <= close; ++i) {
        if (t.isPunct(i, '(')) ++depth;
        else if (t.isPunct(i, ')')) --depth;
        if (i != close && (depth != 0 || !t.isPunct(i, ','))) continue;
        if (start < i) readDefinition(t, start, i, out);
        start = i + 1;
    }
    out.options = tableOptions(t, close + 1);
    setCheckLiterals(out);
    return true;
}

}  // namespace ky::metamodel::sql::detail::sqlite
