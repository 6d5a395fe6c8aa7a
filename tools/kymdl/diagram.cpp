#include "diagram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

extern char** environ;

namespace kymdl {

using namespace ky::metamodel;

namespace {

std::string utf8(const ky::scString& s) { return s.string().toUtf8(); }

// The classes to draw, in registration order.
std::vector<const classInfo*> selected(const modelInfo& model, const diagramOptions& options) {
    std::set<const classInfo*> wanted;
    for (const std::string& name : options.classes) {
        if (ky::const_refPtr<classInfo> cls = model.classInfo(ky::string::fromUtf8(name), false)) {
            wanted.insert(cls.get());
        }
    }
    std::vector<const classInfo*> out;
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        if (options.classes.empty() || wanted.count(it->get())) out.push_back(it->get());
    }
    return out;
}

// A DOT identifier in double quotes.
std::string dotQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The marks of a field: "PK" for a primary-key field, "mandatory".
std::string marks(const fieldInfo& field) {
    std::string out;
    if (field.semantic() == eSemPrimkey) out = "PK";
    if (field.isMandatory()) out += out.empty() ? "mandatory" : ", mandatory";
    return out.empty() ? out : " [" + out + "]";
}

// Calls `edge(from, to, relation)` for every relation between drawn classes,
// and `base(derived, base)` for every inheritance link between them.
template <class Base, class Edge>
void forEachLink(const std::vector<const classInfo*>& classes, Base&& base, Edge&& edge) {
    const std::set<const classInfo*> drawn(classes.begin(), classes.end());
    for (const classInfo* cls : classes) {
        for (auto it = cls->baseClasses_begin(); it != cls->baseClasses_end(); ++it) {
            const ky::const_refPtr<classInfo> baseClass = *it;
            if (drawn.count(baseClass.get())) base(*cls, *baseClass);
        }
        for (auto it = cls->toRelations_begin(); it != cls->toRelations_end(); ++it) {
            const ky::const_refPtr<classInfo> target = (*it)->toClassInfo();
            if (target && drawn.count(target.get())) edge(*cls, *target, **it);
        }
    }
}

// Runs `argv` and waits, its standard output going to `outputPath` when one
// is given; its exit status, or -1 when it could not start.
int run(const std::vector<std::string>& argv, std::string& error, const std::string& outputPath = "") {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outputPath.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = argv[0] + ": " + std::strerror(rc);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("waitpid: ") + std::strerror(errno);
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

}  // namespace

std::string htmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') out += "\xEF\xBF\xBD";
                else out += c;
        }
    }
    return out;
}

std::string typeText(const fieldInfo& field) {
    std::string text = utf8(field.typeString());
    int length = 0;
    if (field.typeAttribs().getValue(L"length", length) && length > 0) {
        text.append(1, '(').append(std::to_string(length)).append(1, ')');
    }
    return text;
}

std::string toDot(const modelInfo& model, const diagramOptions& options) {
    const std::vector<const classInfo*> classes = selected(model, options);
    std::ostringstream out;
    out << "digraph model {\n"
           "  graph [rankdir=BT, fontname=\"Helvetica\"];\n"
           "  node [shape=plaintext, fontname=\"Helvetica\"];\n"
           "  edge [fontname=\"Helvetica\", fontsize=10];\n";
    for (const classInfo* cls : classes) {
        const std::string name = utf8(cls->scName());
        out << "  " << dotQuoted(name) << " [label=<<TABLE BORDER=\"0\" CELLBORDER=\"1\" CELLSPACING=\"0\" "
            << "CELLPADDING=\"4\">\n    <TR><TD BGCOLOR=\"lightgrey\">"
            << (cls->isAbstract() ? "<I>" : "") << "<B>" << htmlEscaped(name) << "</B>"
            << (cls->isAbstract() ? "</I>" : "");
        if (!cls->label().empty()) out << "<BR/>" << htmlEscaped(cls->label().toUtf8());
        out << "</TD></TR>\n";
        for (auto it = cls->fields_begin(); !options.compact && it != cls->fields_end(); ++it) {
            const fieldInfo& field = **it;
            const std::string text = utf8(field.scName()) + ": " + typeText(field) + marks(field);
            out << "    <TR><TD ALIGN=\"LEFT\">"
                << (field.semantic() == eSemPrimkey ? "<U>" + htmlEscaped(text) + "</U>" : htmlEscaped(text))
                << "</TD></TR>\n";
        }
        out << "  </TABLE>>";
        if (options.linkOf)
            out << ", URL=" << dotQuoted(options.linkOf(*cls)) << ", target=\"_top\", tooltip=" << dotQuoted(name);
        out << "];\n";
    }
    forEachLink(
        classes,
        [&](const classInfo& derived, const classInfo& base) {
            out << "  " << dotQuoted(utf8(derived.scName())) << " -> " << dotQuoted(utf8(base.scName()))
                << " [arrowhead=empty];\n";
        },
        [&](const classInfo& from, const classInfo& to, const relationInfo& relation) {
            const char* ends = "arrowhead=vee";
            switch (relation.relationType()) {
                case eAgg: ends = "dir=both, arrowtail=odiamond, arrowhead=vee"; break;
                case eRevAgg: ends = "arrowhead=odiamond"; break;
                case eBiAgg: ends = "dir=both, arrowtail=odiamond, arrowhead=odiamond"; break;
                default: break;
            }
            out << "  " << dotQuoted(utf8(from.scName())) << " -> " << dotQuoted(utf8(to.scName())) << " [" << ends
                << ", style=dashed, label=" << dotQuoted(utf8(relation.scName())) << "];\n";
        });
    out << "}\n";
    return out.str();
}

namespace {

// Mermaid names classes by word characters; anything else becomes '_' and
// the real name goes into the class's label.
std::string mermaidId(const std::string& name) {
    std::string id;
    for (unsigned char c : name) id += (std::isalnum(c) || c == '_') ? static_cast<char>(c) : '_';
    return id.empty() ? "_" : id;
}

// Mermaid reads parentheses in a member as a method, so a type's length is
// written as a generic ("string~40~", shown as string<40>).
std::string mermaidType(const fieldInfo& field) {
    std::string text = typeText(field);
    if (const auto open = text.find('('); open != std::string::npos) {
        text[open] = '~';
        text.back() = '~';
    }
    return text;
}

std::string mermaidText(std::string text) {
    for (char& c : text) {
        if (c == '"' || c == '{' || c == '}' || c == '\n') c = '\'';
    }
    return text;
}

}  // namespace

std::string toMermaid(const modelInfo& model, const diagramOptions& options) {
    const std::vector<const classInfo*> classes = selected(model, options);
    std::ostringstream out;
    out << "classDiagram\n";
    for (const classInfo* cls : classes) {
        const std::string name = utf8(cls->scName());
        std::string title = cls->label().empty() ? name : name + ": " + cls->label().toUtf8();
        out << "  class " << mermaidId(name) << "[\"" << mermaidText(title) << "\"] {\n";
        if (cls->isAbstract()) out << "    <<abstract>>\n";
        for (auto it = cls->fields_begin(); it != cls->fields_end(); ++it) {
            out << "    " << mermaidType(**it) << " " << mermaidText(utf8((*it)->scName())) << marks(**it) << "\n";
        }
        out << "  }\n";
    }
    forEachLink(
        classes,
        [&](const classInfo& derived, const classInfo& base) {
            out << "  " << mermaidId(utf8(base.scName())) << " <|-- " << mermaidId(utf8(derived.scName())) << "\n";
        },
        [&](const classInfo& from, const classInfo& to, const relationInfo& relation) {
            const char* link = "-->";
            switch (relation.relationType()) {
                case eAgg: link = "o-->"; break;
                case eRevAgg: link = "--o"; break;
                case eBiAgg: link = "o--o"; break;
                default: break;
            }
            out << "  " << mermaidId(utf8(from.scName())) << " " << link << " " << mermaidId(utf8(to.scName()));
            if (!relation.scName().empty()) out << " : " << mermaidText(utf8(relation.scName()));
            out << "\n";
        });
    return out.str();
}

bool render(const std::string& dot, const std::string& format, const std::string& outputPath, std::string& error) {
    if (format != "svg" && format != "png") {
        error = "unknown image format '" + format + "' (svg or png)";
        return false;
    }
    if (!onPath("dot")) {
        error = "Graphviz's dot program is not installed (Debian package graphviz); "
                "--format dot or mermaid needs no program";
        return false;
    }
    // dot reads a file and writes beside the output; the output appears only
    // complete, by a rename.
    const std::string input = outputPath + ".dot.tmp";
    const std::string partial = outputPath + ".tmp";
    {
        std::ofstream file(input, std::ios::binary);
        file << dot;
        if (!file.flush()) {
            error = "cannot write " + input + ": " + std::strerror(errno);
            std::remove(input.c_str());
            return false;
        }
    }
    const int status = run({"dot", "-T" + format, "-o", partial, input}, error);
    std::remove(input.c_str());
    if (status != 0) {
        if (status > 0) error = "dot failed with exit status " + std::to_string(status);
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), outputPath.c_str()) != 0) {
        error = "cannot write " + outputPath + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

bool renderSvgs(const std::vector<std::string>& dots, std::vector<std::string>& svgs, std::string& error) {
    svgs.clear();
    if (dots.empty()) return true;
    if (!onPath("dot")) {
        error = "Graphviz's dot program is not installed (Debian package graphviz)";
        return false;
    }
    // dot reads graph after graph from one input and writes each SVG document
    // after the one before; every document starts with its
    // XML declaration, which no escaped label text can hold.
    std::error_code ec;
    std::string dir = (std::filesystem::temp_directory_path(ec) / "kymdl-dot-XXXXXX").string();
    if (ec || !mkdtemp(dir.data())) {
        error = std::string("cannot make a temporary folder: ") + std::strerror(errno);
        return false;
    }
    const std::string input = dir + "/graphs.dot";
    const std::string output = dir + "/graphs.svg";
    bool done = false;
    {
        std::ofstream file(input, std::ios::binary);
        for (const std::string& dot : dots) file << dot;
        if (!file.flush()) error = "cannot write " + input + ": " + std::strerror(errno);
        else done = true;
    }
    if (done) {
        // With -o dot writes only the first graph there; standard output
        // takes them all.
        const int status = run({"dot", "-Tsvg", input}, error, output);
        if (status > 0) error = "dot failed with exit status " + std::to_string(status);
        done = status == 0;
    }
    if (done) {
        std::ifstream file(output, std::ios::binary);
        const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string start = "<?xml";
        for (auto at = all.find(start); at != std::string::npos;) {
            const auto next = all.find(start, at + start.size());
            svgs.push_back(all.substr(at, next == std::string::npos ? std::string::npos : next - at));
            at = next;
        }
        done = svgs.size() == dots.size();
        if (!done) error = "dot drew " + std::to_string(svgs.size()) + " of " + std::to_string(dots.size()) + " graphs";
    }
    std::remove(input.c_str());
    std::remove(output.c_str());
    rmdir(dir.c_str());
    if (!done) svgs.clear();
    return done;
}

}  // namespace kymdl
