// The SQL library's speed on large schemas.
//
// Workload: N tables t0 … t(N-1) of 20 columns each: an INTEGER PRIMARY KEY
// id, a foreign key ref towards the previous table's id, two VARCHAR(40)
// columns a and b under one two-column UNIQUE constraint, and 16 columns of
// the other types (integer, bigint, double, numeric, text, date, timestamp,
// blob, four of each kind in turn).
//
//   BM_ReflectSqlite/N      reflecting a SQLite file of that schema into a
//                           model, steadily: the file is made and reflected
//                           once before timing (page cache and allocator
//                           warm), then each iteration opens the file, runs
//                           the catalogue queries and builds the model; the
//                           model's release is not timed. Target: 1,000
//                           tables ≤ 70 ms, 10,000 tables ≤ 1 s (compare the
//                           mean and median of the repetitions)
//   BM_SqliteSchemaLoad/N   what SQLite itself spends, part of the above: an
//                           open of the file and the parse of its schema
//                           (forced by preparing one statement), nothing of
//                           ours
//   BM_ReflectPostgresql/N  the same schema from a PostgreSQL server that
//                           the benchmark starts in a temporary directory
//                           (target: 1,000 tables ≤ 0.5 s); skipped when the
//                           server binaries are missing
//   BM_DdlSqlite/N          DDL of a model of N such classes (target:
//                           10,000 classes ≤ 0.2 s); the model is made before
//                           timing
//   BM_DdlGitlabSized       PostgreSQL DDL of a model the size of GitLab's
//                           reflected schema, built in code with table facts
//                           as reflection writes them (target: ≤ 0.1 s): 778
//                           classes of 10 fields (7,780), the first an int
//                           key with an identity, a BIGINT reference to the
//                           previous class with ON DELETE CASCADE, a
//                           timestamptz native type and a now() default, a
//                           nextval default on every fourth class's key with
//                           its sequence before and after the tables; per
//                           class 4 indexes (3,112: two plain, one partial,
//                           one gin), one check, one two-column unique; every
//                           fiftieth class partitioned with two partitions
//   BM_MigrateGitlabSized   createMigration between two such models that
//                           differ in 1% of their columns (target: ≤ 50 ms):
//                           in the second, every tenth class has its size
//                           column widened to BIGINT and one column added
//                           (78 + 78 of 7,780); both models are made before
//                           timing
//
// Run: build/release/bench_model_sql
#include <benchmark/benchmark.h>

#include <kymdlsql.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace ky::metamodel;

std::string schemaSql(int tables, bool pg) {
    const char* kinds[] = {"INTEGER", "BIGINT", "DOUBLE PRECISION", "NUMERIC", "TEXT", "DATE", "TIMESTAMP", pg ? "BYTEA" : "BLOB"};
    std::string sql;
    for (int t = 0; t < tables; ++t) {
        // Appended piece by piece: g++ 12 at -O3 warns wrongly on the
        // temporaries of "t" + std::to_string(t).
        sql.append("CREATE TABLE t").append(std::to_string(t)).append(" (id INTEGER PRIMARY KEY, ref INTEGER");
        if (t > 0) sql.append(" REFERENCES t").append(std::to_string(t - 1)).append(" (id)");
        sql.append(", a VARCHAR(40), b VARCHAR(40)");
        for (int c = 0; c < 16; ++c) sql.append(", c").append(std::to_string(c)).append(" ").append(kinds[c % 8]);
        sql += ", UNIQUE (a, b));\n";
    }
    return sql;
}

fs::path scratch() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "kysqlbench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

std::string sqliteFile(int tables) {
    static std::map<int, std::string> made;
    auto it = made.find(tables);
    if (it != made.end()) return it->second;
    const std::string path = (scratch() / ("schema" + std::to_string(tables) + ".sqlite")).string();
    sql::executeDdlOnSqliteFile(path, schemaSql(tables, false));
    return made[tables] = path;
}

// A server of the benchmark's own: initdb and pg_ctl start on a Unix socket
// in the scratch directory, as postgres when running as root; stopped at exit.
struct pgServer {
    std::string conninfo;
    std::string stop;
    pgServer() {
        fs::path bin;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
            if (fs::exists(entry.path() / "bin" / "initdb")) bin = entry.path() / "bin";
        if (bin.empty()) return;
        const fs::path dir = scratch() / "pg";
        fs::create_directories(dir);
        std::string as;
        if (geteuid() == 0) {
            const passwd* user = getpwnam("postgres");
            if (!user || chown(scratch().c_str(), user->pw_uid, user->pw_gid) != 0 ||
                chown(dir.c_str(), user->pw_uid, user->pw_gid) != 0)
                return;
            as = "runuser -u postgres -- ";
        }
        const std::string data = (dir / "data").string();
        if (std::system((as + (bin / "initdb").string() + " -D " + data +
                         " -A trust -U postgres -E UTF8 --locale=C --no-sync >/dev/null 2>&1").c_str()) != 0)
            return;
        const std::string options = "'-k " + dir.string() + " -c listen_addresses= -c fsync=off'";
        if (std::system((as + (bin / "pg_ctl").string() + " -D " + data + " -l " + (dir / "log").string() +
                         " -w -o " + options + " start >/dev/null 2>&1").c_str()) != 0)
            return;
        stop = as + (bin / "pg_ctl").string() + " -D " + data + " -m immediate -w stop >/dev/null 2>&1";
        conninfo = "host=" + dir.string() + " user=postgres dbname=postgres";
    }
    ~pgServer() {
        if (!stop.empty()) std::system(stop.c_str());
        std::error_code ec;
        fs::remove_all(scratch(), ec);
    }
};

pgServer& server() {
    static pgServer s;
    return s;
}

void BM_ReflectSqlite(benchmark::State& state) {
    const std::string path = sqliteFile(static_cast<int>(state.range(0)));
    sql::reflectSqliteFile(path, sql::reflectOptions());
    std::size_t classes = 0;
    for (auto _ : state) {
        std::optional<sql::reflectResult> result(sql::reflectSqliteFile(path, sql::reflectOptions()));
        classes = result->model ? result->model->countClasses() : 0;
        benchmark::DoNotOptimize(result->model);
        state.PauseTiming();
        result.reset();
        state.ResumeTiming();
    }
    state.counters["classes"] = static_cast<double>(classes);
}
BENCHMARK(BM_ReflectSqlite)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(4)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

void BM_SqliteSchemaLoad(benchmark::State& state) {
    const std::string path = sqliteFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_schema", -1, &stmt, nullptr);
        benchmark::DoNotOptimize(stmt);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_SqliteSchemaLoad)->Arg(1000)->Arg(10000)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_ReflectPostgresql(benchmark::State& state) {
    const int tables = static_cast<int>(state.range(0));
    if (server().conninfo.empty()) {
        state.SkipWithError("no PostgreSQL server binaries (or the server did not start)");
        return;
    }
    const std::string schema = "bench" + std::to_string(tables);
    static std::map<int, bool> made;
    if (!made[tables]) {
        sql::executeDdlOnPostgresql(server().conninfo,
                                    "CREATE SCHEMA " + schema + "; SET LOCAL search_path = " + schema + ";\n" + schemaSql(tables, true));
        made[tables] = true;
    }
    sql::reflectOptions options;
    options.schemas = {ky::string::fromUtf8(schema)};
    std::size_t classes = 0;
    for (auto _ : state) {
        sql::reflectResult result = sql::reflectPostgresqlDatabase(server().conninfo, options);
        classes = result.model ? result.model->countClasses() : 0;
        benchmark::DoNotOptimize(result.model);
    }
    state.counters["classes"] = static_cast<double>(classes);
}
BENCHMARK(BM_ReflectPostgresql)->Arg(1000)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_DdlSqlite(benchmark::State& state) {
    // The model of the workload, reflected once from its SQLite file.
    const sql::reflectResult source = sql::reflectSqliteFile(sqliteFile(static_cast<int>(state.range(0))), sql::reflectOptions());
    if (!source.model) {
        state.SkipWithError("the workload's model could not be made");
        return;
    }
    sql::ddlOptions options;
    std::size_t bytes = 0;
    for (auto _ : state) {
        sql::ddlResult result = sql::createDdl(*source.model, options);
        bytes = result.text.size();
        benchmark::DoNotOptimize(result.text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DdlSqlite)->Arg(10000)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void setText(const ky::refPtr<classInfo>& cls, const std::wstring& key, const std::wstring& value) {
    cls->setUserProperty(key, ky::string(value), false);
}
void setText(const ky::refPtr<fieldInfo>& field, const std::wstring& key, const std::wstring& value) {
    field->setUserProperty(key, ky::string(value), false);
}

void addGitlabSizedClass(const ky::refPtr<modelInfo>& model, int index) {
    const std::wstring name = L"table_" + std::to_wstring(index);
    const ky::refPtr<classInfo> cls = model->createClassInfo(name, false);
    const auto add = [&](const wchar_t* field, eFieldType type) {
        return cls->createFieldInfo(field, type, ky::genericSet(), L"");
    };
    const ky::refPtr<fieldInfo> id = add(L"id", eLong);
    id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
    if (index % 4 == 0) {
        const std::wstring sequence = name + L"_id_seq";
        setText(id, L"postgresql.default", L"nextval('public." + sequence + L"'::regclass)");
        setText(id, L"postgresql.before", L"CREATE SEQUENCE public." + sequence + L";\n");
        setText(id, L"postgresql.after", L"ALTER SEQUENCE public." + sequence + L" OWNED BY public." + name + L".id;\n");
    } else {
        setText(id, L"postgresql.identity", L"GENERATED BY DEFAULT AS IDENTITY");
    }
    add(L"parent_id", eLong);
    const ky::refPtr<fieldInfo> created = add(L"created_at", eTimestamp);
    created->setMandatory(true);
    setText(created, L"postgresql.type", L"timestamp with time zone");
    setText(created, L"postgresql.default", L"now()");
    for (const wchar_t* text : {L"name", L"title", L"state"}) add(text, eString);
    for (const wchar_t* number : {L"count", L"size", L"project_id"}) add(number, eInt);
    add(L"data", eBinary);
    if (index > 0) {
        cls->createRelation(L"parent_id", false, model->classInfo(L"table_" + std::to_wstring(index - 1), false), eRef,
                            L"", L"");
        setText(cls, L"sql.foreignKey.parent_id", L"ON DELETE CASCADE");
    }
    setText(cls, L"sql.index.index_" + name + L"_on_project_id", L"project_id");
    setText(cls, L"sql.index.index_" + name + L"_on_state_and_name", L"state\nname");
    setText(cls, L"postgresql.index.index_" + name + L"_on_created_at",
            L"CREATE INDEX index_" + name + L"_on_created_at ON public." + name +
                L" USING btree (created_at) WHERE (state IS NOT NULL)");
    setText(cls, L"postgresql.index.index_" + name + L"_on_title_trigram",
            L"CREATE INDEX index_" + name + L"_on_title_trigram ON public." + name +
                L" USING gin (title public.gin_trgm_ops)");
    setText(cls, L"postgresql.check.check_" + name + L"_size", L"CHECK ((size >= 0))");
    setText(cls, L"sql.unique.index_" + name + L"_on_project_and_title", L"project_id\ntitle");
    if (index % 50 == 0) {
        setText(cls, L"postgresql.options", L"PARTITION BY RANGE (created_at)");
        setText(cls, L"postgresql.after",
                L"CREATE TABLE public." + name + L"_1 PARTITION OF public." + name +
                    L" FOR VALUES FROM ('2024-01-01 00:00:00+00') TO ('2025-01-01 00:00:00+00');\n"
                    L"CREATE TABLE public." + name + L"_2 PARTITION OF public." + name +
                    L" FOR VALUES FROM ('2025-01-01 00:00:00+00') TO ('2026-01-01 00:00:00+00');\n");
    }
}

void BM_DdlGitlabSized(benchmark::State& state) {
    const ky::refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    for (int i = 0; i < 778; ++i) addGitlabSizedClass(model, i);
    sql::ddlOptions options;
    options.dialect = sql::ePostgresql;
    std::size_t statements = 0;
    for (auto _ : state) {
        sql::ddlResult result = sql::createDdl(*model, options);
        statements = result.statements.size();
        benchmark::DoNotOptimize(result.text);
    }
    state.counters["statements"] = static_cast<double>(statements);
}
BENCHMARK(BM_DdlGitlabSized)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_MigrateGitlabSized(benchmark::State& state) {
    const ky::refPtr<modelInfo> from = modelInfo::createModelInfo(false), to = modelInfo::createModelInfo(false);
    for (int i = 0; i < 778; ++i) {
        addGitlabSizedClass(from, i);
        addGitlabSizedClass(to, i);
    }
    for (int i = 0; i < 778; i += 10) {
        const ky::refPtr<classInfo> cls = to->classInfo(L"table_" + std::to_wstring(i), false);
        cls->fieldInfo(L"size", false, false)->setUserProperty(L"postgresql.type", L"bigint", false);
        cls->createFieldInfo(L"added", eString, ky::genericSet(), L"");
    }
    const sql::migrationOptions options{sql::ePostgresql, {}};
    std::size_t steps = 0;
    for (auto _ : state) {
        sql::migration result = sql::createMigration(*from, *to, options);
        steps = result.steps.size();
        benchmark::DoNotOptimize(result.steps);
    }
    state.counters["steps"] = static_cast<double>(steps);
}
BENCHMARK(BM_MigrateGitlabSized)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
