// Class diagrams of a model: Graphviz DOT and Mermaid classDiagram text, and
// SVG or PNG drawn by Graphviz's dot program.
#pragma once

#include <kymetamodel.h>

#include <functional>
#include <string>
#include <vector>

namespace kymdl {

/// What a diagram shows.
struct diagramOptions {
    /// The classes to draw, by name (as the model looks them up); empty
    /// draws every class. Edges are drawn only between drawn classes.
    std::vector<std::string> classes;
    /// Draws each class as its name and label only, without field rows.
    bool compact = false;
    /// When set, each class node links to the address this answers for it.
    std::function<std::string(const ky::metamodel::classInfo&)> linkOf;
};

/// `text` with the characters HTML and Graphviz's HTML labels give a meaning
/// (& < > " ') as entities, and C0 control characters other than tab, line
/// feed and carriage return as U+FFFD, which no HTML parser accepts raw.
std::string htmlEscaped(const std::string& text);

/// The model as a DOT digraph: one node per class (name, label, fields with
/// their type strings, primary-key and mandatory marks), inheritance as
/// hollow-headed edges towards the base, relations as edges from the
/// from-class with their kind and name. UTF-8.
std::string toDot(const ky::metamodel::modelInfo& model, const diagramOptions& options = {});

/// The same content as a Mermaid classDiagram. UTF-8.
std::string toMermaid(const ky::metamodel::modelInfo& model, const diagramOptions& options = {});

/// A field's type as written in model files: the type string, with a
/// string's length from its type attributes ("string(40)").
std::string typeText(const ky::metamodel::fieldInfo& field);

/// Draws `dot` with Graphviz's dot program as `format` ("svg" or "png")
/// into `image`, feeding it the text through a pipe. False, with `error`
/// saying why (dot missing, dot failing; dot prints its own message on
/// standard error), when no image was drawn.
bool render(const std::string& dot, const std::string& format, std::string& image, std::string& error);

/// Draws many DOT graphs as SVG in one run of Graphviz's dot program: the
/// SVG documents in the order of `dots`. False, with `error` saying why,
/// when dot is missing or fails, or when it answers a different number of
/// documents.
bool renderSvgs(const std::vector<std::string>& dots, std::vector<std::string>& svgs, std::string& error);

}  // namespace kymdl
