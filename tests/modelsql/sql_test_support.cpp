// The scratch directory and the PostgreSQL server environment of the SQL
// tests.
#include "sql_test_support.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kysqltest {

namespace fs = std::filesystem;

namespace {

struct scratch {
    fs::path dir;
    scratch() {
        std::string pattern = (fs::temp_directory_path() / "kysql-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
    }
    ~scratch() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

int quiet(const std::string& command) { return std::system(command.c_str()); }

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The newest server installed under /usr/lib/postgresql/<version>/bin.
fs::path serverBinaries() {
    fs::path best;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const fs::path bin = entry.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl") && (best.empty() || bin > best)) best = bin;
    }
    return best;
}

// Whether any test of a suite whose name begins with "Pg" (after the prefix
// of a parameterised suite, "Seeds/") is going to run.
bool pgTestsSelected() {
    const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    for (int i = 0; i < unit->total_test_suite_count(); ++i) {
        const ::testing::TestSuite* suite = unit->GetTestSuite(i);
        const std::string name = suite->name();
        const std::size_t slash = name.rfind('/');
        const std::string bare = slash == std::string::npos ? name : name.substr(slash + 1);
        if (bare.rfind("Pg", 0) == 0 && suite->test_to_run_count() > 0) return true;
    }
    return false;
}

struct serverState {
    bool started = false;
    bool missing = false;
    std::string why = "the PostgreSQL server was not started";
    fs::path dir;
    fs::path bin;
    std::string asPostgres;  // "runuser -u postgres -- " when running as root
};

serverState& state() {
    static serverState s;
    return s;
}

// Starts a server of its own in a fresh directory: initdb there, then
// pg_ctl start listening on a Unix socket in that directory only. As root
// the server runs as postgres, which then owns the directory.
class pgEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!pgTestsSelected()) return;
        serverState& s = state();
        s.bin = serverBinaries();
        if (s.bin.empty()) {
            s.missing = true;
            s.why = "the PostgreSQL server binaries are missing (no /usr/lib/postgresql/*/bin/initdb); install postgresql";
            return;
        }
        s.dir = scratchDir() / "pg";
        fs::create_directories(s.dir);
        if (geteuid() == 0) {
            const passwd* user = getpwnam("postgres");
            if (!user) {
                s.missing = true;
                s.why = "running as root and there is no postgres user to run the server";
                return;
            }
            if (chown(scratchDir().c_str(), user->pw_uid, user->pw_gid) != 0 ||
                chown(s.dir.c_str(), user->pw_uid, user->pw_gid) != 0) {
                s.why = "the server directory could not be given to postgres";
                return;
            }
            s.asPostgres = "runuser -u postgres -- ";
        }
        const std::string data = (s.dir / "data").string();
        // The server writes its own log; the initdb output goes to a file of
        // this process, which the server (as postgres) need not open.
        const std::string log = (s.dir / "server.log").string();
        const std::string initLog = (scratchDir() / "initdb.log").string();
        const std::string init = s.asPostgres + shellQuoted((s.bin / "initdb").string()) + " -D " + shellQuoted(data) +
                                 " -A trust -U postgres -E UTF8 --locale=C --no-sync >" + shellQuoted(initLog) + " 2>&1";
        if (quiet(init) != 0) {
            s.why = "initdb failed; see " + initLog;
            return;
        }
        const std::string options = "-k " + s.dir.string() + " -c listen_addresses='' -c fsync=off";
        const std::string start = s.asPostgres + shellQuoted((s.bin / "pg_ctl").string()) + " -D " + shellQuoted(data) +
                                  " -l " + shellQuoted(log) + " -w -t 60 -o " + shellQuoted(options) +
                                  " start >/dev/null 2>&1";
        if (quiet(start) != 0) {
            s.why = "pg_ctl start failed; see " + log;
            return;
        }
        s.started = true;
        s.why.clear();
    }

    // Runs after the last test, passed or failed.
    void TearDown() override {
        serverState& s = state();
        if (!s.started) return;
        quiet(s.asPostgres + shellQuoted((s.bin / "pg_ctl").string()) + " -D " + shellQuoted((s.dir / "data").string()) +
              " -m immediate -w stop >/dev/null 2>&1");
        s.started = false;
    }
};

// The library reports through diagnostics only: an assertion report from the
// core during a test is a fault of the library's checks.
void failOnAssertion(const wchar_t* text) {
    ADD_FAILURE() << "the core reported an assertion: " << ky::string(text).toUtf8();
}

const bool environmentAdded = [] {
    ::testing::AddGlobalTestEnvironment(new pgEnvironment);
    ky::setAssertHandler(&failOnAssertion);
    return true;
}();

}  // namespace

const fs::path& scratchDir() {
    static scratch s;
    return s.dir;
}

std::string freshPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    return (scratchDir() / (stem + "-" + std::to_string(++counter))).string();
}

std::string sqliteFileWith(const std::string& sql) {
    const std::string path = freshPath("db") + ".sqlite";
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
    return path;
}

std::string readTestFile(const std::string& relative) {
    std::ifstream in(std::string(KY_SQL_TEST_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool pgServer::running() { return state().started; }
bool pgServer::binariesMissing() { return state().missing; }
const std::string& pgServer::why() { return state().why; }

std::string pgServer::conninfo(const std::string& schema) {
    std::string text = "host=" + state().dir.string() + " user=postgres dbname=postgres";
    if (!schema.empty()) text += " options='-c search_path=" + schema + "'";
    return text;
}

std::string pgServer::freshSchema() {
    static std::atomic<int> counter{0};
    const std::string name = "s" + std::to_string(++counter);
    run("CREATE SCHEMA " + name);
    return name;
}

void pgServer::run(const std::string& sql) {
    PGconn* conn = PQconnectdb(conninfo().c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    PGresult* result = PQexec(conn, sql.c_str());
    EXPECT_TRUE(PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK)
        << PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
}

std::string enumerationOf(const fieldInfo& field) {
    const std::vector<enumItem>* items = nullptr;
    if (field.semantic() != eSemEnum || !field.semanticAttribs().getValuePtr(L"enumItems", items)) return "";
    std::string out;
    for (const enumItem& item : *items) {
        std::string literal;
        if (!sql::literalOf(item.itemValue, field.type(), sql::eSqlite, literal)) literal = "?";
        out += (out.empty() ? "" : " ") + literal;
    }
    return out;
}

std::string pgRows(PGconn* conn, const std::string& schema, const std::string& sql) {
    PGresult* r = PQexec(conn, ("SET search_path = " + schema + "; " + sql).c_str());
    std::string out = PQresultStatus(r) == PGRES_TUPLES_OK ? "" : PQerrorMessage(conn);
    for (int row = 0; row < PQntuples(r); ++row) {
        if (row) out += ";";
        for (int c = 0; c < PQnfields(r); ++c)
            out += (c ? "|" : "") + std::string(PQgetisnull(r, row, c) ? "NULL" : PQgetvalue(r, row, c));
    }
    PQclear(r);
    return out;
}

std::string describeAll(const sql::diagnostics& problems) {
    std::string text;
    for (const auto& p : problems) text += sql::describe(p).toUtf8() + "\n";
    return text;
}

int countCode(const sql::diagnostics& problems, const std::string& code) {
    return static_cast<int>(
        std::count_if(problems.begin(), problems.end(), [&](const auto& p) { return p.code.toUtf8() == code; }));
}

}  // namespace kysqltest
