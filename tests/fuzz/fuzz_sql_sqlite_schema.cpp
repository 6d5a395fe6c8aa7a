// SQLite reflection on arbitrary schemas: the input is run as SQL on a
// database in memory (SQLite refuses what it does not take), then reflected.
// Whatever SQLite accepted, the reflection answers a model or diagnostics,
// and every CHECK it carries is cut whole from its statement.
#include <kymdlsql.h>
#include <sqlite3.h>

#include "fuzz_support.h"

using namespace ky::metamodel;

namespace {

// The keyword as written (in any case), its parenthesis, the closing one.
bool startsAndEndsLikeACheck(const ky::string& text) {
    return text.size() >= 8 && ky::string(text.substr(0, 5)).lower() == L"check" && text.find(L'(') != ky::string::npos &&
           text.back() == L')';
}

void checkProperties(const classInfo& cls) {
    const ky::genericSet& own = cls.userProperties(false);
    for (const ky::scString& key : own.keys()) {
        ky::string value;
        if (key.string().compare(0, 13, L"sqlite.check.") != 0 || !cls.getUserProperty(key.string(), value, false))
            continue;
        if (!startsAndEndsLikeACheck(value)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kyfuzz::quietAssertions();
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) return 0;
    // No statement may write outside the database in memory.
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    const std::string sql(reinterpret_cast<const char*>(data), size);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (sqlite3_get_autocommit(db)) {
        const sql::reflectResult result = sql::reflectSqlite(db, sql::reflectOptions());
        if (result.model)
            for (auto it = result.model->classes_begin(); it != result.model->classes_end(); ++it) checkProperties(**it);
    }
    sqlite3_close(db);
    return 0;
}
