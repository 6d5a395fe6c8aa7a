// What PostgreSQL alone decides about DDL: the names it refuses or cuts,
// the column types a foreign key may pair, and the type nearest to one that
// a SQLite column was declared with.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "../ddl.h"

namespace ky::metamodel::sql::detail {

namespace {

// The longest identifier PostgreSQL keeps, in bytes of UTF-8; it cuts a
// longer one silently, so that two long names may become one.
constexpr std::size_t identifierBytes = 63;

// The columns every PostgreSQL table has already ("oid" is no longer one).
constexpr std::array<std::wstring_view, 6> systemColumns = {L"tableoid", L"xmin", L"cmin", L"xmax", L"cmax", L"ctid"};

std::size_t utf8Length(const ky::string& name) {
    std::size_t bytes = 0;
    for (wchar_t c : name) {
        const auto u = static_cast<std::uint32_t>(c);
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
    }
    return bytes;
}

// The families of column types PostgreSQL compares with one another.
enum class kind { other, boolean, integer, floating, numeric, text, datetime, time, bytes };

kind kindOf(const fieldInfo& field) {
    switch (field.type()) {
        case eBool: return kind::boolean;
        case eShort:
        case eInt:
        case eLong: return kind::integer;
        case eFloat:
        case eDouble: return field.semantic() == eSemMonetary ? kind::numeric : kind::floating;
        case eString:
        case eDirectory:
        case eFile:
        case eSearchPath: return kind::text;
        case eDate:
        case eTimestamp: return kind::datetime;
        case eTime: return kind::time;
        case eBinary: return kind::bytes;
        default: return kind::other;
    }
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

bool pgNameFault(const ky::string& name, bool column, nameFault& out) {
    const ky::string shown = L"\"" + name + L"\"";
    if (const std::size_t bytes = utf8Length(name); bytes > identifierBytes) {
        out = {"sql.ddl.name-length", L"the name " + shown + L" takes " + std::to_wstring(bytes) +
                                          L" bytes of UTF-8; PostgreSQL keeps 63 and cuts the rest"};
        return true;
    }
    if (column && std::find(systemColumns.begin(), systemColumns.end(), std::wstring_view(name)) != systemColumns.end()) {
        out = {"sql.ddl.system-column", L"the column " + shown + L" has the name of a PostgreSQL system column"};
        return true;
    }
    return false;
}

// PostgreSQL takes a foreign key when the key's index has an equality
// operator that takes both types, or the referencing type casts implicitly
// to the key's. That holds within a family (the integers; REAL and DOUBLE
// PRECISION; VARCHAR and TEXT; DATE and TIMESTAMP), and from integers to
// REAL, DOUBLE PRECISION and NUMERIC keys and from NUMERIC to REAL and DOUBLE
// PRECISION keys. Custom types are the host's and are not judged.
bool pgComparable(const fieldInfo& fromField, const fieldInfo& toField) {
    const kind from = kindOf(fromField), to = kindOf(toField);
    if (from == to || from == kind::other || to == kind::other) return true;
    if (from == kind::integer) return to == kind::floating || to == kind::numeric;
    return from == kind::numeric && to == kind::floating;
}

// SQLite's affinity rules, in its order: INT, then CHAR, CLOB or TEXT, then
// BLOB or no type, then REAL, FLOA or DOUB, else NUMERIC. A column without a
// type holds any value in SQLite; TEXT takes each one's text.
std::string pgNearestType(const ky::string& sqliteType) {
    const std::string type = foldedAscii(utf8(sqliteType));
    if (contains(type, "int")) return "BIGINT";
    if (contains(type, "char") || contains(type, "clob") || contains(type, "text") || type.empty()) return "TEXT";
    if (contains(type, "blob")) return "BYTEA";
    if (contains(type, "real") || contains(type, "floa") || contains(type, "doub")) return "DOUBLE PRECISION";
    return "NUMERIC";
}

}  // namespace ky::metamodel::sql::detail
