// kymdl: checks, shows, looks up, converts, emits DDL for, reflects, diffs,
// migrates databases to, draws and documents models kept in model files.
// Results go to standard output or to the file given with -o (written whole
// or not at all), diagnostics to standard error.
// Exit status: 0 done, 1 the input has errors, 2 a usage error.
#include <kymdlfile.h>
#include <kymdlsql.h>
#include <kymetamodel.h>
#include <kyversion.h>

#include <CLI/CLI.hpp>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "diagram.h"
#include "doc.h"
#include "output.h"
#include "plan.h"
#include "report.h"
#include "words.h"

namespace {

using namespace ky::metamodel;
namespace fs = std::filesystem;

// What a subcommand reports when its input is bad: printed as one line
// (nothing when the diagnostics are printed already).
struct failure {
    std::string message;
};

// A usage error found after parsing: printed with the subcommand's --help,
// status 2.
struct usageError {
    std::string message;
};

// How the tool talks on standard error, from -q, -v and --color.
struct talk {
    int verbosity = 0;      // -1: errors only, 0: errors and warnings with hints, 1: also what was done
    bool colour = false;    // the severity word coloured
    bool progress = false;  // a progress line while long work runs
};
talk settings;

// The printer of every diagnostic, made once the options are read.
std::unique_ptr<kymdl::diagnosticPrinter> printer;

bool nonEmptyVariable(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// --color=auto colours a terminal unless NO_COLOR is set (and not empty) or
// TERM says the terminal knows no escape codes; always and never decide alone.
void decideTalk(const std::string& colour, bool quiet, bool verbose) {
    const char* term = std::getenv("TERM");
    const bool capable = isatty(STDERR_FILENO) && !(term && std::strcmp(term, "dumb") == 0);
    settings.verbosity = quiet ? -1 : verbose ? 1 : 0;
    settings.colour = colour == "always" || (colour == "auto" && capable && !nonEmptyVariable("NO_COLOR"));
    settings.progress = capable && !quiet;
}

// A line on standard error while long work runs, when it is a terminal.
class progressLine {
public:
    explicit progressLine(const std::string& what) : mShown(settings.progress) {
        if (mShown) std::cerr << "kymdl: " << what << "..." << std::flush;
    }
    ~progressLine() {
        if (mShown) std::cerr << "\r\033[K" << std::flush;
    }
    progressLine(const progressLine&) = delete;
    progressLine& operator=(const progressLine&) = delete;

private:
    bool mShown;
};

// Where each element of a model file is defined, by "class", "class.field"
// or "class.relation".
using placeMap = decltype(file::loadResult::places);

// Loads a model file, its diagnostics reported; empty when it has errors.
// With `checks` the model checks run too; `places`, when given, receives
// where each element is defined. "-" is standard input, named <stdin> in
// diagnostics; it is read once.
refPtr<modelInfo> load(const std::string& path, bool checks = false, placeMap* places = nullptr) {
    file::loadResult result;
    {
        progressLine progress("loading " + path);
        file::loadOptions options;
        options.runChecks = checks;
        options.recordPlaces = places != nullptr;
        if (path == "-") {
            std::string text;
            bool tooLarge = false;
            if (!kymdl::readStandardInput(options.maxFileSize, text, tooLarge)) {
                diagnostic d = diagnostic::make(eError, L"M001", L"cannot read the standard input");
                if (tooLarge)
                    d = diagnostic::make(eError, L"M002",
                                         L"the input is larger than " + std::to_wstring(options.maxFileSize) + L" bytes");
                d.file = L"<stdin>";
                result.diagnostics.push_back(d);
            } else {
                result = file::loadModelText(text, L"<stdin>", options);
            }
        } else {
            result = file::loadModelFile(path, options);
        }
    }
    printer->report(result.diagnostics);
    if (places) *places = std::move(result.places);
    return result.model;
}

refPtr<modelInfo> loadOrFail(const std::string& path, placeMap* places = nullptr) {
    const int errorsBefore = printer->errors();
    refPtr<modelInfo> model = load(path, false, places);
    if (!model) throw failure{path + ": not loaded (" + std::to_string(printer->errors() - errorsBefore) + " errors)"};
    return model;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

void refuseOverwrite(const std::string& input, const std::string& output) {
    if (!output.empty() && output != "-" && sameFile(input, output)) {
        throw failure{"refusing to overwrite the input " + input + " with the output"};
    }
}

// Writes `text` to standard output or, whole, to `path`.
void emit(const std::string& text, const std::string& path) {
    if (path.empty() || path == "-") {
        std::cout << text << std::flush;
        return;
    }
    std::vector<file::diagnostic> problems;
    if (file::writeFile(path, text, &problems)) {
        if (settings.verbosity > 0) std::cerr << "kymdl: wrote " << path << " (" << text.size() << " bytes)\n";
        return;
    }
    printer->report(problems);
    throw failure{};
}

std::string utf8(const ky::scString& s) { return s.string().toUtf8(); }

// ---- check ----

// Checks every file it can; a missing one is reported and makes the status
// a usage error once all the others are checked.
int check(const std::vector<std::string>& paths, bool strict) {
    if (std::count(paths.begin(), paths.end(), "-") > 1) throw usageError{"standard input (-) can be read only once"};
    bool missing = false;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (path != "-" && !fs::exists(path, ec)) {
            std::cerr << "kymdl: " << path << ": no such file\n";
            missing = true;
            continue;
        }
        const int errorsBefore = printer->errors();
        const int warningsBefore = printer->warnings();
        load(path, true);
        if (settings.verbosity > 0)
            std::cerr << "kymdl: " << (path == "-" ? "<stdin>" : path) << ": " << printer->errors() - errorsBefore
                      << " errors, " << printer->warnings() - warningsBefore << " warnings\n";
    }
    std::cout << printer->finish();
    if (missing) return 2;
    return printer->errors() > 0 || (strict && printer->warnings() > 0) ? 1 : 0;
}

// ---- show ----

using kymdl::marksOf;
using kymdl::relationKind;
using kymdl::semanticText;

void showClass(const classInfo& cls, std::ostream& out) {
    out << "class " << utf8(cls.scName());
    if (cls.isAbstract()) out << " (abstract)";
    if (!cls.label().empty()) out << ": " << cls.label().toUtf8();
    out << "\n";
    std::vector<std::string> bases;
    for (auto it = cls.baseClasses_begin(); it != cls.baseClasses_end(); ++it) bases.push_back(utf8((*it)->scName()));
    if (!bases.empty()) {
        out << "  bases:";
        for (const std::string& base : bases) out << " " << base;
        out << "\n";
    }
    std::vector<refPtr<fieldInfo>> key;
    cls.getIdFieldInfos(key);
    if (!key.empty()) {
        out << "  key:";
        for (const auto& field : key) out << " " << utf8(field->scName());
        out << "\n";
    }
    kymdl::table fields({"field", "type", "semantic", "marks", "label"});
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) {
        const fieldInfo& field = **it;
        fields.add({utf8(field.scName()), kymdl::typeText(field), semanticText(field), marksOf(field),
                    field.label().toUtf8()});
    }
    if (fields.rows() > 0) fields.print(out, "  ");
    kymdl::table relations({"relation", "kind", "fields", "target", "reverse"});
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it) {
        const relationInfo& relation = **it;
        std::string pairs;
        std::string target = relation.toClassInfo() ? utf8(relation.toClassInfo()->scName()) : "";
        for (const auto& pair : relation.fieldRelations()) {
            if (!pairs.empty()) pairs += ", ";
            pairs += utf8(pair.first->scName());
            // A relation towards a class pairs its from-field with the
            // target's pointer field, which has no name of the host's.
            if (pair.second && pair.second->type() != ePtr) pairs += " = " + utf8(pair.second->scName());
        }
        relations.add({utf8(relation.scName()), relationKind(relation.relationType()), pairs, target,
                       utf8(relation.scReverseName())});
    }
    if (relations.rows() > 0) relations.print(out, "  ");
}

// What showClass prints, as a JSON object.
kymdl::json classJson(const classInfo& cls) {
    using kymdl::json;
    json out = json::object();
    out["name"] = utf8(cls.scName());
    out["abstract"] = cls.isAbstract();
    out["label"] = cls.label().toUtf8();
    json& bases = out["bases"] = json::array();
    for (auto it = cls.baseClasses_begin(); it != cls.baseClasses_end(); ++it) bases.push(utf8((*it)->scName()));
    std::vector<refPtr<fieldInfo>> keyFields;
    cls.getIdFieldInfos(keyFields);
    json& key = out["key"] = json::array();
    for (const auto& field : keyFields) key.push(utf8(field->scName()));
    json& fields = out["fields"] = json::array();
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) {
        const fieldInfo& field = **it;
        json f = json::object();
        f["name"] = utf8(field.scName());
        f["type"] = kymdl::typeText(field);
        f["semantic"] = semanticText(field);
        f["key"] = field.semantic() == eSemPrimkey;
        f["mandatory"] = field.isMandatory();
        f["unique"] = field.isUnique();
        f["label"] = field.label().toUtf8();
        fields.push(std::move(f));
    }
    json& relations = out["relations"] = json::array();
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it) {
        const relationInfo& relation = **it;
        json r = json::object();
        r["name"] = utf8(relation.scName());
        r["kind"] = relationKind(relation.relationType());
        json& pairs = r["fields"] = json::array();
        for (const auto& pair : relation.fieldRelations()) {
            json p = json::object();
            p["from"] = utf8(pair.first->scName());
            p["to"] = pair.second && pair.second->type() != ePtr ? json(utf8(pair.second->scName())) : json();
            pairs.push(std::move(p));
        }
        r["target"] = relation.toClassInfo() ? json(utf8(relation.toClassInfo()->scName())) : json();
        r["reverse"] = utf8(relation.scReverseName());
        relations.push(std::move(r));
    }
    return out;
}

int show(const std::string& path, const std::string& className, bool asJson) {
    const refPtr<modelInfo> model = loadOrFail(path);
    std::vector<refPtr<classInfo>> shown;
    if (!className.empty()) {
        const refPtr<classInfo> cls = model->classInfo(ky::string::fromUtf8(className), true);
        if (!cls) throw failure{path + ": no class '" + className + "'"};
        shown.push_back(cls);
    } else {
        shown.assign(model->classes_begin(), model->classes_end());
    }
    if (asJson) {
        kymdl::json out = kymdl::json::object();
        kymdl::json& classes = out["classes"] = kymdl::json::array();
        for (const auto& cls : shown) classes.push(classJson(*cls));
        std::cout << out.dump();
        return 0;
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (i > 0) std::cout << "\n";
        showClass(*shown[i], std::cout);
    }
    return 0;
}

// ---- lookup ----

// What a name resolved to.
struct resolution {
    std::string className;     // the class found; empty when none
    bool classByAlias = false;
    bool isField = false;      // a field was asked for
    std::string owner;         // the class that defines the field found; empty when none
    std::string field;         // its name
    std::string type;          // its type
    bool fieldByAlias = false;

    bool found() const { return !className.empty() && (!isField || !owner.empty()); }
};

resolution resolve(const modelInfo& model, const std::string& name, bool aliases, bool bases) {
    resolution r;
    const modelInfo::lookupResult found = model.lookup(ky::string::fromUtf8(name), aliases, bases);
    r.isField = found.qualified;
    if (!found.cls) return r;
    r.className = utf8(found.cls->scName());
    r.classByAlias = found.classMatch == eOwnAlias;
    if (!found.field) return r;
    r.owner = utf8(found.field->classInfo()->scName());
    r.field = utf8(found.field->scName());
    r.type = kymdl::typeText(*found.field);
    r.fieldByAlias = found.fieldMatch == eOwnAlias || found.fieldMatch == eBaseAlias;
    return r;
}

kymdl::json resolutionJson(const std::string& name, const resolution& r) {
    kymdl::json out = kymdl::json::object();
    out["name"] = name;
    out["found"] = r.found();
    out["kind"] = r.isField ? "field" : "class";
    out["class"] = r.className.empty() ? kymdl::json() : kymdl::json(r.className);
    out["classByAlias"] = r.classByAlias;
    if (!r.isField) return out;
    out["owner"] = r.owner.empty() ? kymdl::json() : kymdl::json(r.owner);
    out["field"] = r.field.empty() ? kymdl::json() : kymdl::json(r.field);
    out["type"] = r.type.empty() ? kymdl::json() : kymdl::json(r.type);
    out["fieldByAlias"] = r.fieldByAlias;
    return out;
}

void printResolution(const std::string& name, const resolution& r) {
    if (r.className.empty()) {
        std::cout << name << ": not found\n";
    } else if (!r.isField) {
        std::cout << name << ": class " << r.className << (r.classByAlias ? " (by alias)" : "") << "\n";
    } else if (r.owner.empty()) {
        std::cout << name << ": not found (class " << r.className << " has no such field)\n";
    } else {
        std::cout << name << ": field " << r.owner << "." << r.field << " " << r.type;
        if (r.owner != r.className) std::cout << ", inherited by " << r.className;
        if (r.fieldByAlias) std::cout << " (by alias)";
        else if (r.classByAlias) std::cout << " (class by alias)";
        std::cout << "\n";
    }
}

int lookup(const std::string& path, const std::string& name, bool aliases, bool bases, bool asJson) {
    const refPtr<modelInfo> model = loadOrFail(path);
    const resolution r = resolve(*model, name, aliases, bases);
    if (asJson) std::cout << resolutionJson(name, r).dump();
    else printResolution(name, r);
    return r.found() ? 0 : 1;
}

// ---- convert ----

int convert(const std::string& input, const std::string& output) {
    refuseOverwrite(input, output);
    const refPtr<modelInfo> model = loadOrFail(input);
    std::vector<file::diagnostic> notes;
    const std::string text = file::saveModelText(model, file::formatOfPath(output), &notes);
    printer->report(notes);
    emit(text, output);
    return 0;
}

// ---- ddl ----

// The entry of the model file where the element of `d` is defined: its
// element, else its field as its class has it (own or inherited), else its
// class.
const diagnosticPlace* elementPlace(const diagnostic& d, const modelInfo& model, const placeMap& places) {
    const auto find = [&](const ky::string& name) {
        const auto at = places.find(name);
        return at == places.end() ? nullptr : &at->second;
    };
    if (!d.element.empty()) return find(d.element);
    const auto cls = model.classInfo(d.table, false);
    if (!cls) return nullptr;
    if (d.field.empty()) return find(cls->scName().string());
    const auto field = cls->fieldInfo(d.field, true, false);
    return field ? find(field->qualifiedName()) : nullptr;
}

// Reports SQL diagnostics, placed at their database or, when they concern
// the model, at the entry of their element in `modelPath` (when `places`
// holds those of `model`); answers the number of errors.
int reportSqlDiagnostics(sql::diagnostics list, const std::string& modelPath, const modelInfo* model = nullptr,
                         const placeMap* places = nullptr) {
    int errors = 0;
    for (sql::diagnostic& d : list) {
        errors += d.severity == eError;
        if (!d.file.empty()) continue;
        d.file = ky::string::fromUtf8(modelPath);
        if (const diagnosticPlace* at = model && places ? elementPlace(d, *model, *places) : nullptr) {
            d.line = at->line;
            d.column = at->column;
        }
    }
    printer->report(list);
    return errors;
}

int ddl(const std::string& path, const std::string& dialect, const std::string& output) {
    refuseOverwrite(path, output);
    placeMap places;
    const refPtr<modelInfo> model = loadOrFail(path, &places);
    sql::ddlOptions options;
    options.dialect = dialect == "postgresql" ? sql::ePostgresql : sql::eSqlite;
    const sql::ddlResult result = sql::createDdl(*model, options);
    if (reportSqlDiagnostics(result.problems, path == "-" ? "<stdin>" : path, model.get(), &places) > 0) return 1;
    emit(result.text, output);
    return 0;
}

// ---- reflect ----

bool isDatabase(const std::string& source) {
    return source.rfind("sqlite:", 0) == 0 || source.rfind("postgresql://", 0) == 0 ||
           source.rfind("postgres://", 0) == 0;
}

// The model of a live database, its problems printed; null when it has
// errors. `timeoutS` (when given, above 0) bounds each wait: for the server,
// for a lock, for one query. `summary`, when given, receives what was read.
refPtr<modelInfo> reflectSource(const std::string& source, const std::string& output, sql::reflectOptions options,
                                int timeoutS, sql::reflectSummary* summary = nullptr) {
    if (timeoutS > 0) {
        options.connectTimeoutS = timeoutS;
        options.queryTimeoutS = timeoutS;
        options.busyTimeoutMs = timeoutS * 1000;
    }
    const bool isSqlite = source.rfind("sqlite:", 0) == 0;
    // A connection string may hold a password: it is shown masked.
    const std::string shown = isSqlite ? source : sql::connectionDisplayName(source);
    sql::reflectResult result;
    {
        progressLine progress("reading " + shown);
        if (isSqlite) {
            const std::string path = source.substr(7);
            refuseOverwrite(path, output);
            result = sql::reflectSqliteFile(path, options);
        } else if (isDatabase(source)) {
            result = sql::reflectPostgresqlDatabase(source, options);
        } else {
            throw usageError{"unknown database '" + shown + "' (sqlite:PATH or postgresql://...)"};
        }
    }
    if (reportSqlDiagnostics(result.problems, shown) > 0) return {};
    if (summary) *summary = result.summary;
    return result.model;
}

// Writes the model file of a database, or nothing at all: the file is
// written whole once the reflection has succeeded (see emit), and the
// one-line summary of what was read follows on standard error.
int reflect(const std::string& source, const std::string& output, const sql::reflectOptions& options, int timeoutS) {
    sql::reflectSummary summary;
    const refPtr<modelInfo> model = reflectSource(source, output, options, timeoutS, &summary);
    if (!model) return 1;
    std::vector<file::diagnostic> notes;
    const std::string text = file::saveModelText(model, file::formatOfPath(output), &notes);
    printer->report(notes);
    emit(text, output);
    if (settings.verbosity >= 0) std::cerr << "kymdl: " << sql::describe(summary) << "\n";
    return 0;
}

// ---- diff and apply ----

// The dialect of a database address, or 0 for a model file.
int dialectOfSource(const std::string& source) {
    if (source.rfind("sqlite:", 0) == 0) return sql::eSqlite;
    return isDatabase(source) ? sql::ePostgresql : 0;
}

// The dialect a diff is made for: --dialect, else FROM's database's, else TO's.
sql::eDialect diffDialect(const std::string& named, const std::string& from, const std::string& to) {
    if (!named.empty()) return named == "postgresql" ? sql::ePostgresql : sql::eSqlite;
    if (const int dialect = dialectOfSource(from) ? dialectOfSource(from) : dialectOfSource(to))
        return static_cast<sql::eDialect>(dialect);
    throw usageError{"--dialect is needed when neither side is a database"};
}

// The renames of --rename OLD=NEW ("table=newTable", "table.column=newColumn").
std::vector<std::pair<ky::string, ky::string>> renamesOf(const std::vector<std::string>& hints) {
    std::vector<std::pair<ky::string, ky::string>> renames;
    for (const std::string& hint : hints) {
        const auto equals = hint.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == hint.size())
            throw usageError{"--rename takes OLD=NEW, not '" + hint + "'"};
        renames.emplace_back(ky::string::fromUtf8(hint.substr(0, equals)), ky::string::fromUtf8(hint.substr(equals + 1)));
    }
    return renames;
}

// The model of one side of a diff: a model file as loaded, or a database
// reflected under the name rule `caseSensitive`; throws a failure when it
// has errors.
refPtr<modelInfo> sideModel(const std::string& source, const std::string& output, bool caseSensitive) {
    if (!isDatabase(source)) {
        refuseOverwrite(source, output);
        return loadOrFail(source);
    }
    sql::reflectOptions options;
    options.caseSensitiveNames = caseSensitive;
    refPtr<modelInfo> model = reflectSource(source, output, options, 0);
    if (!model) throw failure{};
    return model;
}

// Both sides of a diff: model files first, so that a database is read
// under the name rule of the model file it is compared with.
std::pair<refPtr<modelInfo>, refPtr<modelInfo>> bothSides(const std::string& from, const std::string& to,
                                                           const std::string& output) {
    if (from == "-" && to == "-") throw usageError{"standard input (-) can be read only once"};
    refPtr<modelInfo> fromModel = isDatabase(from) ? refPtr<modelInfo>() : sideModel(from, output, false);
    refPtr<modelInfo> toModel = isDatabase(to) ? refPtr<modelInfo>() : sideModel(to, output, false);
    const bool caseSensitive = fromModel ? fromModel->caseSensitiveNames() : toModel && toModel->caseSensitiveNames();
    if (!fromModel) fromModel = sideModel(from, output, caseSensitive);
    if (!toModel) toModel = sideModel(to, output, caseSensitive);
    return {fromModel, toModel};
}

// "3 steps, 1 destructive" or "no differences".
std::string planSummary(const sql::migration& plan) {
    if (plan.steps.empty()) return "no differences";
    std::size_t destructive = 0;
    for (const auto& step : plan.steps) destructive += step.destructive;
    return std::to_string(plan.steps.size()) + (plan.steps.size() == 1 ? " step, " : " steps, ") +
           std::to_string(destructive) + " destructive";
}

int diff(const std::string& from, const std::string& to, const std::string& dialect, const std::string& format,
         const std::string& output, bool exitCode, const std::vector<std::string>& renames) {
    sql::migrationOptions options;
    options.dialect = diffDialect(dialect, from, to);
    options.renames = renamesOf(renames);
    const auto [fromModel, toModel] = bothSides(from, to, output);
    const sql::migration plan = sql::createMigration(*fromModel, *toModel, options);
    if (reportSqlDiagnostics(plan.problems, isDatabase(to) ? from : to) > 0) return 1;
    emit(format == "json" ? kymdl::planJson(plan, options.dialect) : format == "text" ? kymdl::planText(plan) : plan.sql(),
         output);
    if (settings.verbosity >= 0) std::cerr << "kymdl: " << planSummary(plan) << "\n";
    return exitCode && !plan.steps.empty() ? 1 : 0;
}

// A connection of the tool's own to the database apply changes, closed
// with the object.
class writableDatabase {
public:
    explicit writableDatabase(const std::string& source) {
        if (source.rfind("sqlite:", 0) == 0) {
            // No SQLITE_OPEN_CREATE: the file was reflected a moment ago. A
            // relative path starts with "./", so that it is never a URI or ":memory:".
            const std::string path = source.substr(7);
            const std::string name = !path.empty() && path[0] == '/' ? path : "./" + path;
            if (sqlite3_open_v2(name.c_str(), &mSqlite, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
                throw failure{source + ": the database could not be opened for writing"};
            sqlite3_busy_timeout(mSqlite, 1000);
        } else {
            mPg = PQconnectdb(source.c_str());
            if (PQstatus(mPg) != CONNECTION_OK)
                throw failure{sql::connectionDisplayName(source) + ": the server could not be reached again"};
        }
    }
    ~writableDatabase() {
        sqlite3_close(mSqlite);
        PQfinish(mPg);
    }
    writableDatabase(const writableDatabase&) = delete;
    writableDatabase& operator=(const writableDatabase&) = delete;

    // Runs `plan` as applyMigration does.
    sql::diagnostics apply(const sql::migration& plan, const sql::applyOptions& options) const {
        return mSqlite ? sql::applyMigration(mSqlite, plan, options) : sql::applyMigration(mPg, plan, options);
    }

private:
    sqlite3* mSqlite = nullptr;
    PGconn* mPg = nullptr;
};

// Brings `database` to the model file `modelPath`: plans against the
// database as it is, prints the plan, and runs it through applyMigration,
// which checks inside its transaction that the database is still the one
// planned from and is the model afterwards.
int apply(const std::string& database, const std::string& modelPath, bool allowDestructive, bool dryRun,
          const std::vector<std::string>& renames, int timeoutS) {
    if (!isDatabase(database)) throw usageError{"'" + database + "' is no database (sqlite:PATH or postgresql://...)"};
    sql::migrationOptions options;
    options.dialect = static_cast<sql::eDialect>(dialectOfSource(database));
    options.renames = renamesOf(renames);
    const refPtr<modelInfo> target = loadOrFail(modelPath);
    sql::applyOptions run;
    run.allowDestructive = allowDestructive;
    run.reflect.caseSensitiveNames = target->caseSensitiveNames();
    run.timeoutS = timeoutS;
    if (timeoutS > 0) {
        run.reflect.connectTimeoutS = timeoutS;
        run.reflect.queryTimeoutS = timeoutS;
        run.reflect.busyTimeoutMs = timeoutS * 1000;
    }
    const refPtr<modelInfo> current = reflectSource(database, "", run.reflect, timeoutS);
    if (!current) return 1;
    const std::string shown = dialectOfSource(database) == sql::eSqlite ? database : sql::connectionDisplayName(database);
    const sql::migration plan = sql::createMigration(*current, *target, options);
    if (reportSqlDiagnostics(plan.problems, modelPath) > 0) return 1;
    std::cout << kymdl::planText(plan) << std::flush;
    if (settings.verbosity >= 0) std::cerr << "kymdl: " << planSummary(plan) << "\n";
    if (dryRun && plan.destructive() && !allowDestructive && settings.verbosity >= 0)
        std::cerr << "kymdl: the plan runs only with --allow-destructive\n";
    if (plan.steps.empty() || dryRun) return 0;
    run.planned = current.get();
    run.expected = target.get();
    sql::diagnostics problems;
    {
        writableDatabase db(database);
        progressLine progress("migrating " + shown);
        problems = db.apply(plan, run);
    }
    if (reportSqlDiagnostics(problems, shown) > 0) return 1;
    if (settings.verbosity >= 0) std::cerr << "kymdl: " << shown << ": migrated\n";
    return 0;
}

// ---- diagram ----

int diagram(const std::string& path, const std::string& format, const std::string& output,
            const std::vector<std::string>& classes) {
    refuseOverwrite(path, output);
    const refPtr<modelInfo> model = loadOrFail(path);
    kymdl::diagramOptions options;
    for (const std::string& name : classes) {
        if (!model->classInfo(ky::string::fromUtf8(name), false)) throw failure{path + ": no class '" + name + "'"};
        options.classes.push_back(name);
    }
    if (format == "mermaid") {
        emit(kymdl::toMermaid(*model, options), output);
        return 0;
    }
    const std::string dot = kymdl::toDot(*model, options);
    if (format == "dot") {
        emit(dot, output);
        return 0;
    }
    if (output.empty() || output == "-") throw failure{"--format " + format + " needs an output file (-o)"};
    std::string image;
    std::string error;
    if (!kymdl::render(dot, format, image, error)) throw failure{error};
    emit(image, output);
    return 0;
}

// ---- doc ----

int doc(const std::string& source, const std::string& dir, bool diagrams, bool force,
        const sql::reflectOptions& reflectOptions, int timeoutS) {
    const refPtr<modelInfo> model =
        isDatabase(source) ? reflectSource(source, "", reflectOptions, timeoutS) : loadOrFail(source);
    if (!model) return 1;
    kymdl::docOptions options;
    options.diagrams = diagrams;
    options.force = force;
    // A database address may hold a password: only a file names the site.
    if (!isDatabase(source) && source != "-") options.title = "Model " + fs::path(source).filename().string();
    kymdl::docResult result;
    {
        progressLine progress("writing the site into " + dir);
        result = kymdl::writeSite(*model, dir, options);
    }
    if (!result.note.empty() && settings.verbosity >= 0) std::cerr << "kymdl: " << result.note << "\n";
    if (!result.ok) throw failure{result.error};
    std::cout << "kymdl: wrote " << result.files << " files; open " << (fs::path(dir) / "index.html").string()
              << "\n";
    return 0;
}

}  // namespace

kymdl::reportFormat formatNamed(const std::string& name) {
    return name == "json" ? kymdl::reportFormat::json
                          : name == "sarif" ? kymdl::reportFormat::sarif : kymdl::reportFormat::text;
}

// A model file that exists, or "-" for standard input.
const CLI::Validator modelFileArgument(
    [](std::string& path) { return path == "-" ? std::string() : CLI::ExistingFile(path); }, "FILE");

// A model file as modelFileArgument takes it, or a database address.
const CLI::Validator modelOrDatabase(
    [](std::string& text) { return isDatabase(text) ? std::string() : modelFileArgument(text); }, "FILE or DATABASE");

int runTool(int argc, char** argv) {
    CLI::App app{"kymdl: check, show, look up, convert, emit DDL for, reflect, diff, apply, draw and document models",
                 "kymdl"};
    app.require_subcommand(1);
    app.fallthrough();
    app.set_version_flag("--version", std::string("kymdl ") + ky::versionString());
    bool quiet = false;
    bool verbose = false;
    std::string colour = "auto";
    app.add_flag("-q,--quiet", quiet, "print errors only (no warnings, hints or progress)");
    app.add_flag("-v,--verbose", verbose, "also say what was done (a summary per checked file, each file written)")
        ->excludes(app.get_option("--quiet"));
    app.add_option("--color", colour, "colour the severity words: auto (a terminal, unless NO_COLOR or TERM=dumb), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));

    std::vector<std::string> checkFiles;
    bool strict = false;
    CLI::App* checkCmd = app.add_subcommand("check", "Load model files and report every problem found");
    checkCmd->add_option("FILE", checkFiles, "model files (YAML or JSON; - for standard input)")->required();
    checkCmd->add_flag("--strict", strict, "fail on warnings too");
    std::string checkFormat = "text";
    checkCmd->add_option("--format", checkFormat, "text (on standard error), json or sarif (on standard output)")
        ->check(CLI::IsMember({"text", "json", "sarif"}));

    std::string file;
    std::string className;
    CLI::App* showCmd = app.add_subcommand("show", "Print the classes of a model (or one class) as tables");
    showCmd->add_option("FILE", file, "model file")->required()->check(modelFileArgument);
    showCmd->add_option("CLASS", className, "only this class");
    std::string showFormat = "text";
    showCmd->add_option("--format", showFormat, "text (tables) or json")->check(CLI::IsMember({"text", "json"}));

    std::string name;
    bool aliases = false;
    bool bases = false;
    CLI::App* lookupCmd = app.add_subcommand("lookup", "Tell what a class or qualified field name resolves to");
    lookupCmd->add_option("FILE", file, "model file")->required()->check(modelFileArgument);
    lookupCmd->add_option("NAME", name, "Class or Class.field")->required();
    lookupCmd->add_flag("--aliases", aliases, "search aliases too");
    lookupCmd->add_flag("--bases", bases, "search base classes for the field");
    std::string lookupFormat = "text";
    lookupCmd->add_option("--format", lookupFormat, "text or json")->check(CLI::IsMember({"text", "json"}));

    std::string output;
    CLI::App* convertCmd = app.add_subcommand("convert", "Rewrite a model file as YAML or JSON (by OUT's extension)");
    convertCmd->add_option("IN", file, "model file read")->required()->check(modelFileArgument);
    convertCmd->add_option("OUT", output, "model file written (.yaml, .yml or .json; - for standard output)")
        ->required();

    std::string dialect;
    CLI::App* ddlCmd = app.add_subcommand("ddl", "Print the CREATE TABLE statements of a model");
    ddlCmd->add_option("FILE", file, "model file")->required()->check(modelFileArgument);
    ddlCmd->add_option("--dialect", dialect, "sqlite or postgresql")
        ->required()
        ->check(CLI::IsMember({"sqlite", "postgresql"}));
    ddlCmd->add_option("-o,--output", output, "write to this file");

    std::string source;
    sql::reflectOptions reflectOptions;
    std::vector<std::string> schemas;
    std::vector<std::string> include;
    std::vector<std::string> exclude;
    CLI::App* reflectCmd = app.add_subcommand("reflect", "Write a model file of a live database's tables");
    reflectCmd->add_option("DATABASE", source, "sqlite:PATH or postgresql://...")->required();
    reflectCmd->add_option("-o,--output", output, "write to this file (.json for JSON)");
    reflectCmd->add_flag("--case-sensitive", reflectOptions.caseSensitiveNames, "keep names as the database spells them");
    // Each of these takes one value an occurrence, so that the database
    // after it is not read as a second value.
    reflectCmd->add_option("--schema", schemas,
                           "PostgreSQL: a schema read (may repeat; default every schema but the system ones)")
        ->allow_extra_args(false);
    reflectCmd->add_option("--include", include, "only tables matching this pattern (* and ?; may repeat)")
        ->allow_extra_args(false);
    reflectCmd->add_option("--exclude", exclude, "leave out tables matching this pattern (* and ?; may repeat)")
        ->allow_extra_args(false);
    int timeoutS = 0;
    reflectCmd->add_option("--timeout", timeoutS, "seconds to wait at most for the server, a lock or one query")
        ->check(CLI::Range(1, 86400));

    std::string format;
    std::vector<std::string> classes;
    CLI::App* diagramCmd = app.add_subcommand("diagram", "Draw the classes of a model");
    diagramCmd->add_option("FILE", file, "model file")->required()->check(modelFileArgument);
    diagramCmd->add_option("--format", format, "dot, mermaid, svg or png")
        ->required()
        ->check(CLI::IsMember({"dot", "mermaid", "svg", "png"}));
    diagramCmd->add_option("-o,--output", output, "write to this file (needed for svg and png)");
    diagramCmd->add_option("--classes", classes, "only these classes, comma-separated")->delimiter(',');

    bool noDiagrams = false;
    bool force = false;
    CLI::App* docCmd = app.add_subcommand("doc", "Write a browsable documentation site of a model");
    docCmd->add_option("MODEL", source, "model file (- for standard input), sqlite:PATH or postgresql://...")
        ->required()
        ->check(modelOrDatabase);
    docCmd->add_option("-o,--output", output, "the site's folder (made when missing)")->required();
    docCmd->add_flag("--no-diagrams", noDiagrams, "leave the diagrams out");
    docCmd->add_flag("--force", force, "write into a folder that holds files of others");

    std::string from;
    std::string to;
    std::string diffFormat = "sql";
    bool exitCode = false;
    std::vector<std::string> renames;
    CLI::App* diffCmd = app.add_subcommand("diff", "Print the migration that brings FROM's tables to TO's");
    diffCmd->add_option("FROM", from, "model file, sqlite:PATH or postgresql://...")->required()->check(modelOrDatabase);
    diffCmd->add_option("TO", to, "model file, sqlite:PATH or postgresql://...")->required()->check(modelOrDatabase);
    diffCmd->add_option("--dialect", dialect, "sqlite or postgresql (default: the database's)")
        ->check(CLI::IsMember({"sqlite", "postgresql"}));
    diffCmd->add_option("-o,--output", output, "write to this file");
    diffCmd->add_option("--format", diffFormat, "sql, text (one line a step) or json")
        ->check(CLI::IsMember({"sql", "text", "json"}));
    diffCmd->add_flag("--exit-code", exitCode, "exit with status 1 when there is any difference");
    diffCmd->add_option("--rename", renames, "OLD=NEW: a table (table=new) or column (table.column=new) renamed (may repeat)")
        ->allow_extra_args(false);

    bool allowDestructive = false;
    bool dryRun = false;
    CLI::App* applyCmd = app.add_subcommand("apply", "Migrate a database to a model in one transaction");
    applyCmd->add_option("DATABASE", source, "sqlite:PATH or postgresql://...")->required();
    applyCmd->add_option("MODEL", file, "model file")->required()->check(modelFileArgument);
    applyCmd->add_flag("--allow-destructive", allowDestructive, "run steps that can lose data");
    applyCmd->add_flag("--dry-run", dryRun, "print the plan and run nothing");
    applyCmd->add_option("--timeout", timeoutS, "seconds one statement of the migration or a wait for a lock may take")
        ->check(CLI::Range(1, 86400));
    applyCmd->add_option("--rename", renames, "OLD=NEW: a table (table=new) or column (table.column=new) renamed (may repeat)")
        ->allow_extra_args(false);

    // A usage error names the --help of the subcommand it concerns.
    auto usage = [&app](const std::string& message) {
        std::string hint = "kymdl --help";
        for (CLI::App* sub : app.get_subcommands()) hint = "kymdl " + sub->get_name() + " --help";
        std::cerr << "kymdl: " << message << " (see " << hint << ")\n";
        return 2;
    };
    if (argc == 1) {
        std::cout << app.help();
        return 0;
    }
    if (argc > 1 && argv[1][0] != '-') {
        try {
            app.get_subcommand_ptr(argv[1]);
        } catch (const CLI::OptionNotFound&) {
            std::cerr << "kymdl: unknown subcommand '" << argv[1] << "' (see kymdl --help)\n";
            return 2;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }

    decideTalk(colour, quiet, verbose);
    const kymdl::reportFormat reportFormat = *checkCmd ? formatNamed(checkFormat) : kymdl::reportFormat::text;
    printer = std::make_unique<kymdl::diagnosticPrinter>(reportFormat, std::cerr, settings.verbosity < 0, settings.colour);
    for (const std::string& schema : schemas) reflectOptions.schemas.push_back(ky::string::fromUtf8(schema));
    for (const std::string& pattern : include) reflectOptions.include.push_back(ky::string::fromUtf8(pattern));
    for (const std::string& pattern : exclude) reflectOptions.exclude.push_back(ky::string::fromUtf8(pattern));

    try {
        if (*checkCmd) return check(checkFiles, strict);
        if (*showCmd) return show(file, className, showFormat == "json");
        if (*lookupCmd) return lookup(file, name, aliases, bases, lookupFormat == "json");
        if (*convertCmd) return convert(file, output);
        if (*ddlCmd) return ddl(file, dialect, output);
        if (*reflectCmd) return reflect(source, output, reflectOptions, timeoutS);
        if (*diagramCmd) return diagram(file, format, output, classes);
        if (*diffCmd) return diff(from, to, dialect, diffFormat, output, exitCode, renames);
        if (*applyCmd) return apply(source, file, allowDestructive, dryRun, renames, timeoutS);
        if (*docCmd) return doc(source, output, !noDiagrams, force, reflectOptions, timeoutS);
    } catch (const usageError& e) {
        return usage(e.message);
    } catch (const failure& f) {
        if (!f.message.empty()) std::cerr << "kymdl: " << f.message << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "kymdl: " << e.what() << "\n";
        return 1;
    } catch (bool) {
        std::cerr << "kymdl: the library refused the model\n";
        return 1;
    }
    return 2;
}

// Standard output is checked to the last byte: a failed write ends the tool
// with status 1 and says why, except that a reader who closed the pipe
// (`kymdl show m.yaml | head`) is left in peace. SIGPIPE is ignored so that
// such a write fails with EPIPE instead of killing the tool unseen.
int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    kymdl::removeTemporariesOnSignals();
    kymdl::checkedStandardOutput out;
    const int status = runTool(argc, argv);
    if (const int error = out.finish()) {
        if (error != EPIPE) std::cerr << "kymdl: cannot write the standard output: " << std::strerror(error) << "\n";
        return 1;
    }
    return status;
}
