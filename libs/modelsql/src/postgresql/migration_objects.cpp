// PostgreSQL's part of a migration for the objects made before the tables
// that change under their name: a domain and a sequence. Both statements
// are read back into their clauses (as the reflection writes them, or as a
// model file spells them) and the difference becomes one step:
//
//   - a domain of the same base type and collation: ALTER DOMAIN ... DROP
//     CONSTRAINT / DROP DEFAULT / DROP NOT NULL / SET DEFAULT / SET NOT NULL
//     / ADD CONSTRAINT, in that order; a changed base type or collation
//     makes the domain again (renamed, created, its columns cast, the old
//     one dropped), destructive unless the base type widens;
//   - a sequence: one ALTER SEQUENCE with the options whose value changes,
//     every option compared by its value (an omitted one is the default for
//     the sequence's type and direction).
//
// A statement that does not read as such is left to the caller, which warns.
#include <algorithm>
#include <cstdlib>

#include "../migration.h"
#include "../sqlite/tokens.h"

namespace ky::metamodel::sql::detail {

namespace {

using sqlite::token;
using sqlite::tokenList;

// CREATE DOMAIN name AS base [COLLATE c] [DEFAULT e] [NOT NULL | NULL] [[CONSTRAINT n] CHECK (...)]...
struct domainParts {
    std::string name, base, collation, defaultText;
    bool notNull = false;
    std::vector<std::pair<std::string, std::string>> checks;  // name as written (empty: unnamed), "CHECK (...)"
};

// The index after a (qualified) name starting at `i`; `out` gets it as written.
std::size_t readName(const tokenList& t, std::size_t i, std::string& out) {
    if (!t.isName(i)) return i;
    std::size_t last = i;
    while (t.isPunct(last + 1, '.') && t.isName(last + 2)) last += 2;
    out = std::string(t.span(i, last));
    return last + 1;
}

bool clauseWord(const tokenList& t, std::size_t i) {
    return t.isWord(i, "COLLATE") || t.isWord(i, "DEFAULT") || t.isWord(i, "NOT") || t.isWord(i, "NULL") ||
           t.isWord(i, "CONSTRAINT") || t.isWord(i, "CHECK");
}

// The index of the next clause word at depth 0 from `i`, or the end.
std::size_t clauseEnd(const tokenList& t, std::size_t i, std::size_t end) {
    int depth = 0;
    for (; i < end; ++i) {
        if (t.isPunct(i, '(')) ++depth;
        else if (t.isPunct(i, ')')) --depth;
        else if (depth == 0 && clauseWord(t, i)) return i;
    }
    return end;
}

bool readDomain(const std::string& statement, domainParts& out) {
    const tokenList t(statement);
    if (!t.ok() || !t.isWord(0, "CREATE") || !t.isWord(1, "DOMAIN")) return false;
    std::size_t end = t.size();
    while (end > 0 && t.isPunct(end - 1, ';')) --end;
    std::size_t i = readName(t, 2, out.name);
    if (out.name.empty()) return false;
    if (t.isWord(i, "AS")) ++i;
    std::size_t stop = clauseEnd(t, i, end);
    if (stop == i) return false;
    out.base = std::string(t.span(i, stop - 1));
    for (i = stop; i < end;) {
        if (t.isWord(i, "NOT") && t.isWord(i + 1, "NULL")) {
            out.notNull = true;
            i += 2;
        } else if (t.isWord(i, "NULL")) {
            ++i;
        } else if (t.isWord(i, "COLLATE") || t.isWord(i, "DEFAULT")) {
            // The first word of a default may itself be a clause word (DEFAULT NULL).
            stop = clauseEnd(t, i + 2, end);
            if (i + 1 >= end) return false;
            (t.isWord(i, "COLLATE") ? out.collation : out.defaultText) = std::string(t.span(i + 1, stop - 1));
            i = stop;
        } else {
            std::string name;
            if (t.isWord(i, "CONSTRAINT")) {
                if (!t.isName(i + 1)) return false;
                name = std::string(t.text(i + 1));
                i += 2;
            }
            if (!t.isWord(i, "CHECK") || !t.isPunct(i + 1, '(')) return false;
            const std::size_t close = t.closing(i + 1);
            if (close >= end) return false;
            out.checks.emplace_back(name, std::string(t.span(i, close)));
            i = close + 1;
        }
    }
    return true;
}

// The name PostgreSQL gives the n-th unnamed check of domain `name`.
std::string uncheckedName(const std::string& name, std::size_t n, eDialect dialect) {
    const std::size_t dot = name.rfind('.');
    std::string bare = dot == std::string::npos ? name : name.substr(dot + 1);
    if (!bare.empty() && bare.front() == '"') bare = bare.substr(1, bare.size() - 2);
    return quoteIdentifier(wide(bare + "_check" + (n ? std::to_string(n) : "")), dialect);
}

// The sequence's options as values: what it would be asked to be.
struct sequenceParts {
    std::string name, type = "bigint";
    long long increment = 1, min = 0, max = 0, start = 0, cache = 1;
    bool hasMin = false, hasMax = false, hasStart = false, cycle = false;

    void settle() {
        const bool up = increment > 0;
        const long long typeMax = type == "smallint" ? 32767LL : type == "integer" ? 2147483647LL : 9223372036854775807LL;
        const long long typeMin = -typeMax - 1;
        if (!hasMin) min = up ? 1 : typeMin;
        if (!hasMax) max = up ? typeMax : -1;
        if (!hasStart) start = up ? min : max;
    }
};

// A signed number at `i`; false when there is none.
bool readNumber(const tokenList& t, std::size_t& i, long long& out) {
    std::string text;
    if (t.isPunct(i, '-') || t.isPunct(i, '+')) text = std::string(t.text(i++));
    if (i >= t.size() || t[i].kind != token::eLiteral) return false;
    text += t.text(i++);
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0';
}

bool readSequence(const std::string& statement, sequenceParts& out) {
    const tokenList t(statement);
    if (!t.ok() || !t.isWord(0, "CREATE") || !t.isWord(1, "SEQUENCE")) return false;
    std::size_t end = t.size();
    while (end > 0 && t.isPunct(end - 1, ';')) --end;
    std::size_t i = 2;
    if (t.isWord(i, "IF") && t.isWord(i + 1, "NOT") && t.isWord(i + 2, "EXISTS")) i += 3;
    i = readName(t, i, out.name);
    if (out.name.empty()) return false;
    while (i < end) {
        if (t.isWord(i, "AS") && t.isName(i + 1)) {
            out.type = foldedAscii(std::string(t.text(i + 1)));
            i += 2;
        } else if (t.isWord(i, "INCREMENT")) {
            i += t.isWord(i + 1, "BY") ? 2 : 1;
            if (!readNumber(t, i, out.increment) || out.increment == 0) return false;
        } else if (t.isWord(i, "MINVALUE") || t.isWord(i, "MAXVALUE")) {
            const bool isMin = t.isWord(i++, "MINVALUE");
            if (!readNumber(t, i, isMin ? out.min : out.max)) return false;
            (isMin ? out.hasMin : out.hasMax) = true;
        } else if (t.isWord(i, "NO") && (t.isWord(i + 1, "MINVALUE") || t.isWord(i + 1, "MAXVALUE") || t.isWord(i + 1, "CYCLE"))) {
            i += 2;
        } else if (t.isWord(i, "START")) {
            i += t.isWord(i + 1, "WITH") ? 2 : 1;
            if (!readNumber(t, i, out.start)) return false;
            out.hasStart = true;
        } else if (t.isWord(i, "CACHE")) {
            ++i;
            if (!readNumber(t, i, out.cache)) return false;
        } else if (t.isWord(i, "CYCLE")) {
            out.cycle = true;
            ++i;
        } else {
            return false;  // OWNED BY, a persistence word, anything else: not read here
        }
    }
    if (out.type == "int" || out.type == "int4") out.type = "integer";
    if (out.type == "int8") out.type = "bigint";
    if (out.type == "int2") out.type = "smallint";
    out.settle();
    return true;
}

// A table's options split into its storage parameters (WITH (k=v, ...),
// by key) and everything else (INHERITS, PARTITION BY), as written.
struct tableOptions {
    std::string rest;
    std::vector<std::pair<std::string, std::string>> parameters;  // folded key, "key=value" as written
};

bool readOptions(const std::string& text, tableOptions& out) {
    const tokenList t(text);
    if (!t.ok()) return false;
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t.isPunct(i, '(')) ++depth;
        else if (t.isPunct(i, ')')) --depth;
        if (depth != 0 || !t.isWord(i, "WITH") || !t.isPunct(i + 1, '(')) continue;
        const std::size_t close = t.closing(i + 1);
        if (close >= t.size()) return false;
        for (std::size_t k = i + 2; k < close;) {
            std::size_t end = k;
            for (int inner = 0; end < close && (inner > 0 || !t.isPunct(end, ',')); ++end)
                inner += t.isPunct(end, '(') ? 1 : t.isPunct(end, ')') ? -1 : 0;
            if (end == k) return false;
            out.parameters.emplace_back(foldedAscii(std::string(t.text(k))), std::string(t.span(k, end - 1)));
            k = end + 1;
        }
        out.rest = std::string(i > 0 ? t.span(0, i - 1) : std::string_view()) + " " +
                   std::string(close + 1 < t.size() ? t.span(close + 1, t.size() - 1) : std::string_view());
        break;
    }
    if (out.parameters.empty()) out.rest = text;
    while (!out.rest.empty() && out.rest.back() == ' ') out.rest.pop_back();
    while (!out.rest.empty() && out.rest.front() == ' ') out.rest.erase(0, 1);
    return true;
}

}  // namespace

void pgTableOptions(planner& p, const table& before, const table& after) {
    const ky::string element = planner::elementOf(after);
    const std::string alter = "ALTER TABLE " + p.tableName(after);
    if (before.facts.unlogged != after.facts.unlogged) {
        p.step(pTables, eStepAlterTable, element, ky::string(after.facts.unlogged ? L"set unlogged " : L"set logged ") + element)
            .statements.push_back(alter + (after.facts.unlogged ? " SET UNLOGGED" : " SET LOGGED"));
    }
    if (before.facts.options == after.facts.options) return;
    tableOptions was, is;
    if (!readOptions(before.facts.options, was) || !readOptions(after.facts.options, is) || was.rest != is.rest) {
        p.result.problems.push_back(makeDiagnostic(
            eWarning, "sql.migrate.options",
            L"the options of the table " + element + L" change from \"" + wide(before.facts.options) + L"\" to \"" +
                wide(after.facts.options) + L"\"; inheritance and partitioning are not changed in place, the table is left as it is",
            after.name.string()));
        p.result.problems.back().element = element;
        return;
    }
    std::string set, reset;
    for (const auto& [key, text] : is.parameters)
        if (std::find(was.parameters.begin(), was.parameters.end(), std::pair{key, text}) == was.parameters.end())
            set += (set.empty() ? "" : ", ") + text;
    for (const auto& parameter : was.parameters)
        if (std::none_of(is.parameters.begin(), is.parameters.end(), [&](const auto& x) { return x.first == parameter.first; }))
            reset += (reset.empty() ? "" : ", ") + parameter.first;
    migrationStep& s = p.step(pTables, eStepAlterTable, element, L"storage parameters of " + element);
    if (!reset.empty()) s.statements.push_back(alter + " RESET (" + reset + ")");
    if (!set.empty()) s.statements.push_back(alter + " SET (" + set + ")");
    if (s.statements.empty()) p.phases[pTables].pop_back();
}

bool pgChangeDomain(planner& p, const std::string& before, const std::string& after) {
    domainParts was, is;
    if (!readDomain(before, was) || !readDomain(after, is) || was.name != is.name) return false;
    const ky::string element = wide(is.name);
    migrationStep& s = p.step(pCreateObjects, eStepCreateObject, element, L"change domain " + element);
    if (foldedAscii(was.base) != foldedAscii(is.base) || was.collation != is.collation) {
        // A new base type: the domain is made again under its name and its columns cast to it.
        const std::size_t dot = is.name.rfind('.');
        const std::string bare = dot == std::string::npos ? is.name : is.name.substr(dot + 1);
        const std::string renamed = bare.back() == '"' ? bare.substr(0, bare.size() - 1) + "_ky_old\"" : bare + "_ky_old";
        s.statements.push_back("ALTER DOMAIN " + is.name + " RENAME TO " + renamed);
        s.statements.push_back(after);
        std::vector<std::string> defaults;
        recastColumns(p, is.name, {}, s, defaults);
        s.statements.insert(s.statements.end(), defaults.begin(), defaults.end());
        s.statements.push_back("DROP DOMAIN " + (dot == std::string::npos ? std::string() : is.name.substr(0, dot + 1)) + renamed);
        s.description += L": rebuilt, base type " + wide(was.base) + L" to " + wide(is.base);
        s.destructive = !pgWidens(was.base, is.base) || was.collation != is.collation;
        return true;
    }
    const std::string alter = "ALTER DOMAIN " + is.name + " ";
    std::vector<ky::string> what;
    // Checks are matched by name, an unnamed one by its place among the unnamed.
    const auto named = [&](const domainParts& d, std::size_t k) {
        std::size_t unnamed = 0;
        for (std::size_t j = 0; j < k; ++j) unnamed += d.checks[j].first.empty();
        return d.checks[k].first.empty() ? uncheckedName(d.name, unnamed, p.dialect()) : d.checks[k].first;
    };
    const auto has = [&](const domainParts& d, const std::string& name, const std::string& text) {
        for (std::size_t k = 0; k < d.checks.size(); ++k)
            if (named(d, k) == name && d.checks[k].second == text) return true;
        return false;
    };
    for (std::size_t k = 0; k < was.checks.size(); ++k)
        if (!has(is, named(was, k), was.checks[k].second)) {
            s.statements.push_back(alter + "DROP CONSTRAINT " + named(was, k));
            what.push_back(L"drop check " + wide(named(was, k)));
        }
    if (!was.defaultText.empty() && is.defaultText.empty()) {
        s.statements.push_back(alter + "DROP DEFAULT");
        what.push_back(L"drop default");
    }
    if (was.notNull && !is.notNull) {
        s.statements.push_back(alter + "DROP NOT NULL");
        what.push_back(L"drop NOT NULL");
    }
    if (!is.defaultText.empty() && is.defaultText != was.defaultText) {
        s.statements.push_back(alter + "SET DEFAULT " + is.defaultText);
        what.push_back(L"default " + wide(is.defaultText));
    }
    if (is.notNull && !was.notNull) {
        s.statements.push_back(alter + "SET NOT NULL");
        what.push_back(L"set NOT NULL");
        s.destructive = true;
    }
    for (std::size_t k = 0; k < is.checks.size(); ++k)
        if (!has(was, named(is, k), is.checks[k].second)) {
            s.statements.push_back(alter + "ADD CONSTRAINT " + named(is, k) + " " + is.checks[k].second);
            what.push_back(L"add check " + wide(named(is, k)));
        }
    for (std::size_t k = 0; k < what.size(); ++k) s.description += (k ? L", " : L": ") + what[k];
    if (s.statements.empty()) p.phases[pCreateObjects].pop_back();
    return true;
}

bool pgChangeSequence(planner& p, const std::string& before, const std::string& after) {
    sequenceParts was, is;
    if (!readSequence(before, was) || !readSequence(after, is) || was.name != is.name) return false;
    const ky::string element = wide(is.name);
    std::string clauses;
    std::vector<ky::string> what;
    const auto add = [&](const std::string& clause, const wchar_t* why) {
        clauses += " " + clause;
        what.push_back(why);
    };
    const bool typeChanged = was.type != is.type;
    // A new type moves a bound that was the old type's default: both are given.
    if (typeChanged) add("AS " + is.type, L"type");
    if (was.increment != is.increment) add("INCREMENT BY " + std::to_string(is.increment), L"increment");
    if (typeChanged || was.min != is.min) add("MINVALUE " + std::to_string(is.min), L"minimum");
    if (typeChanged || was.max != is.max) add("MAXVALUE " + std::to_string(is.max), L"maximum");
    if (was.start != is.start) add("START WITH " + std::to_string(is.start), L"start");
    if (was.cache != is.cache) add("CACHE " + std::to_string(is.cache), L"cache");
    if (was.cycle != is.cycle) add(is.cycle ? "CYCLE" : "NO CYCLE", L"cycle");
    if (clauses.empty()) return true;
    migrationStep& s = p.step(pCreateObjects, eStepCreateObject, element, L"change sequence " + element);
    s.statements.push_back("ALTER SEQUENCE " + is.name + clauses);
    for (std::size_t k = 0; k < what.size(); ++k) s.description += (k ? L", " : L": ") + what[k];
    return true;
}

}  // namespace ky::metamodel::sql::detail
