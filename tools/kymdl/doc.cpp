// The documentation site of a model.
//
// Every page is built as text first; the diagrams of all pages are drawn in
// one run of dot (one graph per page) before any file is written, and the
// files then go out one by one through put(), the one place that writes.
// File names of class pages come from pageFileName() alone, so a link to a
// class is the same in every run and no class name can place a file outside
// the site's folder. A folder is taken as an earlier site when it holds the
// mark file; only then are pages of classes that are gone removed, and only
// files whose names pageFileName() could have made.
#include "doc.h"

#include <kymdlfile.h>
#include <kymdlfilewrite.h>
#include <kymdlsql.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <set>
#include <sstream>
#include <vector>

#include "diagram.h"
#include "output.h"
#include "words.h"

namespace kymdl {

namespace assets {
// The stylesheet and the script, made from site.css and site.js at build time.
extern const char style[];
extern const char script[];
}  // namespace assets

using namespace ky::metamodel;
namespace fs = std::filesystem;

namespace {

const char* const markFile = ".kymdl-doc";
const std::size_t overviewLimit = 150;
const std::size_t nameLimit = 180;  // bytes of a page name before ".html"

std::string utf8(const ky::scString& s) { return s.string().toUtf8(); }
std::string nameOf(const classInfo& cls) { return utf8(cls.scName()); }
std::string esc(const std::string& text) { return htmlEscaped(text); }
std::string esc(const ky::string& text) { return htmlEscaped(text.toUtf8()); }

std::string classLink(const classInfo& cls, const std::string& prefix) {
    return "<a href=\"" + prefix + pageFileName(nameOf(cls)) + "\">" + esc(nameOf(cls)) + "</a>";
}

std::string joined(const std::vector<std::string>& parts, const char* separator = ", ") {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

// ---- what the pages show ----

std::vector<const classInfo*> basesOf(const classInfo& cls) {
    std::vector<const classInfo*> out;
    for (auto it = cls.baseClasses_begin(); it != cls.baseClasses_end(); ++it) out.push_back((*it).get());
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->scName().string() < b->scName().string(); });
    return out;
}

std::vector<const classInfo*> derivedOf(const classInfo& cls) {
    std::vector<const classInfo*> out;
    for (auto it = cls.derivedClasses_begin(); it != cls.derivedClasses_end(); ++it) out.push_back((*it).get());
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->scName().string() < b->scName().string(); });
    return out;
}

// The fields of a class as its table holds them: those of the bases (in name
// order, depth first) and then its own, an own field standing in the place of
// the inherited one it overrides.
void collectFields(const classInfo& cls, std::vector<const fieldInfo*>& out, std::set<const classInfo*>& visited) {
    if (!visited.insert(&cls).second) return;
    for (const classInfo* base : basesOf(cls)) collectFields(*base, out, visited);
    const auto inherited = static_cast<std::ptrdiff_t>(out.size());
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) {
        const fieldInfo* field = it->get();
        if (field->type() == ePtr) continue;
        const auto end = out.begin() + inherited;
        auto same = std::find_if(out.begin(), end, [&](auto* f) { return f->scName() == field->scName(); });
        if (same != end) *same = field;
        else out.push_back(field);
    }
}

std::vector<const fieldInfo*> allFields(const classInfo& cls) {
    std::vector<const fieldInfo*> out;
    std::set<const classInfo*> visited;
    collectFields(cls, out, visited);
    return out;
}

// The primary-key fields among `fields`, inherited ones too.
std::vector<const fieldInfo*> keyOf(const std::vector<const fieldInfo*>& fields) {
    std::vector<const fieldInfo*> key;
    std::copy_if(fields.begin(), fields.end(), std::back_inserter(key),
                 [](auto* f) { return f->semantic() == eSemPrimkey; });
    return key;
}

std::string valueText(const ky::genericValue* value) {
    ky::string text;
    if (value && value->read(text)) return text.toUtf8();
    return "(a value without text form)";
}

// "key = value" items of a set, in key order; `skip` keys left out.
std::vector<std::string> properties(const ky::genericSet& set, const std::vector<const wchar_t*>& skip = {}) {
    std::vector<std::string> out;
    for (const ky::scString& key : set.keys()) {
        if (std::find(skip.begin(), skip.end(), key.string()) != skip.end()) continue;
        out.push_back(esc(utf8(key)) + " = " + esc(valueText(set.genericValue(key))));
    }
    return out;
}

// The default expression, else the stored default value (never the type's
// default, which the field answers when nothing is stored).
std::string defaultText(const fieldInfo& field) {
    std::string text = field.defaultExpression().toUtf8();
    if (!text.empty() || !field.hasStoredDefault(true)) return text;
    ky::genericValue stored;
    ky::string value;
    if (field.getDefaultValue(stored, true) && !stored.empty() && stored.read(value)) text = value.toUtf8();
    return text;
}

std::string itemsText(const fieldInfo& field) {
    const std::vector<enumItem>* items = nullptr;
    if ((field.semantic() != eSemEnum && field.semantic() != eSemBits) ||
        !field.semanticAttribs().getValuePtr(ky::scString::createFrom(keys::enumItems), items))
        return "";
    std::vector<std::string> out;
    for (const enumItem& item : *items) out.push_back(esc(valueText(&item.itemValue)) + " " + esc(item.itemName));
    return joined(out);
}

// The rest of what a field carries, as items of a list.
std::vector<std::string> detailsOf(const fieldInfo& field) {
    std::vector<std::string> out;
    auto add = [&](const char* what, const std::string& html) {
        if (!html.empty()) out.push_back(std::string("<span class=\"what\">") + what + "</span> " + html);
    };
    add(field.semantic() == eSemBits ? "bits" : "items", itemsText(field));
    std::vector<ky::string> aliases;
    field.getAliasnames(aliases);
    std::vector<std::string> names;
    for (const ky::string& alias : aliases) names.push_back(esc(alias));
    add("aliases", joined(names));
    add("constant", esc(field.constantExpression()));
    add("automatic", esc(field.autoExpression()));
    if (field.valueCondition()) add("condition", "a value condition of the host");
    add("semantic attributes",
        joined(properties(field.semanticAttribs(), {keys::enumItems, keys::referencedClasses, keys::customSemantic})));
    add("user properties", joined(properties(field.userProperties(false))));
    add("inheritable user properties", joined(properties(field.userProperties(true))));
    return out;
}

// The column type voVerizezavSql's DDL gives the field in `dialect`.
std::string nativeType(const fieldInfo& field, sql::eDialect dialect) {
    if (field.type() == eCustom) return utf8(field.typeString());
    return sql::sqlTypeOf(field.type(), field.stringLength(), field.semantic(), dialect);
}

// ---- page text ----

std::string pageStart(const std::string& title, const std::string& root) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           esc(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + root + "style.css\">\n</head>\n<body>\n";
}

const char* const pageEnd = "</main>\n</body>\n</html>\n";

// An SVG document of dot as an element of the page: without its XML
// declaration and doctype, named for assistive technology.
std::string inlineSvg(const std::string& svg, const std::string& label) {
    auto at = svg.find("<svg");
    if (at == std::string::npos) return "";
    std::string out = svg.substr(at);
    out.insert(4, " role=\"img\" aria-label=\"" + esc(label) + "\"");
    return "<div class=\"diagram\">\n" + out + "</div>\n";
}

struct page {
    std::string path;  // relative to the site's folder
    std::string text;  // with the diagram's place marked by diagramMark
    int diagram = -1;  // index of its graph, -1 for none
    std::string diagramLabel;
};

const std::string diagramMark = "<!--kymdl-diagram-->";
const std::string notDrawn = "<p class=\"note\">Diagrams were not drawn for this site.</p>\n";

std::string relationRows(const classInfo& cls, bool out, const std::string& prefix) {
    std::string rows;
    auto begin = out ? cls.toRelations_begin() : cls.fromRelations_begin();
    auto end = out ? cls.toRelations_end() : cls.fromRelations_end();
    for (auto it = begin; it != end; ++it) {
        const relationInfo& relation = **it;
        const ky::const_refPtr<classInfo> other = out ? relation.toClassInfo() : relation.fromClassInfo();
        std::vector<std::string> pairs;
        for (const auto& pair : relation.fieldRelations()) {
            std::string text = esc(utf8(pair.first->scName()));
            // A relation towards a class pairs its from-field with the
            // target's pointer field, which has no name of the host's.
            if (pair.second && pair.second->type() != ePtr) text += " = " + esc(utf8(pair.second->scName()));
            pairs.push_back(text);
        }
        rows += "<tr><td>" + esc(utf8(relation.scName())) + "</td><td>" + relationKind(relation.relationType()) +
                "</td><td>" + joined(pairs) + "</td><td>" + (other ? classLink(*other, prefix) : "") + "</td><td>" +
                esc(utf8(relation.scReverseName())) + "</td></tr>\n";
    }
    return rows;
}

std::string relationTable(const std::string& caption, const std::string& rows, const char* otherHeading) {
    if (rows.empty()) return "<p>" + caption + ": none.</p>\n";
    return "<table>\n<caption>" + caption + "</caption>\n<thead><tr><th scope=\"col\">Relation</th>"
           "<th scope=\"col\">Kind</th><th scope=\"col\">Fields</th><th scope=\"col\">" + otherHeading +
           "</th><th scope=\"col\">Reverse name</th></tr></thead>\n<tbody>\n" + rows + "</tbody>\n</table>\n";
}

std::string classPage(const classInfo& cls, const std::string& modelTitle, bool diagrams) {
    const std::string name = nameOf(cls);
    std::ostringstream out;
    out << pageStart(name + " \xE2\x80\x94 " + modelTitle, "../")
        << "<header><nav><a href=\"../index.html\">All classes</a></nav></header>\n<main>\n"
        << "<h1>" << (cls.isAbstract() ? "Abstract class " : "Class ") << "<code>" << esc(name) << "</code></h1>\n";
    if (!cls.label().empty()) out << "<p class=\"label\">" << esc(cls.label()) << "</p>\n";

    out << "<dl class=\"facts\">\n";
    auto fact = [&](const char* what, const std::string& html) {
        out << "<dt>" << what << "</dt><dd>" << (html.empty() ? "none" : html) << "</dd>\n";
    };
    std::vector<std::string> links;
    for (const classInfo* base : basesOf(cls)) links.push_back(classLink(*base, ""));
    fact("Bases", joined(links));
    links.clear();
    for (const classInfo* derived : derivedOf(cls)) links.push_back(classLink(*derived, ""));
    fact("Derived classes", joined(links));
    const std::vector<const fieldInfo*> fields = allFields(cls);
    links.clear();
    for (const fieldInfo* field : keyOf(fields)) links.push_back("<code>" + esc(utf8(field->scName())) + "</code>");
    fact("Key", joined(links));
    std::vector<ky::string> aliases;
    cls.getAliasnames(aliases);
    links.clear();
    for (const ky::string& alias : aliases) links.push_back(esc(alias));
    if (!links.empty()) fact("Aliases", joined(links));
    if (const auto own = properties(cls.userProperties(false)); !own.empty()) fact("User properties", joined(own));
    if (const auto inh = properties(cls.userProperties(true)); !inh.empty())
        fact("Inheritable user properties", joined(inh));
    out << "</dl>\n";

    out << "<section id=\"fields\">\n<h2>Fields</h2>\n";
    if (fields.empty()) {
        out << "<p>No fields.</p>\n";
    } else {
        out << "<table class=\"fields\">\n<thead><tr><th scope=\"col\">Field</th><th scope=\"col\">Type</th>"
               "<th scope=\"col\">From</th><th scope=\"col\">Semantic</th><th scope=\"col\">Unit</th>"
               "<th scope=\"col\">Marks</th><th scope=\"col\">Default</th><th scope=\"col\">Label</th>"
               "<th scope=\"col\">More</th></tr></thead>\n<tbody>\n";
        for (const fieldInfo* field : fields) {
            const ky::refPtr<classInfo> owner = field->classInfo();
            const bool inherited = owner && owner.get() != &cls;
            std::string from = inherited ? "inherited from " + classLink(*owner, "") : "own";
            if (const ky::const_refPtr<fieldInfo> source = field->sourceField()) {
                if (const ky::refPtr<classInfo> sourceClass = source->classInfo())
                    from += ", overrides " + classLink(*sourceClass, "");
            }
            const std::vector<std::string> details = detailsOf(*field);
            out << "<tr" << (inherited ? " class=\"inherited\"" : "") << "><th scope=\"row\"><code>"
                << esc(utf8(field->scName())) << "</code></th><td>" << esc(typeText(*field)) << "</td><td>" << from
                << "</td><td>" << esc(semanticText(*field)) << "</td><td>" << esc(field->unit()) << "</td><td>"
                << marksOf(*field) << "</td><td>" << esc(defaultText(*field)) << "</td><td>" << esc(field->label())
                << "</td><td>";
            if (!details.empty()) out << "<ul><li>" << joined(details, "</li><li>") << "</li></ul>";
            out << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
    }
    out << "</section>\n";

    out << "<section id=\"relations\">\n<h2>Relations</h2>\n"
        << relationTable("Out of this class", relationRows(cls, true, ""), "Target")
        << relationTable("Into this class", relationRows(cls, false, ""), "Source") << "</section>\n";

    // What the SQL library makes of the class; later facts of the database
    // (indexes, checks, foreign-key actions) join this section.
    out << "<section id=\"database\">\n<h2>Database</h2>\n";
    if (cls.isAbstract()) {
        out << "<p>An abstract class has no table; the tables of its derived classes hold its fields.</p>\n";
    } else if (!fields.empty()) {
        out << "<table>\n<caption>Column types</caption>\n<thead><tr><th scope=\"col\">Column</th>"
               "<th scope=\"col\">SQLite</th><th scope=\"col\">PostgreSQL</th></tr></thead>\n<tbody>\n";
        for (const fieldInfo* field : fields) {
            out << "<tr><th scope=\"row\"><code>" << esc(utf8(field->scName())) << "</code></th><td><code>"
                << esc(nativeType(*field, sql::eSqlite)) << "</code></td><td><code>"
                << esc(nativeType(*field, sql::ePostgresql)) << "</code></td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
    }
    out << "</section>\n";

    out << "<section id=\"diagram\">\n<h2>Neighbourhood</h2>\n"
        << (diagrams ? diagramMark : notDrawn)
        << "</section>\n"
        << pageEnd;
    return out.str();
}

// The text a row of the index is found by: name, label, aliases and field
// names, one a line (the script compares them case-blind).
std::string searchText(const classInfo& cls) {
    std::vector<std::string> parts{nameOf(cls), cls.label().toUtf8()};
    std::vector<ky::string> aliases;
    cls.getAliasnames(aliases);
    for (const ky::string& alias : aliases) parts.push_back(alias.toUtf8());
    for (const fieldInfo* field : allFields(cls)) parts.push_back(utf8(field->scName()));
    return joined(parts, "\n");
}

std::string indexPage(const modelInfo& model, const std::string& modelTitle, const std::string& diagramHtml) {
    std::ostringstream out;
    out << pageStart(modelTitle, "") << "<header><h1>" << esc(modelTitle) << "</h1></header>\n<main>\n"
        << "<form class=\"search\" action=\"index.html\" method=\"get\" role=\"search\">\n"
           "<label for=\"q\">Find classes by name, label, alias or field</label>\n"
           "<input type=\"search\" id=\"q\" name=\"q\" autocomplete=\"off\">\n"
           "<button type=\"submit\">Find</button>\n"
           "<output id=\"count\" for=\"q\" aria-live=\"polite\"></output>\n</form>\n"
        << "<table id=\"classes\">\n<caption>" << model.countClasses()
        << " classes</caption>\n<thead><tr><th scope=\"col\">Class</th><th scope=\"col\">Label</th>"
           "<th scope=\"col\">Own fields</th><th scope=\"col\">Inherited fields</th><th scope=\"col\">Key</th>"
           "<th scope=\"col\">Bases</th></tr></thead>\n<tbody>\n";
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        const classInfo& cls = **it;
        std::size_t own = 0;
        const std::vector<const fieldInfo*> fields = allFields(cls);
        for (const fieldInfo* field : fields) own += field->classInfo().get() == &cls;
        std::vector<std::string> keyNames, bases;
        for (const fieldInfo* field : keyOf(fields)) keyNames.push_back(esc(utf8(field->scName())));
        for (const classInfo* base : basesOf(cls)) bases.push_back(classLink(*base, "classes/"));
        out << "<tr data-search=\"" << esc(searchText(cls)) << "\"><th scope=\"row\">" << classLink(cls, "classes/")
            << "</th><td>" << esc(cls.label()) << "</td><td>" << own << "</td><td>" << fields.size() - own
            << "</td><td>" << joined(keyNames) << "</td><td>" << joined(bases) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n<section id=\"diagram\">\n<h2>Diagram</h2>\n" << diagramHtml << "</section>\n"
        << "<script src=\"search.js\"></script>\n" << pageEnd;
    return out.str();
}

// ---- diagrams ----

std::vector<std::string> neighbourhood(const classInfo& cls) {
    std::set<const classInfo*> seen{&cls};
    std::vector<std::string> names{nameOf(cls)};
    auto add = [&](const classInfo* other) {
        if (other && seen.insert(other).second) names.push_back(nameOf(*other));
    };
    for (auto it = cls.baseClasses_begin(); it != cls.baseClasses_end(); ++it) add((*it).get());
    for (auto it = cls.derivedClasses_begin(); it != cls.derivedClasses_end(); ++it) add((*it).get());
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it) add((*it)->toClassInfo().get());
    for (auto it = cls.fromRelations_begin(); it != cls.fromRelations_end(); ++it) add((*it)->fromClassInfo().get());
    return names;
}

std::string graphOf(const modelInfo& model, std::vector<std::string> classes, const std::string& prefix) {
    diagramOptions options;
    options.classes = std::move(classes);
    options.compact = true;
    options.linkOf = [&](const classInfo& cls) { return prefix + pageFileName(nameOf(cls)); };
    return toDot(model, options);
}

// ---- the folder ----

bool isPageName(const std::string& name) {
    if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".html") != 0) return false;
    return std::all_of(name.begin(), name.end() - 5,
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                           c == '_' || c == '-'; });
}

// Makes `dir` and its classes folder; false with `error` when `dir` holds
// files of others (and not `force`) or either is no plain folder.
bool prepare(const fs::path& dir, bool force, bool& earlier, std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(dir, ec);
    earlier = false;
    if (fs::exists(status)) {
        if (!fs::is_directory(fs::status(dir, ec))) {
            error = dir.string() + " exists and is no folder";
            return false;
        }
        earlier = fs::is_regular_file(fs::symlink_status(dir / markFile, ec));
        if (!earlier && !force && !fs::is_empty(dir, ec)) {
            error = dir.string() + " holds files that kymdl doc did not write; give --force to write into it";
            return false;
        }
    } else if (!fs::create_directories(dir, ec)) {
        error = "cannot make " + dir.string() + ": " + ec.message();
        return false;
    }
    const fs::path classes = dir / "classes";
    const fs::file_status classesStatus = fs::symlink_status(classes, ec);
    if (fs::exists(classesStatus) && !fs::is_directory(classesStatus)) {
        error = classes.string() + " exists and is no folder";
        return false;
    }
    if (!fs::exists(classesStatus) && !fs::create_directory(classes, ec)) {
        error = "cannot make " + classes.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

std::string pageFileName(const std::string& className) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : className) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
            out += static_cast<char>(c);
        } else if (c == '_') {
            out += "__";
        } else {
            out += '_';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    if (out.empty()) out = "_";
    if (out.size() > nameLimit) {
        // FNV-1a over the whole name keeps cut names apart.
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : className) hash = (hash ^ c) * 1099511628211ull;
        std::string tail = "-";
        for (int shift = 60; shift >= 0; shift -= 4) tail += hex[(hash >> shift) & 15];
        out.resize(nameLimit - tail.size());
        out += tail;
    }
    return out + ".html";
}

docResult writeSite(const modelInfo& model, const std::string& dirText, const docOptions& options) {
    docResult result;
    const fs::path dir(dirText);
    bool earlier = false;
    if (!prepare(dir, options.force, earlier, result.error)) return result;

    const std::string& modelTitle = options.title;
    std::vector<page> pages;
    std::vector<std::string> graphs;
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        const classInfo& cls = **it;
        page p{"classes/" + pageFileName(nameOf(cls)), classPage(cls, modelTitle, options.diagrams), -1, ""};
        if (options.diagrams) {
            p.diagram = static_cast<int>(graphs.size());
            p.diagramLabel = "The classes next to " + nameOf(cls);
            graphs.push_back(graphOf(model, neighbourhood(cls), ""));
        }
        pages.push_back(std::move(p));
    }
    const bool overview = options.diagrams && model.countClasses() <= overviewLimit;
    if (overview) {
        std::vector<std::string> all;
        for (auto it = model.classes_begin(); it != model.classes_end(); ++it) all.push_back(nameOf(**it));
        graphs.push_back(graphOf(model, all, "classes/"));
    }

    std::vector<std::string> svgs;
    std::string drawError;
    const bool drawn = options.diagrams && renderSvgs(graphs, svgs, drawError);
    if (options.diagrams && !drawn) result.note = "diagrams left out: " + drawError;
    const std::string noDiagram = "<p class=\"note\">No diagram: " + esc(drawError) + ".</p>\n";

    std::string indexDiagram;
    if (!options.diagrams) indexDiagram = notDrawn;
    else if (!overview)
        indexDiagram = "<p class=\"note\">The model has more than " + std::to_string(overviewLimit) +
                       " classes: the page of each class shows the classes next to it, starting from the "
                       "<a href=\"#classes\">list of classes</a>.</p>\n";
    else if (drawn) indexDiagram = inlineSvg(svgs.back(), "All classes and their links");
    else indexDiagram = noDiagram;
    for (page& p : pages) {
        if (p.diagram < 0) continue;
        const auto at = p.text.find(diagramMark);
        p.text.replace(at, diagramMark.size(),
                       drawn ? inlineSvg(svgs[static_cast<std::size_t>(p.diagram)], p.diagramLabel) : noDiagram);
    }
    pages.push_back({"index.html", indexPage(model, modelTitle, indexDiagram), -1, ""});
    pages.push_back({"style.css", assets::style, -1, ""});
    pages.push_back({"search.js", assets::script, -1, ""});
    // The mark goes first, so that a run that fails half-way leaves a
    // folder the next run takes as its own.
    pages.insert(pages.begin(), page{markFile, "kymdl doc wrote this folder.\n", -1, ""});

    // The one place that writes files.
    auto put = [&](const page& p) {
        std::vector<ky::metamodel::file::diagnostic> problems;
        if (ky::metamodel::file::writeFile((dir / p.path).string(), p.text, &problems)) return true;
        result.error = problems.empty() ? "cannot write " + (dir / p.path).string() : problems.front().text().toUtf8();
        return false;
    };
    for (const page& p : pages) {
        if (!put(p)) return result;
        ++result.files;
    }

    if (earlier) {
        std::set<std::string> current;
        for (const page& p : pages) current.insert(fs::path(p.path).filename().string());
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir / "classes", ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file(ec) && isPageName(name) && !current.count(name)) fs::remove(entry.path(), ec);
        }
    }
    result.ok = true;
    return result;
}

}  // namespace kymdl
