// The printer: findings grouped, then written as compiler-shaped lines, as
// JSON or as a SARIF log whose rules come from the libraries' code tables.
#include "report.h"

#include <kymdlfile.h>
#include <kymdlsql.h>

#include <algorithm>
#include <unordered_map>

namespace kymdl {

namespace {

using ky::metamodel::diagnostic;
using ky::metamodel::diagnosticCode;

std::string utf8(const ky::string& text) { return text.escapedForLine().toUtf8(); }

std::string severityText(ky::metamodel::eSeverity severity) {
    return ky::string(diagnostic::severityWord(severity)).toUtf8();
}

// What a warning about a table says but for the table, so that the same
// warning about the tables of several classes has one key; empty for a
// finding that is said for itself (an error, one without table, one with
// related places).
std::wstring sameSaying(const diagnostic& d) {
    if (d.severity == ky::metamodel::eError || d.table.empty() || !d.related.empty()) return {};
    std::wstring key = std::to_wstring(d.severity) + L'\x1f' + std::to_wstring(d.line) + L'\x1f' +
                       std::to_wstring(d.column);
    for (const ky::string* part : {&d.code, &d.message, &d.field, &d.databaseMessage, &d.file, &d.hint, &d.element})
        key += L'\x1f' + *part;
    return key;
}

std::string objectOf(const diagnostic& d) {
    if (d.table.empty()) return d.field.empty() ? std::string() : utf8(d.field);
    return d.field.empty() ? utf8(d.table) : utf8(d.table) + "." + utf8(d.field);
}

// "file:line:column", the parts left out that the place lacks.
std::string placeText(const ky::string& file, std::uint32_t line, std::uint32_t column) {
    std::string out = utf8(file);
    if (line) {
        out += ":" + std::to_string(line);
        if (column) out += ":" + std::to_string(column);
    }
    return out;
}

const diagnosticCode* codeRow(const ky::string& code) {
    for (const auto* table : {&ky::metamodel::file::codeTable(), &ky::metamodel::sql::codeTable()})
        for (const diagnosticCode& row : *table)
            if (row.code == code) return &row;
    return nullptr;
}

// A file name as a relative URI reference: unreserved characters and "/" as
// they are, every other byte percent-encoded.
std::string uriOf(const ky::string& file) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : file.toUtf8()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out.push_back(static_cast<char>(c));
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

json physicalLocation(const ky::string& file, std::uint32_t line, std::uint32_t column) {
    json location = json::object();
    location["artifactLocation"]["uri"] = uriOf(file);
    if (line) {
        json& region = location["region"];
        region["startLine"] = line;
        if (column) region["startColumn"] = column;
    }
    return location;
}

}  // namespace

void diagnosticPrinter::report(const std::vector<diagnostic>& batch) {
    std::vector<finding> found;
    std::unordered_map<std::wstring, std::size_t> said;  // by sameSaying, the finding that says it
    for (const diagnostic& d : batch) {
        if (d.severity == ky::metamodel::eError) ++mErrors;
        else if (d.severity == ky::metamodel::eWarning) ++mWarnings;
        const std::wstring saying = sameSaying(d);
        if (!saying.empty()) {
            const auto [at, added] = said.emplace(saying, found.size());
            if (!added) {
                found[at->second].objects.push_back(objectOf(d));
                continue;
            }
        }
        finding f{d, {}};
        if (const std::string object = objectOf(d); !object.empty()) f.objects.push_back(object);
        found.push_back(std::move(f));
    }
    for (finding& f : found) {
        if (mFormat == reportFormat::text) print(f);
        else mKept.push_back(std::move(f));
    }
}

void diagnosticPrinter::print(const finding& f) const {
    const diagnostic& d = f.d;
    if (mQuiet && d.severity != ky::metamodel::eError) return;
    std::string line = placeText(d.file, d.line, d.column);
    if (!line.empty()) line += ": ";
    const std::string word = severityText(d.severity);
    if (mColour) line += (d.severity == ky::metamodel::eError ? "\033[1;31m" : "\033[1;33m") + word + "\033[0m";
    else line += word;
    line += ": ";
    mErr << line << messageText(f) << " [" << utf8(d.code) << "]\n";
    if (!d.hint.empty() && !mQuiet) mErr << "  hint: " << utf8(d.hint) << "\n";
    for (const auto& r : d.related) {
        const std::string place = placeText(r.file.empty() ? d.file : r.file, r.line, r.column);
        mErr << place << (place.empty() ? "" : ": ") << "note: " << utf8(r.message) << "\n";
    }
}

std::string diagnosticPrinter::messageText(const finding& f) {
    std::string text;
    for (const std::string& object : f.objects) text += (text.empty() ? "" : ", ") + object;
    if (!text.empty()) text += ": ";
    text += utf8(f.d.message);
    if (!f.d.databaseMessage.empty()) text += " (" + utf8(f.d.databaseMessage) + ")";
    return text;
}

json diagnosticPrinter::jsonOf(const finding& f) const {
    const diagnostic& d = f.d;
    json out = json::object();
    out["file"] = utf8(d.file);
    out["line"] = d.line;
    out["column"] = d.column;
    out["severity"] = severityText(d.severity);
    out["code"] = utf8(d.code);
    out["message"] = utf8(d.message);
    if (!d.element.empty()) out["element"] = utf8(d.element);
    if (!d.hint.empty()) out["hint"] = utf8(d.hint);
    if (!f.objects.empty()) {
        json& objects = out["objects"] = json::array();
        for (const std::string& object : f.objects) objects.push(object);
    }
    if (!d.databaseMessage.empty()) out["databaseMessage"] = utf8(d.databaseMessage);
    if (!d.related.empty()) {
        json& related = out["related"] = json::array();
        for (const auto& r : d.related) {
            json place = json::object();
            place["file"] = utf8(r.file.empty() ? d.file : r.file);
            place["line"] = r.line;
            place["column"] = r.column;
            place["message"] = utf8(r.message);
            related.push(std::move(place));
        }
    }
    return out;
}

std::string diagnosticPrinter::finish() const {
    if (mFormat == reportFormat::text) return {};
    if (mFormat == reportFormat::sarif) return sarif();
    json out = json::object();
    json& list = out["diagnostics"] = json::array();
    for (const finding& f : mKept) list.push(jsonOf(f));
    out["errors"] = mErrors;
    out["warnings"] = mWarnings;
    return out.dump();
}

// One run of the tool: its rules are the codes of the results, in the order
// of their first result, each with its title and where the docs explain it.
std::string diagnosticPrinter::sarif() const {
    std::vector<ky::string> ruleIds;
    json rules = json::array();
    json results = json::array();
    for (const finding& f : mKept) {
        const diagnostic& d = f.d;
        auto at = std::find(ruleIds.begin(), ruleIds.end(), d.code);
        if (at == ruleIds.end()) {
            json rule = json::object();
            rule["id"] = utf8(d.code);
            const diagnosticCode* row = codeRow(d.code);
            rule["shortDescription"]["text"] = row ? ky::string(row->title).toUtf8() : utf8(d.code);
            if (row) rule["help"]["text"] = "see docs/" + std::string(row->anchor);
            rule["defaultConfiguration"]["level"] = severityText(row ? row->severity : d.severity);
            rules.push(std::move(rule));
            at = ruleIds.insert(ruleIds.end(), d.code);
        }
        json result = json::object();
        result["ruleId"] = utf8(d.code);
        result["ruleIndex"] = static_cast<std::int64_t>(at - ruleIds.begin());
        result["level"] = severityText(d.severity);
        result["message"]["text"] = messageText(f);
        if (!d.file.empty()) {
            json& locations = result["locations"] = json::array();
            json location = json::object();
            location["physicalLocation"] = physicalLocation(d.file, d.line, d.column);
            locations.push(std::move(location));
        }
        if (!d.related.empty()) {
            json& related = result["relatedLocations"] = json::array();
            for (std::size_t i = 0; i < d.related.size(); ++i) {
                const auto& r = d.related[i];
                json location = json::object();
                location["id"] = static_cast<std::int64_t>(i);
                location["physicalLocation"] = physicalLocation(r.file.empty() ? d.file : r.file, r.line, r.column);
                location["message"]["text"] = utf8(r.message);
                related.push(std::move(location));
            }
        }
        if (!d.hint.empty()) result["properties"]["hint"] = utf8(d.hint);
        results.push(std::move(result));
    }
    json log = json::object();
    log["$schema"] = "https://json.schemastore.org/sarif-2.1.0.json";
    log["version"] = "2.1.0";
    json run = json::object();
    run["tool"]["driver"]["name"] = "kymdl";
    run["tool"]["driver"]["rules"] = std::move(rules);
    run["results"] = std::move(results);
    log["runs"] = json::array();
    log["runs"].push(std::move(run));
    return log.dump();
}

}  // namespace kymdl
