// The table of the codes the model-file library reports: each code once,
// with its severity, a short title and where docs/model-file.md explains it.
#include "kymdlfile.h"

namespace ky::metamodel::file {

namespace {
constexpr std::string_view loading = "model-file.md#diagnostics";
constexpr std::string_view checks = "model-file.md#model-checks";
}  // namespace

const std::vector<diagnosticCode>& codeTable() {
    static const std::vector<diagnosticCode> table{
        {L"M001", eError, L"the file cannot be read", loading},
        {L"M002", eError, L"the file or a scalar is too large", loading},
        {L"M003", eError, L"syntax error", loading},
        {L"M004", eError, L"the file is empty", loading},
        {L"M005", eError, L"a second document", loading},
        {L"M006", eError, L"collections nested too deep", loading},
        {L"M007", eError, L"a bad or too large alias", loading},
        {L"M008", eError, L"YAML syntax in a JSON file", loading},
        {L"M010", eError, L"unknown key", loading},
        {L"M011", eError, L"duplicate key", loading},
        {L"M012", eError, L"unknown type", loading},
        {L"M013", eError, L"unknown semantic", loading},
        {L"M014", eError, L"a semantic that does not fit the type", loading},
        {L"M015", eError, L"bad enumeration items", loading},
        {L"M016", eError, L"a value that does not convert", loading},
        {L"M017", eError, L"a required key is missing", loading},
        {L"M018", eError, L"a value of the wrong kind", loading},
        {L"M019", eError, L"a bad name", loading},
        {L"M020", eError, L"a class name given twice", loading},
        {L"M021", eError, L"a field name given twice", loading},
        {L"M022", eError, L"unknown or repeated base class", loading},
        {L"M023", eError, L"base classes form a cycle", loading},
        {L"M024", eError, L"an inherited field given again without overrides", loading},
        {L"M025", eError, L"a bad override", loading},
        {L"M026", eError, L"unknown class or field of a relation", loading},
        {L"M027", eError, L"unknown target of a relation", loading},
        {L"M028", eError, L"unknown relation kind", loading},
        {L"M029", eError, L"pairs that do not belong", loading},
        {L"M030", eError, L"the same relation twice", loading},
        {L"M031", eError, L"a bad copy", loading},
        {L"M032", eError, L"a key that does not belong to the entry", loading},
        {L"M040", eWarning, L"a relation semantic naming an unknown class", loading},
        {L"M090", eError, L"the metamodel refused the model", loading},
        {L"M100", eError, L"the file cannot be written", loading},
        {L"M101", eWarning, L"a value the format cannot hold is left out", loading},
        {L"M102", eWarning, L"a type without a type word is written as custom", loading},
        {L"M201", eWarning, L"a relation pairs fields of different types", checks},
        {L"M202", eWarning, L"a relation towards a class without primary key", checks},
        {L"M203", eWarning, L"an enumeration without items", checks},
        {L"M204", eWarning, L"a stored default that is no item", checks},
        {L"M205", eError, L"a stored default that does not convert", checks},
        {L"M206", eWarning, L"a unit on a field that is no quantity", checks},
        {L"M207", eWarning, L"an abstract class nothing derives from", checks},
        {L"M208", eWarning, L"names equal when folded", checks},
        {L"M209", eWarning, L"an alias hidden by a name", checks},
        {L"M210", eWarning, L"an override that changes nothing", checks},
    };
    return table;
}

}  // namespace ky::metamodel::file
