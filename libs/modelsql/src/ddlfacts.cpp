// The table facts of a class or field as the DDL of one dialect takes them.
//
// A fact is an own user property with a string value under a namespaced key
// (docs/sql.md, "Table facts"): "sql." for what both dialects understand,
// "postgresql." and "sqlite." for one dialect's own text. The keys of the
// dialect written are read and their texts checked against what the key
// says they are; the keys of the other dialect are warned of, one warning
// per property, when nothing neutral stands in for them; every other
// namespace belongs to other tools and is passed over. Only elements that
// hold user properties cost anything: the keys are listed once per element.
#include <algorithm>
#include <string_view>
#include <tuple>

#include "ddl.h"

namespace ky::metamodel::sql::detail {

namespace {

const ky::string sqlPrefix = L"sql.";

bool startsWith(const ky::string& text, const ky::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// What a key is read as, with the element's name for the diagnostics.
struct factReader {
    ddlContext& ctx;
    const classInfo& cls;
    const fieldInfo* field;  // null for a class

    const ky::string& table() const { return cls.scName().string(); }
    ky::string fieldName() const { return field ? field->scName().string() : ky::string(); }

    // A diagnostic naming the class or field as the model does, so that it
    // stands at the element whose property it is.
    void report(eSeverity severity, const char* code, const ky::string& message) {
        ctx.problems.push_back(makeDiagnostic(severity, code, message, table(), fieldName()));
        ctx.problems.back().element = field ? field->qualifiedName() : table();
    }
    void unsafe(const ky::string& key, const std::string& why) {
        report(eError, "sql.ddl.unsafe-text",
               L"the property \"" + key + L"\" is no SQL text its key allows (" + wide(why) + L"); no DDL is written");
    }
    void unusable(const ky::string& key, const ky::string& why) {
        report(eWarning, "sql.ddl.unusable-fact", L"the property \"" + key + L"\" " + why + L"; it is left out");
    }
    void notCarried(const ky::string& key) {
        const wchar_t* own = ctx.dialect() == ePostgresql ? L"PostgreSQL" : L"SQLite";
        report(eWarning, "sql.ddl.not-carried",
               L"the property \"" + key + L"\" holds what only the other dialect takes; " + own + L" gets none of it");
    }

    // The value as UTF-8 when it is one clause (`pattern`: the words it
    // begins with, empty for any); false after an error.
    // An empty one is warned of and left out.
    bool clause(const ky::string& key, const ky::string& value, bool oneItem, std::string_view pattern, std::string& out) {
        if (value.find_first_not_of(L" \t\r\n") == ky::string::npos) {
            unusable(key, L"is empty");
            return false;
        }
        std::string text = utf8(value), why;
        if (!singleClause(text, ctx.dialect(), oneItem, why)) {
            unsafe(key, why);
            return false;
        }
        if (!pattern.empty() && !beginsWith(text, ctx.dialect(), pattern)) {
            unsafe(key, "it does not begin with " + std::string(pattern));
            return false;
        }
        out = std::move(text);
        return true;
    }

    // One statement beginning with `pattern`; false after an error.
    bool statement(const ky::string& key, const ky::string& value, std::string_view pattern, std::string& out) {
        std::vector<std::string> parts;
        std::string why;
        if (!splitStatements(utf8(value), ctx.dialect(), parts, why)) {
            unsafe(key, why);
            return false;
        }
        if (parts.size() != 1) {
            unsafe(key, "more than one statement");
            return false;
        }
        if (!beginsWith(parts[0], ctx.dialect(), pattern)) {
            unsafe(key, "it does not begin with " + std::string(pattern));
            return false;
        }
        out = std::move(parts[0]);
        return true;
    }

    // Statements that create or alter what the tables need; appended to `out`.
    void statements(const ky::string& key, const ky::string& value, std::vector<std::string>& out) {
        std::vector<std::string> parts;
        std::string why;
        if (!splitStatements(utf8(value), ctx.dialect(), parts, why)) return unsafe(key, why);
        for (const std::string& part : parts) {
            if (!beginsWith(part, ctx.dialect(), "CREATE|COMMENT") &&
                !beginsWith(part, ctx.dialect(), "ALTER TABLE|SEQUENCE|INDEX|TYPE|DOMAIN|FUNCTION|VIEW"))
                return unsafe(key, "a statement that neither creates, alters nor comments");
        }
        out.insert(out.end(), parts.begin(), parts.end());
    }
};

// The own properties of an element with a string value, in key order (the
// set orders by handle; the DDL of a model is the same in every run).
std::vector<std::pair<ky::string, ky::string>> sqlProperties(const ky::genericSet& set) {
    std::vector<std::pair<ky::string, ky::string>> out;
    if (set.empty()) return out;
    for (const ky::scString& key : set.keys()) {
        const ky::string& name = key.string();
        if (!startsWith(name, sqlPrefix) && !startsWith(name, L"postgresql.") && !startsWith(name, L"sqlite.")) continue;
        ky::string value;
        const ky::genericValue* v = set.genericValue(key);
        if (v && !v->empty() && v->read(value)) out.emplace_back(name, std::move(value));
    }
    // Unnamed objects "#1", "#2", ... keep their table order past "#9".
    // The keys are compared as views: a copy per comparison was most of the
    // time a large model's facts took to read.
    const auto order = [](const ky::string& key) {
        const std::wstring_view whole(key);
        const std::size_t hash = key.rfind(L".#");
        const bool numbered = hash != ky::string::npos && hash + 2 < key.size() &&
                              key.find_first_not_of(L"0123456789", hash + 2) == ky::string::npos;
        return numbered ? std::make_tuple(whole.substr(0, hash + 2), key.size() - hash - 2, whole)
                        : std::make_tuple(whole, std::size_t(0), std::wstring_view());
    };
    std::sort(out.begin(), out.end(), [&](const auto& a, const auto& b) { return order(a.first) < order(b.first); });
    return out;
}

// Whether `rest` is `kind` and an object's name ("check.price"); `name` is
// then the name.
bool namedFact(const ky::string& rest, std::wstring_view kind, ky::string& name) {
    if (rest.size() <= kind.size() || rest.compare(0, kind.size(), kind) != 0) return false;
    name = rest.substr(kind.size());
    return true;
}

// The name a database object is written under: "" for an unnamed one ("#1").
ky::string objectName(const ky::string& name) {
    const bool unnamed = name.size() > 1 && name[0] == L'#' && name.find_first_not_of(L"0123456789", 1) == ky::string::npos;
    return unnamed ? ky::string() : name;
}

void readNeutralClassFact(factReader& r, const ky::string& key, const ky::string& value, classFacts& out) {
    const ky::string rest = key.substr(sqlPrefix.size());
    ky::string name;
    const auto columns = [&](std::vector<namedColumns>& into) {
        into.push_back({objectName(name), lines(value)});
        if (!into.back().columns.empty()) return;
        into.pop_back();
        r.unusable(key, L"names no column");
    };
    if (rest == L"schema") {
        out.schema = value;
    } else if (rest == L"table") {
        out.table = value;
    } else if (rest == L"kind") {
        out.materialized = value == L"materialized view";
        out.view = out.materialized || value == L"view";
        if (!out.view) r.unusable(key, L"names neither a view nor a materialized view");
    } else if (rest == L"dependsOn") {
        out.dependsOn = lines(value);
    } else if (rest == L"primaryKey") {
        out.primaryKey = lines(value);
    } else if (namedFact(rest, L"unique.", name)) {
        columns(out.uniques);
    } else if (namedFact(rest, L"uniqueIndex.", name)) {
        columns(out.uniqueIndexes);
    } else if (namedFact(rest, L"index.", name)) {
        columns(out.indexes);
    } else if (namedFact(rest, L"foreignKey.", name)) {
        std::string clauses = utf8(value);
        if (!onlyWords(clauses, "MATCH FULL SIMPLE PARTIAL ON UPDATE DELETE CASCADE RESTRICT NO ACTION SET NULL "
                                "DEFAULT NOT DEFERRABLE INITIALLY DEFERRED IMMEDIATE VALID"))
            return r.unsafe(key, "a word that is no clause of a foreign key");
        out.foreignKeyClauses[name] = std::move(clauses);
    } else {
        r.unusable(key, L"is no table fact of a class");
    }
}

void readOwnClassFact(factReader& r, const ky::string& key, const ky::string& value, std::size_t prefix,
                      classFacts& out) {
    const ky::string rest = key.substr(prefix);
    const eDialect d = r.ctx.dialect();
    ky::string name;
    std::string text;
    if (namedFact(rest, L"check.", name)) {
        if (r.clause(key, value, true, d == ePostgresql ? "CHECK|EXCLUDE" : "CHECK", text))
            out.checks.push_back({objectName(name), std::move(text)});
    } else if (namedFact(rest, L"unique.", name)) {
        if (beginsWith(utf8(value), d, "CREATE")) {
            if (r.statement(key, value, "CREATE UNIQUE INDEX", text)) out.indexStatements.push_back({objectName(name), std::move(text)});
        } else if (r.clause(key, value, true, "UNIQUE", text)) {
            out.uniqueConstraints.push_back({objectName(name), std::move(text)});
        }
    } else if (namedFact(rest, L"foreignKey.", name)) {
        if (r.clause(key, value, true, "FOREIGN KEY", text)) out.foreignKeys.push_back({objectName(name), std::move(text)});
    } else if (namedFact(rest, L"index.", name)) {
        if (r.statement(key, value, "CREATE [UNIQUE] INDEX", text)) out.indexStatements.push_back({objectName(name), std::move(text)});
    } else if (rest == L"options") {
        const char* words = d == ePostgresql ? "PARTITION|INHERITS|WITH|USING|TABLESPACE|WITHOUT" : "WITHOUT|STRICT";
        if (r.clause(key, value, false, words, text)) out.options = std::move(text);
    } else if (rest == L"view") {
        if (r.statement(key, value, "CREATE [OR] [REPLACE] [TEMP|TEMPORARY|RECURSIVE|MATERIALIZED] VIEW", text)) {
            out.viewStatement = std::move(text);
            out.view = true;
        }
    } else if (rest == L"before") {
        r.statements(key, value, out.before);
    } else if (rest == L"after") {
        r.statements(key, value, out.after);
    } else {
        r.unusable(key, L"is no table fact of a class");
    }
}

void readOwnFieldFact(factReader& r, const ky::string& key, const ky::string& value, std::size_t prefix,
                      fieldFacts& out) {
    const ky::string rest = key.substr(prefix);
    const eDialect d = r.ctx.dialect();
    if (rest == L"type") {
        // An empty SQLite type is a column declared without one.
        out.hasType = (value.empty() && d == eSqlite) || r.clause(key, value, true, "", out.type);
    } else if (rest == L"default") {
        r.clause(key, value, true, "", out.defaultText);
    } else if (rest == L"collation") {
        r.clause(key, value, true, "", out.collation);
    } else if (rest == L"identity" && d == ePostgresql) {
        r.clause(key, value, true, "GENERATED", out.identity);
    } else if (rest == L"generated") {
        r.clause(key, value, true, "GENERATED|AS", out.generated);
    } else if (rest == L"autoincrement" && d == eSqlite) {
        out.autoincrement = value == L"true";
    } else if (rest == L"before") {
        r.statements(key, value, out.before);
    } else if (rest == L"after") {
        r.statements(key, value, out.after);
    } else {
        r.unusable(key, L"is no table fact of a field");
    }
}

}  // namespace

std::vector<ky::string> lines(const ky::string& value) {
    std::vector<ky::string> out;
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t end = std::min(value.find(L'\n', at), value.size());
        ky::string line = value.substr(at, end - at);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) out.push_back(std::move(line));
        at = end + 1;
    }
    return out;
}

void readClassFacts(const classInfo& cls, ddlContext& ctx, classFacts& out) {
    const ky::genericSet& set = cls.userProperties(false);
    if (set.empty()) return;
    factReader r{ctx, cls, nullptr};
    const ky::string own = ctx.ownPrefix();
    for (const auto& [key, value] : sqlProperties(set)) {
        // The key ends in the name of an index or constraint, written as an identifier.
        if (key.findNonNameCharacter() != ky::string::npos) r.unsafe(key, "a character no identifier may hold");
        else if (startsWith(key, sqlPrefix)) readNeutralClassFact(r, key, value, out);
        else if (startsWith(key, own)) readOwnClassFact(r, key, value, own.size(), out);
        else r.notCarried(key);
    }
}

std::unique_ptr<fieldFacts> readFieldFacts(const fieldInfo& field, const classInfo& cls, ddlContext& ctx) {
    const ky::genericSet& set = field.userProperties(false);
    if (set.empty()) return nullptr;
    auto facts = std::make_unique<fieldFacts>();
    fieldFacts& out = *facts;
    factReader r{ctx, cls, &field};
    const ky::string own = ctx.ownPrefix(), other = ctx.otherPrefix();
    for (const auto& [key, value] : sqlProperties(set)) {
        if (startsWith(key, sqlPrefix)) {
            r.unusable(key, L"is no table fact of a field");
        } else if (startsWith(key, own)) {
            readOwnFieldFact(r, key, value, own.size(), out);
        } else if (key == other + L"type") {
            out.otherType = value;
            out.hasOtherType = true;
        } else if (key == other + L"default") {
            out.otherDefault = value;  // warned of only when no stored default stands in
        } else {
            r.notCarried(key);
        }
    }
    return facts;
}

}  // namespace ky::metamodel::sql::detail
