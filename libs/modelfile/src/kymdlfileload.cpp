// Loading a model file: the text is read into a tree, the tree into a
// checked description, and only a description without errors is built into
// a model. Also the typed values that the checks and the build both read.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <sys/stat.h>
#include <unordered_map>

#include "kymdlfiledesc.h"

namespace ky::metamodel::file::detail {

namespace {

// Whether `name` ends with `tail` (lower case ASCII) in any case.
bool endsWithFolded(std::string_view name, std::string_view tail) {
    if (name.size() < tail.size()) return false;
    const std::string_view end = name.substr(name.size() - tail.size());
    return std::equal(end.begin(), end.end(), tail.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

bool chooseJson(std::string_view text, const ky::string& name, eFormat format) {
    if (format == eAutoFormat) {
        std::string utf8;
        appendUtf8(name, utf8);
        format = formatOfPath(utf8);
    }
    if (format != eAutoFormat) return format == eJson;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        return c == '{';
    }
    return false;
}

bool inFileOrder(const diagnostic& a, const diagnostic& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
}

// The diagnostics in file order, as a compiler lists them (the checks find
// them in the order of their passes).
loadResult finish(reporter& report) {
    loadResult result;
    result.diagnostics = std::move(report.diagnostics());
    std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(), inFileOrder);
    return result;
}

// Where the elements of a model just built from `desc` are defined: a class at its name, a field at its name (a copied field at its
// copy entry), a relation at its entry. The model holds the classes in file
// order, each class its own fields in the order the checks listed them, and
// the relations made on a class in the order of the file.
std::unordered_map<const void*, place> entriesOf(const description& desc, const modelInfo& model) {
    std::unordered_map<const void*, place> entries;
    std::size_t index = 0;
    for (auto it = model.classes_begin(); it != model.classes_end() && index < desc.classes.size(); ++it, ++index) {
        const classDesc& cls = desc.classes[index];
        entries.emplace(it->get(), cls.namePlace);
        std::size_t field = 0;
        for (auto f = (*it)->fields_begin(); f != (*it)->fields_end() && field < cls.ownPlaces.size(); ++f, ++field)
            entries.emplace(f->get(), cls.ownPlaces[field]);
    }
    std::vector<std::size_t> made(desc.classes.size(), 0);
    std::vector<ky::refPtr<classInfo>> classes(model.classes_begin(), model.classes_end());
    for (const relationDesc& rel : desc.relations) {
        if (rel.fromClass >= classes.size()) continue;
        const classInfo& from = *classes[rel.fromClass];
        const std::size_t k = made[rel.fromClass]++;
        if (from.toRelations_begin() + static_cast<std::ptrdiff_t>(k) < from.toRelations_end())
            entries.emplace(from.toRelations_begin()[static_cast<std::ptrdiff_t>(k)].get(), rel.entryPlace);
    }
    return entries;
}

// Fills result.places with where each class, field and relation of the
// model is defined.
void addPlaces(const std::unordered_map<const void*, place>& entries, loadResult& result) {
    const auto placeOf = [&](const void* element, const ky::string& name) {
        const auto entry = entries.find(element);
        if (entry == entries.end() || entry->second.line == 0) return;
        diagnosticPlace& at = result.places[name];
        at.line = entry->second.line;
        at.column = entry->second.column;
    };
    for (auto it = result.model->classes_begin(); it != result.model->classes_end(); ++it) {
        const ky::string name = (*it)->scName().string();
        placeOf(it->get(), name);
        for (auto f = (*it)->fields_begin(); f != (*it)->fields_end(); ++f) placeOf(f->get(), (*f)->qualifiedName());
        for (auto r = (*it)->toRelations_begin(); r != (*it)->toRelations_end(); ++r)
            placeOf(r->get(), name + L"." + (*r)->scName().string());
    }
}

// Runs the model checks on a model just built and adds their findings to
// `result`, each at the entry of its element.
void addModelChecks(const std::unordered_map<const void*, place>& entries, const ky::string& name,
                    loadResult& result) {
    std::vector<const void*> subjects;
    std::vector<diagnostic> found = runModelChecks(*result.model, &subjects);
    for (std::size_t i = 0; i < found.size(); ++i) {
        diagnostic& d = found[i];
        d.file = name;
        if (const auto entry = entries.find(subjects[i]); entry != entries.end() && entry->second.line != 0) {
            d.line = entry->second.line;
            d.column = entry->second.column;
        }
        result.diagnostics.push_back(std::move(d));
    }
    std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(), inFileOrder);
    if (result.hasErrors()) result.model.reset();
}

// Keeps in `desc` the places the model checks report at, and lets the tree
// and the description go of what only the checks needed: the build reads
// no place, so the tree's places need not live beside the model.
void keepPlaces(tree& t, description& desc) {
    for (classDesc& cls : desc.classes) {
        if (cls.slots[cName] != none) cls.namePlace = t.placeOf(cls.slots[cName]);
        cls.ownPlaces.reserve(cls.ownAt.size());
        for (std::uint32_t at : cls.ownAt) cls.ownPlaces.push_back(t.placeOf(at));
        std::vector<std::uint32_t>().swap(cls.ownAt);
        std::vector<ky::scString>().swap(cls.ownNames);
    }
    for (relationDesc& rel : desc.relations) rel.entryPlace = t.placeOf(rel.at);
    t.forgetPlaces();
}

}  // namespace

// ---- typed values ----

bool readTypedValue(const tree& t, std::uint32_t index, const lazyText& what, reporter& report,
                    ky::genericValue& out) {
    const node& n = t.at(index);
    const place at = t.placeOf(index);
    if (n.kind == nodeKind::sequence) {
        report.error(at.line, at.column, L"M018", what() + L" must be a value, not a list");
        return false;
    }
    if (n.kind == nodeKind::scalar) {
        const std::string_view s = t.text(n);
        if (!n.plain) {
            out = ky::genericValue::create(wide(s));
            return true;
        }
        if (s == "true" || s == "false") {
            out = ky::genericValue::create(s == "true");
            return true;
        }
        long long whole = 0;
        const char* end = s.data() + s.size();
        if (const auto [p, ec] = std::from_chars(s.data(), end, whole); ec == std::errc::result_out_of_range && p == end) {
            // Beyond 64 bits: read as a double it would be another number.
            report.error(at.line, at.column, L"M016", L"the integer " + quoted(s) + L" of " + what() +
                                                        L" is outside the range of long; write it in quotes as a text");
            return false;
        }
        if (auto [p, ec] = std::from_chars(s.data(), end, whole); ec == std::errc() && p == end) {
            if (whole < std::numeric_limits<int>::min() || whole > std::numeric_limits<int>::max()) {
                report.error(at.line, at.column, L"M016", L"the integer " + quoted(s) + L" of " + what() +
                                                            L" is outside the range of int; write {type: long, value: ...}");
                return false;
            }
            out = ky::genericValue::create(static_cast<int>(whole));
            return true;
        }
        double real = 0;
        if (auto [p, ec] = std::from_chars(s.data(), end, real); ec == std::errc() && p == end && !s.empty() &&
                                                                  (s[0] == '-' || (s[0] >= '0' && s[0] <= '9'))) {
            out = ky::genericValue::create(real);
            return true;
        }
        // Any other plain scalar is a text, as YAML reads it.
        out = ky::genericValue::create(wide(s));
        return true;
    }
    // {type: <word>, value: <text>}
    std::uint32_t typeIndex = tree::none, valueIndex = tree::none;
    for (std::uint32_t i = 0; i + 1 < n.size; i += 2) {
        const std::uint32_t keyIndex = t.childIndex(n, i);
        const node& key = t.at(keyIndex);
        const place keyAt = t.placeOf(keyIndex);
        const std::uint32_t value = t.childIndex(n, i + 1);
        const std::string_view k = key.kind == nodeKind::scalar ? t.text(key) : std::string_view();
        if (k == "type") typeIndex = value;
        else if (k == "value") valueIndex = value;
        else {
            report.error(keyAt.line, keyAt.column, L"M010", L"unknown key " + quoted(k) + L" in " + what() +
                                                           L" (a typed value has 'type' and 'value')");
            return false;
        }
    }
    if (typeIndex == tree::none || valueIndex == tree::none || t.at(typeIndex).kind != nodeKind::scalar ||
        t.at(valueIndex).kind != nodeKind::scalar) {
        report.error(at.line, at.column, L"M018", what() + L" must be a value or {type: ..., value: ...}");
        return false;
    }
    const std::string_view word = t.text(t.at(typeIndex));
    static const std::pair<const char*, eFieldType> typed[] = {
        {"bool", eBool}, {"short", eShort}, {"int", eInt}, {"long", eLong}, {"float", eFloat}, {"double", eDouble},
        {"text", eString}, {"date", eDate}, {"time", eTime}, {"timestamp", eTimestamp}};
    for (const auto& [name, type] : typed) {
        if (word != name) continue;
        fieldInfo::getDefaultFromType(type, out);
        const std::string_view valueText = t.text(t.at(valueIndex));
        const place v = t.placeOf(valueIndex);
        if (!out.assignFromText(wide(valueText))) {
            report.error(v.line, v.column, L"M016", L"the value " + quoted(valueText) + L" of " + what() +
                                                        L" does not convert to " + wide(name));
            return false;
        }
        return true;
    }
    const place tn = t.placeOf(typeIndex);
    report.error(tn.line, tn.column, L"M016", L"unknown value type " + quoted(word) + L" in " + what() +
                                                  L" (bool, short, int, long, float, double, text, date, time, timestamp)");
    return false;
}

// ---- items ----

bool readItem(const tree& t, std::uint32_t index, eFieldSemantics semantic, eFieldType type, enumItem& item) {
    const node& n = t.at(index);
    if (n.kind == nodeKind::scalar) {
        const ky::string text = wideText(t, index);
        return semantic == eSemBits ? fieldInfo::parseBitsItem(text, type, item)
                                    : fieldInfo::parseEnumItem(text, type, item);
    }
    if (n.kind != nodeKind::mapping) return false;
    std::uint32_t valueIndex = tree::none, nameIndex = tree::none;
    for (std::uint32_t i = 0; i + 1 < n.size; i += 2) {
        const node& key = t.child(n, i);
        const std::string_view k = key.kind == nodeKind::scalar ? t.text(key) : std::string_view();
        std::uint32_t* slot = k == "value" ? &valueIndex : k == "name" ? &nameIndex : nullptr;
        if (!slot || *slot != tree::none) return false;  // an unknown or repeated key
        *slot = t.childIndex(n, i + 1);
    }
    if (valueIndex == tree::none || nameIndex == tree::none || t.at(valueIndex).kind != nodeKind::scalar ||
        t.at(nameIndex).kind != nodeKind::scalar)
        return false;
    const ky::string text = wideText(t, valueIndex);
    ky::genericValue value;
    if (!fieldInfo::getDefaultFromType(type, value)) value = ky::genericValue::create(text);
    else if (!value.assignFromText(text)) return false;
    item.itemValue = std::move(value);
    item.itemName = wideText(t, nameIndex);
    return true;
}

}  // namespace ky::metamodel::file::detail

namespace ky::metamodel::file {

using namespace detail;

namespace {

// Loads `text`; `owned`, when given, holds the text and is emptied once the
// tree has copied what it needs, so that the file's bytes are not kept
// beside the tree, the description and the model while it is built.
loadResult loadText(std::string_view text, std::string* owned, const ky::string& name, const loadOptions& options) {
    reporter report(name, options.maxDiagnostics ? options.maxDiagnostics : 1);
    if (text.size() > options.maxFileSize) {
        report.error(0, 0, L"M002", L"the file is larger than " + std::to_wstring(options.maxFileSize) + L" bytes");
        return finish(report);
    }
    tree t;
    if (!t.parse(text, chooseJson(text, name, options.format), options, report) || report.errors())
        return finish(report);
    if (owned) std::string().swap(*owned);
    description desc;
    if (!checkDescription(t, report, options, desc)) return finish(report);
    keepPlaces(t, desc);
    loadResult result = finish(report);
    try {
        result.model = buildModel(t, desc);
    } catch (bool) {
        result.model.reset();
        diagnostic d = diagnostic::make(eError, L"M090", L"the metamodel refused the model although the checks passed");
        d.file = name;
        result.diagnostics.push_back(d);
        return result;
    }
    if (!options.runChecks && !options.recordPlaces) return result;
    const auto entries = entriesOf(desc, *result.model);
    if (options.recordPlaces) addPlaces(entries, result);
    if (options.runChecks) addModelChecks(entries, name, result);
    return result;
}

}  // namespace

eFormat formatOfPath(std::string_view path) {
    if (endsWithFolded(path, ".json")) return eJson;
    if (endsWithFolded(path, ".yaml") || endsWithFolded(path, ".yml")) return eYaml;
    return eAutoFormat;
}

loadResult loadModelText(std::string_view text, const ky::string& name, const loadOptions& options) {
    return loadText(text, nullptr, name, options);
}

loadResult loadModelFile(const std::string& path, const loadOptions& options) {
    const ky::string name = wide(path);
    reporter report(name, 1);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        report.error(0, 0, L"M001", L"cannot open the file: it does not exist or is not reachable");
        return finish(report);
    }
    if (S_ISDIR(info.st_mode)) {
        report.error(0, 0, L"M001", L"cannot read the file: it is a directory");
        return finish(report);
    }
    // A pipe or a device could block the open or never end.
    if (!S_ISREG(info.st_mode)) {
        report.error(0, 0, L"M001", L"cannot read the file: it is not a regular file");
        return finish(report);
    }
    if (static_cast<std::uint64_t>(info.st_size) > options.maxFileSize) {
        report.error(0, 0, L"M002", L"the file is larger than " + std::to_wstring(options.maxFileSize) + L" bytes");
        return finish(report);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        report.error(0, 0, L"M001", L"cannot open the file for reading");
        return finish(report);
    }
    std::string content;
    content.resize(static_cast<std::size_t>(info.st_size));
    const std::size_t read = content.empty() ? 0 : std::fread(content.data(), 1, content.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || read != content.size()) {
        report.error(0, 0, L"M001", L"cannot read the file");
        return finish(report);
    }
    return loadText(content, &content, name, options);
}

}  // namespace ky::metamodel::file
