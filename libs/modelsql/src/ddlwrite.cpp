// The statements of the DDL, written from the tables as collected and
// ordered (ddl.cpp): schemas, the statements needed before, CREATE TABLE
// with its constraints, what PostgreSQL adds once all tables exist, views,
// indexes, the statements run after, comments.
#include <algorithm>
#include <unordered_set>

#include "ddl.h"

namespace ky::metamodel::sql::detail {

namespace {

void appendList(std::string& out, const std::vector<ky::scString>& names, const ddlContext& ctx) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        ctx.appendQuoted(out, names[i]);
    }
}

}  // namespace

void appendForeignKey(std::string& out, const foreignKey& fk, const ddlContext& ctx) {
    out += "FOREIGN KEY (";
    appendList(out, fk.from, ctx);
    out += ") REFERENCES ";
    ctx.appendTableName(out, ctx.tables[fk.target]);
    out += " (";
    appendList(out, fk.to, ctx);
    out += ")";
    if (!fk.clauses.empty()) out.append(" ").append(fk.clauses);
}

namespace {

void appendNameList(std::string& out, const std::vector<ky::string>& names, const ddlContext& ctx) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        ctx.appendQuoted(out, names[i]);
    }
}

// "CONSTRAINT name " for a named constraint, nothing for an unnamed one.
void appendConstraintName(std::string& out, const ky::string& name, const ddlContext& ctx) {
    if (name.empty()) return;
    out += "CONSTRAINT ";
    ctx.appendQuoted(out, name);
    out += ' ';
}

// Starts each part of a CREATE TABLE statement: the first on a line of its
// own, the others after a comma.
struct partStart {
    std::string& out;
    bool first = true;
    std::string& operator()() {
        out += first ? "\n    " : ",\n    ";
        first = false;
        return out;
    }
};

// The constraints written inside CREATE TABLE after the columns, in the
// order the facts list them.
void appendTableConstraints(const table& t, const ddlContext& ctx, partStart& part) {
    const bool pg = ctx.dialect() == ePostgresql;
    if (!t.key.empty() && !t.keyInColumn) {
        part() += "PRIMARY KEY (";
        appendList(part.out, t.key, ctx);
        part.out += ")";
    }
    for (const namedText& check : t.facts.checks) {
        if (pg && endsNotValid(check.text)) continue;
        appendConstraintName(part(), check.name, ctx);
        part.out += check.text;
    }
    for (const namedColumns& unique : t.facts.uniques) {
        appendConstraintName(part(), unique.name, ctx);
        part.out += "UNIQUE (";
        appendNameList(part.out, unique.columns, ctx);
        part.out += ")";
    }
    for (const namedText& unique : t.facts.uniqueConstraints) {
        appendConstraintName(part(), unique.name, ctx);
        part.out += unique.text;
    }
    for (const foreignKey& fk : t.foreignKeys) {
        if ((fk.closesCycle || fk.notValid) && pg) continue;
        appendForeignKey(part(), fk, ctx);
        if (fk.closesCycle && foldedAscii(fk.clauses).find("deferrable") == std::string::npos)
            part.out += " DEFERRABLE INITIALLY DEFERRED";
    }
    if (!pg)
        for (const namedText& fk : t.facts.foreignKeys) {
            appendConstraintName(part(), fk.name, ctx);
            part.out += fk.text;
        }
}

}  // namespace

// Written straight into one string: a list of parts joined afterwards would
// cost two allocations a column.
std::string createTable(const table& t, const ddlContext& ctx) {
    std::size_t size = 24 + t.name.string().size();
    for (const column& c : t.columns) size += c.name.string().size() + c.definition.size() + 8;
    std::string out;
    out.reserve(size + 64 * (t.foreignKeys.size() + 1));
    out += "CREATE TABLE ";
    ctx.appendTableName(out, t);
    out += " (";
    partStart part{out};
    for (const column& c : t.columns) {
        ctx.appendQuoted(part(), c.name);
        out += c.definition;
    }
    appendTableConstraints(t, ctx, part);
    out += part.first ? ")" : "\n)";
    if (!t.facts.options.empty()) out.append(" ").append(t.facts.options);
    return out;
}

namespace {

// PostgreSQL: what is added to the tables once they all exist: the foreign
// keys that close a cycle, NOT VALID constraints, and the foreign keys no
// relation carries (their targets may come later in the order).
void alterStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    const auto alter = [&]() -> std::string& {
        std::string& statement = out.emplace_back("ALTER TABLE ");
        ctx.appendTableName(statement, t);
        statement += " ADD ";
        return statement;
    };
    for (const foreignKey& fk : t.foreignKeys) {
        if (!fk.closesCycle && !fk.notValid) continue;
        std::string& statement = alter();
        appendForeignKey(statement, fk, ctx);
        if (fk.notValid) statement += " NOT VALID";
    }
    for (const namedText& check : t.facts.checks) {
        if (!endsNotValid(check.text)) continue;
        std::string& statement = alter();
        appendConstraintName(statement, check.name, ctx);
        statement += check.text;
    }
    for (const namedText& fk : t.facts.foreignKeys) {
        std::string& statement = alter();
        appendConstraintName(statement, fk.name, ctx);
        statement += fk.text;
    }
}

// The name of an index the model holds unnamed ("#1"): the table's and the
// columns' names, as PostgreSQL names one it is not given a name for.
ky::string indexName(const table& t, const namedColumns& index) {
    ky::string name = t.name.string();
    for (const ky::string& column : index.columns) name += L"_" + column;
    return name + L"_idx";
}

}  // namespace

std::vector<namedText> tableIndexes(const table& t, const ddlContext& ctx) {
    std::vector<namedText> out;
    const auto plain = [&](const std::vector<namedColumns>& list, const char* create) {
        for (const namedColumns& index : list) {
            namedText& entry = out.emplace_back(namedText{index.name.empty() ? indexName(t, index) : index.name, create});
            std::string& statement = entry.text;
            ctx.appendQuoted(statement, entry.name);
            statement += " ON ";
            ctx.appendTableName(statement, t);
            statement += " (";
            appendNameList(statement, index.columns, ctx);
            statement += ")";
        }
    };
    plain(t.facts.indexes, "CREATE INDEX ");
    plain(t.facts.uniqueIndexes, "CREATE UNIQUE INDEX ");
    out.insert(out.end(), t.facts.indexStatements.begin(), t.facts.indexStatements.end());
    return out;
}

void commentStatements(const table& t, const ddlContext& ctx, std::vector<std::string>& out) {
    std::string literal;
    if (!t.cls->label().empty() && quoteLiteral(t.cls->label(), literal)) {
        std::string& statement = out.emplace_back(!t.facts.view        ? "COMMENT ON TABLE "
                                                  : t.facts.materialized ? "COMMENT ON MATERIALIZED VIEW "
                                                                         : "COMMENT ON VIEW ");
        ctx.appendTableName(statement, t);
        statement.append(" IS ").append(literal);
    }
    for (const column& c : t.columns) {
        const ky::string label = fieldLabel(*c.field);
        if (label.empty() || !quoteLiteral(label, literal)) continue;
        std::string& statement = out.emplace_back("COMMENT ON COLUMN ");
        ctx.appendTableName(statement, t);
        statement += ".";
        ctx.appendQuoted(statement, c.name);
        statement.append(" IS ").append(literal);
    }
}

namespace {

// Appends each statement of `list` not written before.
void appendOnce(const std::vector<std::string>& list, std::unordered_set<std::string>& seen, std::vector<std::string>& out) {
    for (const std::string& statement : list)
        if (seen.insert(statement).second) out.push_back(statement);
}

// The statements of every table's and column's fact `member`, in model order.
void factStatements(const ddlContext& ctx, std::vector<std::string> classFacts::*ofClass,
                    std::vector<std::string> fieldFacts::*ofField, std::vector<std::string>& out) {
    std::unordered_set<std::string> seen;
    for (const table& t : ctx.tables) {
        if (!t.written) continue;
        appendOnce(t.facts.*ofClass, seen, out);
        for (const column& c : t.columns) appendOnce(c.facts().*ofField, seen, out);
    }
}

// Puts the statements that create tables (partitions) before the others,
// each kind in its order: a constraint, trigger or foreign key of one
// table's partition may name another table's partition.
void tablesFirst(std::vector<std::string>::iterator begin, std::vector<std::string>::iterator end, eDialect dialect) {
    std::stable_partition(begin, end, [&](const std::string& statement) {
        return beginsWith(statement, dialect, "CREATE [UNLOGGED] TABLE");
    });
}

void schemaStatements(const std::vector<std::size_t>& order, const ddlContext& ctx, std::vector<std::string>& out) {
    std::unordered_set<ky::string> seen;
    for (std::size_t index : order) {
        const ky::string& schema = ctx.tables[index].schema;
        if (schema.empty() || !seen.insert(schema).second) continue;
        ctx.appendQuoted(out.emplace_back("CREATE SCHEMA IF NOT EXISTS "), schema);
    }
}

}  // namespace

std::vector<std::string> writeStatements(const ddlContext& ctx, const std::vector<std::size_t>& tables,
                                         const std::vector<std::size_t>& views) {
    std::vector<std::size_t> order = tables;
    const std::size_t tableCount = order.size();
    order.insert(order.end(), views.begin(), views.end());
    const bool pg = ctx.dialect() == ePostgresql;
    std::vector<std::string> statements;
    statements.reserve(order.size());
    if (pg) schemaStatements(order, ctx, statements);
    factStatements(ctx, &classFacts::before, &fieldFacts::before, statements);
    for (std::size_t i = 0; i < tableCount; ++i) statements.push_back(createTable(ctx.tables[order[i]], ctx));
    if (pg)
        for (std::size_t i = 0; i < tableCount; ++i) alterStatements(ctx.tables[order[i]], ctx, statements);
    for (std::size_t index : views) statements.push_back(ctx.tables[index].facts.viewStatement);
    for (std::size_t index : order)
        for (namedText& created : tableIndexes(ctx.tables[index], ctx)) statements.push_back(std::move(created.text));
    const std::size_t after = statements.size();
    factStatements(ctx, &classFacts::after, &fieldFacts::after, statements);
    tablesFirst(statements.begin() + static_cast<std::ptrdiff_t>(after), statements.end(), ctx.dialect());
    if (pg && ctx.options.labelsAsComments)
        for (std::size_t index : order) commentStatements(ctx.tables[index], ctx, statements);
    return statements;
}

}  // namespace ky::metamodel::sql::detail
