// PostgreSQL's part of a migration: the names it gives constraints it is
// not given one for (the DDL writes keys, foreign keys and column UNIQUEs
// unnamed), and a column changed in place with ALTER COLUMN.
#include <algorithm>

#include "../migration.h"

namespace ky::metamodel::sql::detail {

namespace {

// Clips UTF-8 text to at most `bytes` bytes without cutting a character.
std::string clipped(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

// A type's name as PostgreSQL spells it in format_type, folded.
std::string normalType(const std::string& type) {
    std::string t = foldedAscii(type);
    for (const auto& [alias, name] : {std::pair<const char*, const char*>{"character varying", "varchar"},
                                      {"int8", "bigint"}, {"int4", "integer"}, {"int2", "smallint"},
                                      {"float8", "double precision"}, {"float4", "real"}})
        if (t.rfind(alias, 0) == 0) t = name + t.substr(std::char_traits<char>::length(alias));
    if (t == "int") t = "integer";
    return t;
}

// The length of "varchar(n)", 0 without one.
unsigned long varcharLength(const std::string& type) {
    const std::size_t open = type.find('(');
    return open == std::string::npos ? 0 : std::strtoul(type.c_str() + open + 1, nullptr, 10);
}

}  // namespace

bool pgWidens(const std::string& from, const std::string& to) {
    const std::string a = normalType(from), b = normalType(to);
    if (a == b) return true;
    const auto isVarchar = [](const std::string& t) { return t.rfind("varchar", 0) == 0; };
    if ((isVarchar(a) || a == "text") && (b == "text" || b == "varchar")) return true;
    if (isVarchar(a) && isVarchar(b)) return varcharLength(b) == 0 || (varcharLength(a) != 0 && varcharLength(b) >= varcharLength(a));
    const char* integers[] = {"smallint", "integer", "bigint"};
    const auto rank = [&](const std::string& t) {
        return static_cast<int>(std::find(std::begin(integers), std::end(integers), t) - std::begin(integers));
    };
    if (rank(a) < 3 && rank(b) < 3) return rank(b) >= rank(a);
    if (rank(a) < 3 && b == "numeric") return true;
    return a == "real" && b == "double precision";
}

namespace {

struct alteration {
    std::string prefix;  // ALTER TABLE t ALTER COLUMN c
    migrationStep& step;
    std::vector<ky::string> what;

    void add(const std::string& rest, const ky::string& why) {
        step.statements.push_back(prefix + rest);
        what.push_back(why);
    }
};

}  // namespace

ky::string pgConstraintName(const ky::string& tableName, const std::vector<ky::string>& columns, const char* label) {
    std::string name1 = tableName.toUtf8(), name2;
    for (const ky::string& c : columns) name2 += (name2.empty() ? "" : "_") + c.toUtf8();
    const std::size_t overhead = std::char_traits<char>::length(label) + 1 + (columns.empty() ? 0 : 1);
    std::size_t n1 = name1.size(), n2 = name2.size();
    while (n1 + n2 > 63 - overhead) (n1 > n2 ? n1 : n2)--;
    std::string out = clipped(name1, n1);
    if (!columns.empty()) out += "_" + clipped(name2, n2);
    return wide(out + "_" + label);
}

void pgAlterColumn(planner& p, std::size_t i, const column& before, const column& after) {
    const table& t = p.to.tables[i];
    const table& old = p.from.tables[p.fromOf[i]];
    const ky::string element = planner::elementOf(t) + L"." + after.name.string();
    const std::string tableName = p.tableName(t), columnName = p.quoted(after.name.string());
    migrationStep& s = p.step(pTables, eStepAlterColumn, element, {});
    alteration a{"ALTER TABLE " + tableName + " ALTER COLUMN " + columnName + " ", s, {}};
    const fieldFacts &was = before.facts(), &is = after.facts();
    if (was.generated != is.generated) {
        // A generation changes only by writing the column again; its values are derived.
        s.statements.push_back("ALTER TABLE " + tableName + " DROP COLUMN " + columnName);
        s.statements.push_back("ALTER TABLE " + tableName + " ADD COLUMN " + columnName + after.definition);
        s.description = L"alter column " + element + L": generation " + wide(is.generated);
        return;
    }
    const bool typeChanged = before.type != after.type || was.collation != is.collation;
    const bool identityChanged = was.identity != is.identity;
    const bool dropDefault = !before.defaultSql.empty() && (before.defaultSql != after.defaultSql || typeChanged || identityChanged);
    if (dropDefault) a.add("DROP DEFAULT", L"drop default");
    if (!was.identity.empty() && identityChanged) a.add("DROP IDENTITY", L"drop identity");
    if (typeChanged) {
        std::string type = after.type + (is.collation.empty() ? "" : " COLLATE " + is.collation);
        a.add("TYPE " + type + " USING " + columnName + "::" + after.type,
              L"type " + wide(before.type) + L" to " + wide(after.type));
        if (!pgWidens(before.type, after.type)) s.destructive = true;
    }
    if (!is.identity.empty() && identityChanged) a.add("ADD " + is.identity, L"identity");
    if (!after.defaultSql.empty() && (before.defaultSql != after.defaultSql || dropDefault))
        a.add("SET DEFAULT " + after.defaultSql, L"default " + wide(after.defaultSql));
    if (before.notNull != after.notNull) {
        a.add(after.notNull ? "SET NOT NULL" : "DROP NOT NULL", after.notNull ? L"set NOT NULL" : L"drop NOT NULL");
        if (after.notNull) s.destructive = true;
    }
    const auto constraint = [&](const std::string& statement) { s.statements.push_back("ALTER TABLE " + tableName + " " + statement); };
    if (before.unique != after.unique) {
        if (before.unique) constraint("DROP CONSTRAINT " + p.quoted(pgConstraintName(old.name.string(), {before.name.string()}, "key")));
        else constraint("ADD CONSTRAINT " + p.quoted(pgConstraintName(t.name.string(), {after.name.string()}, "key")) + " UNIQUE (" + columnName + ")");
        a.what.push_back(after.unique ? L"add UNIQUE" : L"drop UNIQUE");
    }
    if (before.check != after.check) {
        if (!before.check.empty())
            constraint("DROP CONSTRAINT IF EXISTS " + p.quoted(pgConstraintName(old.name.string(), {before.name.string()}, "check")));
        if (!after.check.empty())
            constraint("ADD CONSTRAINT " + p.quoted(pgConstraintName(t.name.string(), {after.name.string()}, "check")) + " " + after.check);
        a.what.push_back(L"enumeration check");
    }
    s.description = L"alter column " + element + L":";
    for (std::size_t k = 0; k < a.what.size(); ++k) s.description += (k ? L", " : L" ") + a.what[k];
    if (s.statements.empty()) p.phases[pTables].pop_back();
}

}  // namespace ky::metamodel::sql::detail
