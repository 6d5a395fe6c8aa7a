#include "words.h"

namespace kymdl {

using namespace ky::metamodel;

std::string relationKind(eRelationType kind) {
    switch (kind) {
        case eAgg: return "aggregation";
        case eRevAgg: return "reverse aggregation";
        case eBiAgg: return "two-way aggregation";
        default: return "reference";
    }
}

std::string marksOf(const fieldInfo& field) {
    std::string marks;
    auto add = [&](const char* mark) { marks += marks.empty() ? mark : std::string(", ") + mark; };
    if (field.semantic() == eSemPrimkey) add("key");
    if (field.isMandatory()) add("mandatory");
    if (field.isUnique()) add("unique");
    return marks;
}

std::string semanticText(const fieldInfo& field) {
    const std::string text = field.semanticString().string().toUtf8();
    if (!text.empty() || field.semantic() == eSemNone) return text;
    return fieldInfo::semanticStringFromType(field.semantic()).string().toUtf8();
}

}  // namespace kymdl
