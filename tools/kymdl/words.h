// The words the tool's text, JSON and pages use for a field's and a
// relation's facts, so that `show`, `lookup` and `doc` say them alike.
#pragma once

#include <kymetamodel.h>

#include <string>

namespace kymdl {

/// A relation kind in words: "reference", "aggregation", "reverse
/// aggregation" or "two-way aggregation".
std::string relationKind(ky::metamodel::eRelationType kind);

/// A field's marks, comma-separated: "key", "mandatory", "unique".
std::string marksOf(const ky::metamodel::fieldInfo& field);

/// A field's semantic string as written, else the word of its semantic;
/// empty for a field without semantic.
std::string semanticText(const ky::metamodel::fieldInfo& field);

}  // namespace kymdl
