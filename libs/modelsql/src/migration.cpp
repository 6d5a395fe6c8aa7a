// Migrations between two models of one dialect.
#include "kymdlsql.h"

namespace ky::metamodel::sql {

const char* stepKindName(eStepKind kind) {
    switch (kind) {
        case eStepCreateSchema: return "create schema";
        case eStepCreateObject: return "create object";
        case eStepDropObject: return "drop object";
        case eStepCreateTable: return "create table";
        case eStepDropTable: return "drop table";
        case eStepRenameTable: return "rename table";
        case eStepRebuildTable: return "rebuild table";
        case eStepAddColumn: return "add column";
        case eStepDropColumn: return "drop column";
        case eStepRenameColumn: return "rename column";
        case eStepAlterColumn: return "alter column";
        case eStepAddConstraint: return "add constraint";
        case eStepDropConstraint: return "drop constraint";
        case eStepAddForeignKey: return "add foreign key";
        case eStepDropForeignKey: return "drop foreign key";
        case eStepCreateIndex: return "create index";
        case eStepDropIndex: return "drop index";
        case eStepCreateView: return "create view";
        case eStepDropView: return "drop view";
        case eStepComment: return "comment";
        case eStepAddStatement: return "add statement";
        case eStepDropStatement: return "drop statement";
    }
    return "unknown";
}

bool migration::destructive() const {
    for (const migrationStep& step : steps)
        if (step.destructive) return true;
    return false;
}

std::string migration::sql() const {
    std::string out;
    for (const migrationStep& step : steps) {
        // A name may hold a line break; the comment must not end before the line does.
        std::string line = step.description.toUtf8();
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        out.append("-- ").append(stepKindName(step.kind)).append(": ").append(line).append("\n");
        for (const std::string& statement : step.statements) out.append(statement).append(";\n");
    }
    return out;
}

migration createMigration(const modelInfo&, const modelInfo&, const migrationOptions&) { return {}; }

}  // namespace ky::metamodel::sql
