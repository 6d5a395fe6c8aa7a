// The model-file loader on arbitrary text, read once as YAML and once as
// JSON. A load must end in a model or in diagnostics, and must never reach
// the assertion handler (the loader checks first what the core would refuse):
// a report aborts, so it is a finding. A model that loads is saved, loaded
// again and saved again, and must come back equal and byte for byte the same;
// its DDL in each dialect must be sound (ddl_check.h).
#include <kymdlfile.h>
#include <kymdlsql.h>

#include <cstdlib>
#include <string_view>

#include "ddl_check.h"
#include "fuzz_support.h"

namespace file = ky::metamodel::file;
namespace sql = ky::metamodel::sql;

namespace {

void reportIsAFinding() {
    static const bool once = [] {
        ky::setAssertHandler([](const ky::string&) { std::abort(); });
        return true;
    }();
    (void)once;
}

void roundTrip(const file::loadResult& first, file::eFormat format) {
    if (!first.model) return;
    const std::string saved = file::saveModelText(first.model, format);
    const file::loadResult again = file::loadModelText(saved, format == file::eJson ? L"again.json" : L"again.yaml");
    if (!again.model || !file::equalModels(first.model, again.model)) std::abort();
    if (file::saveModelText(again.model, format) != saved) std::abort();
}

void checkDdl(const file::loadResult& result) {
    if (!result.model) return;
    for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
        sql::ddlOptions options;
        options.dialect = dialect;
        if (!kyfuzz::ddlFault(sql::createDdl(*result.model, options).text).empty()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reportIsAFinding();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    file::loadOptions options;
    options.maxAliasNodes = 10000;
    for (file::eFormat format : {file::eYaml, file::eJson}) {
        options.format = format;
        const file::loadResult result = file::loadModelText(text, L"fuzz", options);
        roundTrip(result, format);
        checkDdl(result);
    }
    return 0;
}
