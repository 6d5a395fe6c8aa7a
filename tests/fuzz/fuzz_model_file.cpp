// The model-file loader on arbitrary text, read once as YAML and once as
// JSON. A load must end in a model or in diagnostics, and must never reach
// the assertion handler (the loader checks first what the core would refuse):
// a report aborts, so it is a finding. A model that loads is saved, loaded
// again and saved again, and must come back equal and byte for byte the same;
// its DDL in each dialect must be sound (ddl_check.h) when the model holds
// no table facts.
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

// Whether an element holds a table fact: SQL text of its own, which may
// hold comments and quotes of the dialect (fuzz_sql_facts checks those).
bool holdsTableFacts(const ky::genericSet& properties) {
    for (const ky::scString& key : properties.keys()) {
        const ky::string& name = key.string();
        if (name.starts_with(L"sql.") || name.starts_with(L"postgresql.") || name.starts_with(L"sqlite.")) return true;
    }
    return false;
}

bool holdsTableFacts(const ky::metamodel::modelInfo& model) {
    for (auto it = model.classes_begin(); it != model.classes_end(); ++it) {
        if (!*it || holdsTableFacts((*it)->userProperties(false))) return true;
        for (auto field = (*it)->fields_begin(); field != (*it)->fields_end(); ++field)
            if (*field && holdsTableFacts((*field)->userProperties(false))) return true;
    }
    return false;
}

void checkDdl(const file::loadResult& result) {
    if (!result.model) return;
    const bool facts = holdsTableFacts(*result.model);
    for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
        sql::ddlOptions options;
        options.dialect = dialect;
        const sql::ddlResult ddl = sql::createDdl(*result.model, options);
        if (!facts && !kyfuzz::ddlFault(ddl.text).empty()) std::abort();
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
