#include "diagram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

// Feeds what is left of `input` to `fd` and reads what `out` offers into
// `output`, as far as each goes without waiting; false once `out` ends or
// fails. The input side is a socket so that a program that stops reading
// gives EPIPE rather than SIGPIPE; its end is closed when all is sent.
bool exchange(int& fd, std::string_view& input, int out, std::string& output, int& error) {
    pollfd fds[2] = {{out, POLLIN, 0}, {fd, POLLOUT, 0}};
    if (::poll(fds, fd >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) return true;
        error = errno;
        return false;
    }
    if (fd >= 0 && fds[1].revents) {
        const ssize_t sent = ::send(fd, input.data(), std::min<std::size_t>(input.size(), 1 << 16), MSG_NOSIGNAL);
        if (sent > 0) input.remove_prefix(static_cast<std::size_t>(sent));
        if (input.empty() || (sent < 0 && errno != EINTR && errno != EAGAIN)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (!fds[0].revents) return true;
    char buffer[1 << 16];
    const ssize_t got = ::read(out, buffer, sizeof buffer);
    if (got > 0) {
        output.append(buffer, static_cast<std::size_t>(got));
    } else if (got < 0 && errno != EINTR) {
        error = errno;
    }
    return got > 0 || (got < 0 && errno == EINTR);
}

int waitFor(pid_t pid, const std::string& program, std::string& error) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("waitpid: ") + std::strerror(errno);
            return -1;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    error = program + " ended by signal " + std::to_string(WTERMSIG(status));
    return -1;
}

// Runs `argv` with `input` on its standard input and what it prints on
// standard output in `output`; its standard error is the tool's. Its exit
// status, or -1 with `error` when it could not be started or read.
int runPiped(const std::vector<std::string>& argv, std::string_view input, std::string& output, std::string& error) {
    int in[2];
    int out[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) {
        error = argv[0] + ": " + std::strerror(errno);
        return -1;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error = argv[0] + ": " + std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // The tool ignores SIGPIPE for itself; the program gets the default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[1]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[0]);
        ::close(out[0]);
        error = argv[0] + ": " + std::strerror(rc);
        return -1;
    }
    int feed = in[0];
    int readError = 0;
    ::fcntl(feed, F_SETFL, O_NONBLOCK);
    while (exchange(feed, input, out[0], output, readError)) {
    }
    if (feed >= 0) ::close(feed);
    ::close(out[0]);
    const int status = waitFor(pid, argv[0], error);
    if (readError && status >= 0) {
        error = argv[0] + ": " + std::strerror(readError);
        return -1;
    }
    return status;
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
    // The length of an overriding field is its source's, as in the DDL.
    if (const unsigned long length = field.stringLength(); length > 0)
        text.append(1, '(').append(std::to_string(length)).append(1, ')');
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

// Words Mermaid's class diagrams read as keywords (compared without case):
// a class id spelled like one is taken for the keyword.
bool isMermaidKeyword(const std::string& id) {
    static const std::set<std::string> keywords{
        "accdescr", "acctitle", "bt", "call", "callback", "class", "classdef", "classdiagram",
        "click", "cssclass", "default", "direction", "end", "for", "graph", "href", "lr", "link",
        "namespace", "note", "of", "rl", "style", "tb", "td"};
    std::string lowered;
    for (unsigned char c : id) lowered += static_cast<char>(std::tolower(c));
    return keywords.count(lowered) != 0;
}

// The Mermaid ids of the drawn classes. Mermaid names classes by ASCII word
// characters, so anything else becomes '_' and the real name goes into the
// class's label; an id that would be a keyword, start with a digit or repeat
// an id already given (a-b and a_b) gets a suffix, so every class keeps a box
// of its own.
std::map<const classInfo*, std::string> mermaidIds(const std::vector<const classInfo*>& classes) {
    std::map<const classInfo*, std::string> ids;
    std::set<std::string> taken;
    for (const classInfo* cls : classes) {
        std::string id;
        for (unsigned char c : utf8(cls->scName()))
            id += c < 0x80 && (std::isalnum(c) || c == '_') ? static_cast<char>(c) : '_';
        if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0]))) id = "_" + id;
        if (isMermaidKeyword(id)) id += "_";
        std::string unique = id;
        for (int n = 2; !taken.insert(unique).second; ++n) unique = id + "_" + std::to_string(n);
        ids.emplace(cls, unique);
    }
    return ids;
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
    const std::map<const classInfo*, std::string> ids = mermaidIds(classes);
    std::ostringstream out;
    out << "classDiagram\n";
    for (const classInfo* cls : classes) {
        const std::string name = utf8(cls->scName());
        std::string title = cls->label().empty() ? name : name + ": " + cls->label().toUtf8();
        out << "  class " << ids.at(cls) << "[\"" << mermaidText(title) << "\"] {\n";
        if (cls->isAbstract()) out << "    <<abstract>>\n";
        for (auto it = cls->fields_begin(); it != cls->fields_end(); ++it) {
            out << "    " << mermaidType(**it) << " " << mermaidText(utf8((*it)->scName())) << marks(**it) << "\n";
        }
        out << "  }\n";
    }
    forEachLink(
        classes,
        [&](const classInfo& derived, const classInfo& base) {
            out << "  " << ids.at(&base) << " <|-- " << ids.at(&derived) << "\n";
        },
        [&](const classInfo& from, const classInfo& to, const relationInfo& relation) {
            const char* link = "-->";
            switch (relation.relationType()) {
                case eAgg: link = "o-->"; break;
                case eRevAgg: link = "--o"; break;
                case eBiAgg: link = "o--o"; break;
                default: break;
            }
            out << "  " << ids.at(&from) << " " << link << " " << ids.at(&to);
            if (!relation.scName().empty()) out << " : " << mermaidText(utf8(relation.scName()));
            out << "\n";
        });
    return out.str();
}

bool render(const std::string& dot, const std::string& format, std::string& image, std::string& error) {
    if (format != "svg" && format != "png") {
        error = "unknown image format '" + format + "' (svg or png)";
        return false;
    }
    if (!onPath("dot")) {
        error = "Graphviz's dot program is not installed (Debian package graphviz); "
                "--format dot or mermaid needs no program";
        return false;
    }
    image.clear();
    const int status = runPiped({"dot", "-T" + format}, dot, image, error);
    if (status > 0) error = "dot failed with exit status " + std::to_string(status);
    return status == 0;
}

bool renderSvgs(const std::vector<std::string>& dots, std::vector<std::string>& svgs, std::string& error) {
    svgs.clear();
    if (dots.empty()) return true;
    if (!onPath("dot")) {
        error = "Graphviz's dot program is not installed (Debian package graphviz)";
        return false;
    }
    // dot reads graph after graph from one input and writes each SVG document
    // after the one before; every document starts with its XML declaration,
    // which no escaped label text can hold.
    std::string input;
    for (const std::string& dot : dots) input += dot;
    std::string all;
    const int status = runPiped({"dot", "-Tsvg"}, input, all, error);
    if (status > 0) error = "dot failed with exit status " + std::to_string(status);
    if (status != 0) return false;
    const std::string start = "<?xml";
    for (auto at = all.find(start); at != std::string::npos;) {
        const auto next = all.find(start, at + start.size());
        svgs.push_back(all.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    if (svgs.size() == dots.size()) return true;
    error = "dot drew " + std::to_string(svgs.size()) + " of " + std::to_string(dots.size()) + " graphs";
    svgs.clear();
    return false;
}

}  // namespace kymdl
