// The scratch directory, the PostgreSQL server environment and the model
// comparison of the SQL tests.
#include "sql_test_support.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
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

// ---- comparison ----

struct tableView {
    std::vector<ky::const_refPtr<fieldInfo>> fields;
    std::vector<std::string> foreignKeys;
};

void collectFields(const classInfo& cls, std::vector<ky::const_refPtr<fieldInfo>>& out) {
    for (auto it = cls.baseClasses_begin(); !(it == cls.baseClasses_end()); ++it) collectFields(**it, out);
    for (auto it = cls.fields_begin(); it != cls.fields_end(); ++it) {
        ky::const_refPtr<fieldInfo> field(*it);
        auto same = std::find_if(out.begin(), out.end(), [&](const auto& f) { return f->scName() == field->scName(); });
        if (same != out.end()) *same = field;
        else out.push_back(field);
    }
}

std::vector<std::string> keyNames(const classInfo& cls) {
    std::vector<ky::const_refPtr<fieldInfo>> fields;
    collectFields(cls, fields);
    std::vector<std::string> names;
    for (const auto& f : fields)
        if (f->semantic() == eSemPrimkey) names.push_back(f->scName().string().toUtf8());
    return names;
}

// "from,… -> target(to,…)" for each relation of the class and its bases that
// a table can hold: towards a class with a key of as many fields, or towards fields.
void collectForeignKeys(const classInfo& cls, std::vector<std::string>& out) {
    for (auto it = cls.toRelations_begin(); it != cls.toRelations_end(); ++it) {
        const auto& pairs = (*it)->fieldRelations();
        const ky::refPtr<classInfo> target = pairs[0].second->classInfo();
        if (!target || target->isAbstract()) continue;
        std::string from, to;
        std::vector<std::string> toNames;
        if (pairs.size() == 1 && pairs[0].second->type() == ePtr) toNames = keyNames(*target);
        else
            for (const auto& p : pairs) toNames.push_back(p.second->scName().string().toUtf8());
        if (toNames.size() != pairs.size()) continue;
        for (const auto& p : pairs) from.append(from.empty() ? "" : ",").append(p.first->scName().string().toUtf8());
        for (const auto& n : toNames) to.append(to.empty() ? "" : ",").append(n);
        out.push_back(from + " -> " + target->scName().string().toUtf8() + "(" + to + ")");
    }
    for (auto it = cls.baseClasses_begin(); !(it == cls.baseClasses_end()); ++it) collectForeignKeys(**it, out);
}

tableView viewOf(const classInfo& cls) {
    tableView view;
    collectFields(cls, view.fields);
    view.fields.erase(std::remove_if(view.fields.begin(), view.fields.end(),
                                     [](const auto& f) { return f->type() == ePtr; }),
                      view.fields.end());
    collectForeignKeys(cls, view.foreignKeys);
    std::sort(view.foreignKeys.begin(), view.foreignKeys.end());
    return view;
}

std::string labelOf(const fieldInfo& field) {
    ky::const_refPtr<fieldInfo> f(&field);
    while (f && f->label().empty()) f = f->sourceField();
    return f ? f->label().toUtf8() : std::string();
}

// The default a table holds: the literal of a stored default value (the
// clock-based type defaults of dates and times do not count).
std::string defaultOf(const fieldInfo& field) {
    ky::genericValue value, typeDefault;
    std::string literal, typeLiteral;
    if (!field.getDefaultValue(value, true) || !sql::literalOf(value, field.type(), sql::eSqlite, literal)) return "";
    if (fieldInfo::getDefaultFromType(field.type(), typeDefault) &&
        sql::literalOf(typeDefault, field.type(), sql::eSqlite, typeLiteral)) {
        // The clock moves between two reads of "now": equal to the second.
        const std::size_t digits = field.type() == eTime ? 9 : field.type() == eTimestamp ? 20 : std::string::npos;
        if (digits != std::string::npos) {
            if (literal.substr(0, digits) == typeLiteral.substr(0, digits)) return "";
        } else if (literal == typeLiteral) {
            return "";
        }
    }
    return literal;
}

template <class T>
std::string differs(const std::string& where, const char* attribute, const T& expected, const T& actual) {
    std::ostringstream out;
    out << where << ": " << attribute << ": expected " << expected << ", got " << actual;
    return out.str();
}

std::string compareField(const std::string& where, const fieldInfo& e, const fieldInfo& a, const compareOptions& options) {
    const bool ek = e.semantic() == eSemPrimkey, ak = a.semantic() == eSemPrimkey;
    if (e.scName() != a.scName()) return differs(where, "name", e.scName().string().toUtf8(), a.scName().string().toUtf8());
    if (e.type() != a.type()) return differs(where, "type", unsigned(e.type()), unsigned(a.type()));
    if (e.type() == eCustom && e.typeString() != a.typeString())
        return differs(where, "custom type", e.typeString().string().toUtf8(), a.typeString().string().toUtf8());
    if (sql::fieldLength(e) != sql::fieldLength(a)) return differs(where, "length", sql::fieldLength(e), sql::fieldLength(a));
    if (ek != ak) return differs(where, "primary key", ek, ak);
    if ((e.isMandatory() || ek) != (a.isMandatory() || ak)) return differs(where, "mandatory", e.isMandatory(), a.isMandatory());
    if (!ek && e.isUnique() != a.isUnique()) return differs(where, "unique", e.isUnique(), a.isUnique());
    const bool em = e.semantic() == eSemMonetary && (e.type() == eDouble || e.type() == eFloat);
    const bool am = a.semantic() == eSemMonetary;
    if (!ek && em != am) return differs(where, "monetary", em, am);
    if (defaultOf(e) != defaultOf(a)) return differs(where, "default", defaultOf(e), defaultOf(a));
    if (options.labels && labelOf(e) != labelOf(a)) return differs(where, "label", labelOf(e), labelOf(a));
    return std::string();
}

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
    EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
}

std::string firstDifference(const modelInfo& expected, const modelInfo& actual, const compareOptions& options) {
    std::size_t tables = 0;
    for (auto it = expected.classes_begin(); it != expected.classes_end(); ++it) {
        const classInfo& e = **it;
        if (e.isAbstract()) continue;
        ++tables;
        const std::string name = e.scName().string().toUtf8();
        ky::const_refPtr<classInfo> a = actual.classInfo(e.scName().string(), false);
        if (!a) return name + ": class missing";
        if (options.labels && e.label() != a->label()) return differs(name, "label", e.label().toUtf8(), a->label().toUtf8());
        const tableView ev = viewOf(e), av = viewOf(*a);
        if (ev.fields.size() != av.fields.size()) return differs(name, "field count", ev.fields.size(), av.fields.size());
        for (std::size_t i = 0; i < ev.fields.size(); ++i) {
            const std::string difference =
                compareField(name + "." + ev.fields[i]->scName().string().toUtf8(), *ev.fields[i], *av.fields[i], options);
            if (!difference.empty()) return difference;
        }
        if (ev.foreignKeys != av.foreignKeys) {
            std::string el, al;
            for (const auto& f : ev.foreignKeys) el += "[" + f + "]";
            for (const auto& f : av.foreignKeys) al += "[" + f + "]";
            return differs(name, "foreign keys", el, al);
        }
    }
    if (tables != actual.countClasses()) return differs("model", "class count", tables, actual.countClasses());
    return std::string();
}

std::string describeAll(const sql::diagnostics& problems) {
    std::string text;
    for (const auto& p : problems) text += sql::describe(p).toUtf8() + "\n";
    return text;
}

int countCode(const sql::diagnostics& problems, const std::string& code) {
    return static_cast<int>(std::count_if(problems.begin(), problems.end(), [&](const auto& p) { return p.code == code; }));
}

}  // namespace kysqltest
