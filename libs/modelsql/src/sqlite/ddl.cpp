// What SQLite alone decides about DDL: the table names it keeps for itself
// and the column type texts its grammar takes.
#include "../ddl.h"

namespace ky::metamodel::sql::detail {

bool sqliteNameFault(const ky::string& name, bool column, nameFault& out) {
    static constexpr std::wstring_view reserved = L"sqlite_";
    if (column || name.size() < reserved.size()) return false;
    for (std::size_t i = 0; i < reserved.size(); ++i)
        if (foldAscii(name[i]) != reserved[i]) return false;
    out = {"sql.ddl.reserved-name", L"the table \"" + name + L"\" begins with \"sqlite_\", which SQLite keeps for itself"};
    return true;
}

// A type name is one or more names, then at most "(n)" or "(n, m)" with
// signed numbers; a safe custom type text holds only letters, digits,
// blanks, underscores and balanced brackets, so what is left to check is
// that brackets are only that last parenthesis.
bool sqliteTakesType(const ky::string& type) {
    if (!isSafeCustomType(type) || type.find(L'[') != ky::string::npos) return false;
    const std::size_t open = type.find(L'(');
    if (open == ky::string::npos) return true;
    const std::size_t close = type.find(L')');
    if (close + 1 != type.size() || type.find(L'(', open + 1) != ky::string::npos) return false;
    const ky::string inside = type.substr(open + 1, close - open - 1);
    return !inside.empty() && inside.find_first_not_of(L"0123456789, +-") == ky::string::npos;
}

}  // namespace ky::metamodel::sql::detail
