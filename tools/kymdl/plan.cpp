// The plan of a migration as text and as JSON.
#include "plan.h"

#include "json.h"

namespace kymdl {

namespace {

// A description on one line: a name may hold a line break.
std::string oneLine(const ky::string& text) {
    std::string line = text.toUtf8();
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

}  // namespace

std::string planText(const ky::metamodel::sql::migration& plan) {
    std::string out;
    for (const auto& step : plan.steps) {
        out += step.destructive ? "! " : "  ";
        out += oneLine(step.description);
        if (step.destructive) out += "  (destructive)";
        out += "\n";
    }
    return out;
}

std::string planJson(const ky::metamodel::sql::migration& plan, ky::metamodel::sql::eDialect dialect) {
    json out = json::object();
    out["dialect"] = dialect == ky::metamodel::sql::ePostgresql ? "postgresql" : "sqlite";
    out["destructive"] = plan.destructive();
    out["foreignKeysOff"] = plan.foreignKeysOff;
    json& steps = out["steps"] = json::array();
    for (const auto& step : plan.steps) {
        json s = json::object();
        s["kind"] = ky::metamodel::sql::stepKindName(step.kind);
        s["element"] = step.element.toUtf8();
        s["description"] = step.description.toUtf8();
        s["destructive"] = step.destructive;
        json& statements = s["statements"] = json::array();
        for (const std::string& statement : step.statements) statements.push(statement);
        steps.push(std::move(s));
    }
    return out.dump();
}

}  // namespace kymdl
