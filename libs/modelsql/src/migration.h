// What the migration planner (migration.cpp) shares with the pieces one
// dialect alone decides (sqlite/migration.cpp, postgresql/migration.cpp):
// the two models' tables as the DDL writes them, which table and column of
// the old model each new one continues, and the steps sorted into phases.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ddl.h"

namespace ky::metamodel::sql::detail {

// The phases of a migration, in the order they run: whatever reads or
// points at something is dropped before it changes and created again after.
enum ePhase {
    pDropViews,
    pDropForeignKeys,
    pDropIndexes,
    pDropStatements,
    pDropConstraints,
    pDropTables,
    pSchemas,
    pCreateObjects,
    pTables,
    pAddConstraints,
    pCreateIndexes,
    pAddForeignKeys,  // after the indexes: a unique index may be what a key's target needs
    pCreateViews,
    pAddStatements,
    pComments,
    pDropObjects,
    phaseCount
};

constexpr std::size_t none = static_cast<std::size_t>(-1);

struct planner {
    ddlContext& from;
    ddlContext& to;
    migration& result;
    std::vector<std::size_t> fromOf;     // per table of `to`: the table of `from` it continues, or none
    std::vector<std::size_t> toOf;       // per table of `from`: the table of `to` that continues it, or none
    std::vector<std::vector<std::size_t>> columnFrom;  // per table of `to`, per column: the column of `from`, or none
    std::vector<char> changed;           // per table of `to`: its structure changes (the views reading it are rebuilt)
    std::vector<char> rebuilt;           // per table of `to`: SQLite rebuilds it
    std::vector<char> keyChanged;        // per table of `to`: its primary key changes (PostgreSQL)
    // Per table of `to`: what a foreign key may point at changes (PostgreSQL):
    // its primary key, a unique that changes, is dropped or added, or the
    // type of a column of either. Keys towards it are added after that.
    std::vector<char> targetChanged;
    std::array<std::vector<migrationStep>, phaseCount> phases;

    eDialect dialect() const { return to.dialect(); }
    migrationStep& step(ePhase phase, eStepKind kind, const ky::string& element, ky::string description) {
        migrationStep& s = phases[phase].emplace_back();
        s.kind = kind;
        s.element = element;
        s.description = std::move(description);
        return s;
    }
    // The table's name as the steps name it: "schema.table" or "table".
    static ky::string elementOf(const table& t) {
        return t.schema.empty() ? t.name.string() : ky::string(t.schema + L"." + t.name.string());
    }
    std::string tableName(const table& t) const {
        std::string out;
        to.appendTableName(out, t);
        return out;
    }
    std::string quoted(const ky::string& name) const { return quoteIdentifier(name, dialect()); }
};

// Whether the key, checks, uniques, foreign keys and options of a table of
// the old model and the one of the new model that continues it are the same.
bool constraintsSame(const planner& p, const table& before, const table& after);

// ---- SQLite ----

// Whether SQLite's ALTER TABLE takes the changes of the table `t` of the
// new model (its columns added, dropped and renamed) or it is rebuilt.
bool sqliteAltersInPlace(const planner& p, std::size_t t);

// The steps of a SQLite table's rebuild: a new table, its rows copied, the
// old one dropped, the new one renamed, its indexes and triggers again.
void sqliteRebuild(planner& p, std::size_t t);

// ---- PostgreSQL ----

// The name PostgreSQL gives a constraint it is not given one for: the
// table's name, the columns' names and the label, clipped to 63 bytes as
// PostgreSQL clips them.
ky::string pgConstraintName(const ky::string& table, const std::vector<ky::string>& columns, const char* label);

// The steps that change a column of a table in place: type (with a USING
// cast), default, NOT NULL, identity, generation, UNIQUE and enumeration check.
void pgAlterColumn(planner& p, std::size_t t, const column& before, const column& after);

// Whether every value of type `from` is a value of type `to` as well.
bool pgWidens(const std::string& from, const std::string& to);

// The steps that change a domain or a sequence in place (postgresql/
// migration_objects.cpp); false when the statements do not read as such.
bool pgChangeDomain(planner& p, const std::string& before, const std::string& after);
bool pgChangeSequence(planner& p, const std::string& before, const std::string& after);

// The steps that change a kept table's options: SET LOGGED/UNLOGGED, its
// storage parameters SET and RESET; any other change of its options
// (inheritance, partitioning) is warned of.
void pgTableOptions(planner& p, const table& before, const table& after);

// Casts the kept columns whose old type is `name` to the type of that name
// made again in `s` (USING c::through::name, or c::name when `through` is
// empty), their old defaults dropped first; the new defaults are left in
// `defaults`, to be set once the old type is gone. Marks their tables changed.
void recastColumns(planner& p, const std::string& name, const std::string& through, migrationStep& s,
                   std::vector<std::string>& defaults);

}  // namespace ky::metamodel::sql::detail
