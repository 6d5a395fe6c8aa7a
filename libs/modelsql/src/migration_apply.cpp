// Applying a migration: everything that can be refused is refused before
// the transaction begins (a plan with errors, a destructive step not
// allowed, a connection that cannot write); then one transaction runs, in
// this order: the database is reflected and compared with the model the plan
// was made from (when the host names it), every statement of every step
// runs, the database is reflected again and compared with the model it
// should now be (when the host names it), the dialect checks what only it
// can (SQLite's foreign keys after a rebuild), and the transaction commits.
// Any failure on the way rolls the whole transaction back, so the database
// is either the old one or the new one. Both comparisons diff the reflected
// model against the named one for the session's dialect: an empty
// migration between them is what "the same database" means.
#include "migration_apply.h"

namespace ky::metamodel::sql::detail {

namespace {

// How many remaining differences a refusal lists one by one.
constexpr std::size_t shownDifferences = 10;

bool refusedBeforeRunning(const migration& steps, const applyOptions& options, diagnostics& problems) {
    if (hasErrors(steps.problems)) {
        problems.push_back(makeDiagnostic(eError, "sql.apply.plan", L"the migration has errors: nothing is run"));
        return true;
    }
    if (options.allowDestructive) return false;
    bool refused = false;
    for (const migrationStep& step : steps.steps) {
        if (!step.destructive) continue;
        problems.push_back(makeDiagnostic(eError, "sql.apply.destructive",
                                          L"the step '" + step.description +
                                              L"' can lose data and destructive steps are not allowed: nothing is run",
                                          step.element));
        refused = true;
    }
    return refused;
}

// Whether the database as the transaction sees it is `model`; when not, an
// error of `code` saying so and a note for each of the first differences.
// `towards` is false to diff model → database (what changed since the
// plan), true to diff database → model (what the steps left undone).
bool matches(applySession& session, const modelInfo& model, bool towards, const applyOptions& options,
             const char* code, const wchar_t* what, diagnostics& problems) {
    reflectResult seen = session.reflect(options.reflect);
    if (!seen.model) {
        problems.insert(problems.end(), seen.problems.begin(), seen.problems.end());
        problems.push_back(makeDiagnostic(eError, code, ky::string(what) + L": the database could not be read"));
        return false;
    }
    migrationOptions compare;
    compare.dialect = session.dialect();
    const migration left = towards ? createMigration(*seen.model, model, compare)
                                   : createMigration(model, *seen.model, compare);
    if (hasErrors(left.problems)) {
        problems.insert(problems.end(), left.problems.begin(), left.problems.end());
        problems.push_back(makeDiagnostic(eError, code, ky::string(what) + L": the two could not be compared"));
        return false;
    }
    if (left.steps.empty()) return true;
    problems.push_back(makeDiagnostic(eError, code, ky::string(what) + L" (" + std::to_wstring(left.steps.size()) +
                                                        L" differences)"));
    for (std::size_t i = 0; i < left.steps.size() && i < shownDifferences; ++i)
        problems.push_back(makeDiagnostic(eNote, code, left.steps[i].description, left.steps[i].element));
    return false;
}

bool runSteps(applySession& session, const migration& steps, diagnostics& problems) {
    for (const migrationStep& step : steps.steps)
        for (const std::string& statement : step.statements)
            if (!session.run(statement, step.description, step.element, problems)) return false;
    return true;
}

bool runInside(applySession& session, const migration& steps, const applyOptions& options, diagnostics& problems) {
    if (options.planned &&
        !matches(session, *options.planned, false, options, "sql.apply.changed",
                 L"the database is no longer the one the migration was planned from: nothing is run", problems))
        return false;
    if (!runSteps(session, steps, problems)) return false;
    if (options.expected &&
        !matches(session, *options.expected, true, options, "sql.apply.differs",
                 L"after the migration the database still differs from the model: rolled back", problems))
        return false;
    return session.check(problems) && session.commit(problems);
}

}  // namespace

diagnostics applyThrough(applySession& session, const migration& steps, const applyOptions& options) {
    diagnostics problems;
    if (refusedBeforeRunning(steps, options, problems) || !session.usable(problems) || !session.begin(problems))
        return problems;
    if (runInside(session, steps, options, problems)) return problems;
    if (session.lost()) {
        problems.push_back(makeDiagnostic(eError, "sql.apply.lost",
                                          L"the connection was lost during the migration: the database rolls it back"));
        return problems;
    }
    session.rollback();
    return problems;
}

}  // namespace ky::metamodel::sql::detail
