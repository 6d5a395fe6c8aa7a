// The attribute keys of the metamodel's vocabulary: the keys under which a
// field's type and semantic attribute sets keep what the library and its
// companions read and write. Constant texts, safe from every thread.
#pragma once

namespace ky::metamodel {

/// The keys of a field's type and semantic attribute sets, spelt once.
namespace keys {

/// Type attribute: the length of a string field (an int), as "string(40)"
/// gives it; read by fieldInfo::stringLength.
inline constexpr const wchar_t* length = L"length";
/// Semantic attribute: the items of an enumeration or bit set (a
/// std::vector of enumItem), which setSemantic requires for eSemEnum and eSemBits.
inline constexpr const wchar_t* enumItems = L"enumItems";
/// Semantic attribute: the class names of a relation semantic (a
/// std::vector of ky::string), written by fieldInfo::parseSemantics.
inline constexpr const wchar_t* referencedClasses = L"referencedClasses";
/// Semantic attribute: the text of a custom semantic, written by
/// fieldInfo::parseSemantics and read by setSemantic when its text is empty.
inline constexpr const wchar_t* customSemantic = L"custom_semantic";

}  // namespace keys

}  // namespace ky::metamodel
