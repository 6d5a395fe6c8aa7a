// The columns, key and relations of a class as its table holds them under
// the concrete-table mapping: a table per non-abstract class with the fields
// it inherits and its own.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "sqlinternal.h"

namespace ky::metamodel::sql::detail {

namespace {

std::vector<ky::const_refPtr<classInfo>> sortedBases(const classInfo& cls) {
    std::vector<ky::const_refPtr<classInfo>> bases;
    for (auto it = cls.baseClasses_begin(); !(it == cls.baseClasses_end()); ++it) bases.push_back(*it);
    // The base map is ordered by interned handle; the name order is the same
    // in every run, so the DDL of a model is too.
    std::sort(bases.begin(), bases.end(), [](const auto& a, const auto& b) {
        return a->scName().string() < b->scName().string();
    });
    return bases;
}

void collectFields(const classInfo& cls, std::vector<ky::const_refPtr<fieldInfo>>& out,
                   std::vector<const classInfo*>& visited) {
    if (std::find(visited.begin(), visited.end(), &cls) != visited.end()) return;
    visited.push_back(&cls);
    for (const auto& base : sortedBases(cls)) collectFields(*base, out, visited);
    // The class's own fields have names of their own; only inherited ones
    // can stand in their place, the first of a name when bases share it.
    // They are found by name in a map, since a derived class that overrides
    // many fields of a huge base would otherwise compare every pair.
    std::unordered_map<ky::scString, std::size_t> inherited;
    if (cls.countFields() != 0) {
        inherited.reserve(out.size());
        for (std::size_t i = 0; i < out.size(); ++i) inherited.emplace(out[i]->scName(), i);
    }
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) {
        const ky::const_refPtr<fieldInfo> field(*it);
        if (!field || field->type() == ePtr) continue;
        if (const auto same = inherited.find(field->scName()); same != inherited.end()) out[same->second] = field;
        else out.push_back(field);
    }
}

void collectRelations(const classInfo& cls, std::vector<ky::const_refPtr<relationInfo>>& out,
                      std::vector<const classInfo*>& visited, std::unordered_set<const relationInfo*>& seen) {
    if (std::find(visited.begin(), visited.end(), &cls) != visited.end()) return;
    visited.push_back(&cls);
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it) {
        if (!*it) continue;
        const ky::const_refPtr<relationInfo> relation(*it);
        if (seen.insert(relation.get()).second) out.push_back(relation);
    }
    for (const auto& base : sortedBases(cls)) collectRelations(*base, out, visited, seen);
}

}  // namespace

std::vector<ky::const_refPtr<fieldInfo>> tableFields(const classInfo& cls) {
    std::vector<ky::const_refPtr<fieldInfo>> out;
    std::vector<const classInfo*> visited;
    collectFields(cls, out, visited);
    return out;
}

std::vector<ky::const_refPtr<relationInfo>> tableRelations(const classInfo& cls) {
    std::vector<ky::const_refPtr<relationInfo>> out;
    std::vector<const classInfo*> visited;
    std::unordered_set<const relationInfo*> seen;
    collectRelations(cls, out, visited, seen);
    return out;
}

ky::string fieldLabel(const fieldInfo& field) {
    ky::const_refPtr<fieldInfo> current(&field);
    for (int depth = 0; current && depth < 64; ++depth) {
        if (!current->label().empty()) return current->label();
        current = current->sourceField();
    }
    return ky::string();
}

}  // namespace ky::metamodel::sql::detail
