// The tool run as a process on the cases under tests/kymdl/cases: each case
// is a directory holding `args` (one argument per line), and the expected
// `stdout`, `stderr` and `status`. The tool runs in the source tree, so the
// cases name files by paths relative to it; @OUT@ in an argument is a fresh
// directory for files the case writes. A case may give the tool's standard
// input in `stdin` (else it reads /dev/null) and environment variables in `env`.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path sourceDir = KY_SOURCE_DIR;
const fs::path casesDir = sourceDir / "tests/kymdl/cases";

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool with `args` and `input` as its standard input, its
// environment this process's with the NAME=VALUE entries of `extraEnv` added.
outcome runTool(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                const fs::path& input, const fs::path& scratch) {
    const fs::path outPath = scratch / "stdout.txt";
    const fs::path errPath = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, sourceDir.c_str());
    std::vector<std::string> argv{KY_KYMDL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    std::vector<char*> env;
    for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
    for (const std::string& entry : extraEnv) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    outcome result;
    pid_t pid = 0;
    if (posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), env.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readAll(outPath);
    result.err = readAll(errPath);
    return result;
}

std::vector<std::string> caseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(casesDir)) {
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class ToolCase : public ::testing::TestWithParam<std::string> {};

TEST_P(ToolCase, GivesTheExpectedOutputErrorsAndStatus) {
    const fs::path dir = casesDir / GetParam();
    const fs::path scratch = fs::temp_directory_path() / ("kymdl_case_" + std::to_string(getpid()) + "_" + GetParam());
    fs::remove_all(scratch);
    fs::create_directories(scratch / "out");
    std::vector<std::string> args;
    std::istringstream lines(readAll(dir / "args"));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) args.push_back(replaced(line, "@OUT@", (scratch / "out").string()));
    }
    // A case may set environment variables in `env`, one NAME=VALUE a line.
    std::vector<std::string> env;
    std::istringstream envLines(fs::exists(dir / "env") ? readAll(dir / "env") : std::string());
    for (std::string line; std::getline(envLines, line);) {
        if (!line.empty()) env.push_back(line);
    }
    const fs::path input = fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null");
    const outcome result = runTool(args, env, input, scratch);
    const std::string scratchText = (scratch / "out").string();
    EXPECT_EQ(replaced(result.out, scratchText, "@OUT@"), readAll(dir / "stdout"));
    EXPECT_EQ(replaced(result.err, scratchText, "@OUT@"), readAll(dir / "stderr"));
    EXPECT_EQ(result.status, std::stoi(readAll(dir / "status")));
    // A case that writes a file names what it must hold in `written`.
    if (fs::exists(dir / "written")) {
        std::istringstream expected(readAll(dir / "written"));
        for (std::string line; std::getline(expected, line);) {
            const auto space = line.find(' ');
            ASSERT_NE(space, std::string::npos) << line;
            EXPECT_EQ(readAll(scratch / "out" / line.substr(0, space)), readAll(dir / line.substr(space + 1)));
        }
    }
    fs::remove_all(scratch);
}

// What the tool prints on standard output for `args`.
std::string toolOutput(const std::vector<std::string>& args) {
    const fs::path scratch = fs::temp_directory_path() / ("kymdl_output_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string out = runTool(args, {}, "/dev/null", scratch).out;
    fs::remove_all(scratch);
    return out;
}

// Customer.name overrides Party.name, a string(80): every command that
// names the field's type gives it the length of the field it stands for.
class OverridingStringField : public ::testing::Test {
protected:
    const std::string model = "examples/models/shop.yaml";
};

TEST_F(OverridingStringField, ShowGivesTheSourcesLength) {
    const std::string out = toolOutput({"show", model, "Customer"});
    const auto line = out.find("\n  name ");
    ASSERT_NE(line, std::string::npos) << out;
    const std::string row = out.substr(line, out.find('\n', line + 1) - line);
    EXPECT_NE(row.find(" string(80) "), std::string::npos) << row;
}

TEST_F(OverridingStringField, DiagramGivesTheSourcesLength) {
    const std::string out = toolOutput({"diagram", "--format", "dot", "--classes", "Customer", model});
    EXPECT_NE(out.find(">name: string(80)<"), std::string::npos) << out;
}

TEST_F(OverridingStringField, DdlGivesTheSourcesLength) {
    const std::string out = toolOutput({"ddl", "--dialect", "sqlite", model});
    const auto table = out.find("CREATE TABLE customer (");
    ASSERT_NE(table, std::string::npos) << out;
    const std::string statement = out.substr(table, out.find(");", table) - table);
    EXPECT_NE(statement.find("\n    name VARCHAR(80),"), std::string::npos) << statement;
}

// reflect on SQLite files made for each test: what it writes loads and gives
// DDL, and after an error it writes nothing.
class Reflect : public ::testing::Test {
protected:
    void SetUp() override {
        mDir = fs::temp_directory_path() / ("kymdl_reflect_" + std::to_string(getpid()));
        fs::remove_all(mDir);
        fs::create_directories(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    // A SQLite file `name` in the scratch folder made by `sql`.
    std::string database(const std::string& name, const char* sql) {
        const std::string path = (mDir / name).string();
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
        return path;
    }
    std::string file(const std::string& name) const { return (mDir / name).string(); }
    outcome tool(const std::vector<std::string>& args) const { return runTool(args, {}, "/dev/null", mDir); }

    fs::path mDir;
};

TEST_F(Reflect, TypelessColumnsGiveAFileThatEveryDialectsDdlTakes) {
    const std::string db =
        database("typeless.db", "CREATE TABLE settings (key PRIMARY KEY, value, updated_at);"
                                "CREATE TABLE log (id INTEGER PRIMARY KEY, message, payload BLOB);");
    const std::string model = file("typeless.yaml");
    const outcome reflected = tool({"reflect", "sqlite:" + db, "-o", model});
    ASSERT_EQ(reflected.status, 0) << reflected.err;
    const outcome sqlite = tool({"ddl", model, "--dialect", "sqlite"});
    EXPECT_EQ(sqlite.status, 0) << sqlite.err;
    const outcome postgresql = tool({"ddl", model, "--dialect", "postgresql"});
    EXPECT_EQ(postgresql.status, 0) << postgresql.err;
}

TEST_F(Reflect, EndsWithTheSummaryOfWhatWasRead) {
    const std::string db = database("two.db", "CREATE TABLE a (id INTEGER PRIMARY KEY, name TEXT);"
                                              "CREATE TABLE b (id INTEGER PRIMARY KEY, a_id INTEGER REFERENCES a (id));");
    const outcome result = tool({"reflect", "sqlite:" + db, "-o", file("two.yaml")});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string lastLine = result.err.substr(result.err.rfind('\n', result.err.size() - 2) + 1);
    EXPECT_EQ(lastLine.rfind("kymdl: read 2 tables, 4 columns, 2 primary keys, 1 foreign key, ", 0), 0u) << result.err;
}

TEST_F(Reflect, QuietLeavesTheSummaryOut) {
    const std::string db = database("one.db", "CREATE TABLE a (id INTEGER PRIMARY KEY);");
    const outcome result = tool({"-q", "reflect", "sqlite:" + db, "-o", file("one.yaml")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
}

TEST_F(Reflect, AnErrorLeavesNoFileBehind) {
    std::ofstream(file("text.db")) << "not a database, only text\n";
    const outcome result = tool({"reflect", "sqlite:" + file("text.db"), "-o", file("model.yaml")});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(fs::exists(file("model.yaml")));
}

TEST_F(Reflect, AnErrorKeepsTheFileThatWasThere) {
    std::ofstream(file("text.db")) << "not a database, only text\n";
    std::ofstream(file("model.yaml")) << "caseSensitiveNames: false\n";
    const outcome result = tool({"reflect", "sqlite:" + file("text.db"), "-o", file("model.yaml")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(readAll(file("model.yaml")), "caseSensitiveNames: false\n");
}

// --include, --exclude and --schema take one value each time they are
// given: the database after them is no second pattern.
TEST_F(Reflect, RepeatedOptionsBeforeTheDatabaseTakeOneValueEach) {
    const std::string db = database("three.db", "CREATE TABLE a (id INTEGER PRIMARY KEY);"
                                                "CREATE TABLE b (id INTEGER PRIMARY KEY);"
                                                "CREATE TABLE c (id INTEGER PRIMARY KEY);");
    const outcome result =
        tool({"reflect", "--include", "a", "--include", "b", "--schema", "main", "sqlite:" + db, "-o", file("m.yaml")});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string model = readAll(file("m.yaml"));
    EXPECT_NE(model.find("name: \"b\""), std::string::npos) << model;
    EXPECT_EQ(model.find("name: \"c\""), std::string::npos) << model;
}

TEST_F(Reflect, ADatabaseLockedByAnotherConnectionLeavesNoFileBehind) {
    const std::string db = database("locked.db", "CREATE TABLE a (id INTEGER PRIMARY KEY);");
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const outcome result = tool({"reflect", "sqlite:" + db, "--timeout", "1", "-o", file("model.yaml")});
    sqlite3_close(holder);
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(fs::exists(file("model.yaml")));
}

// diff and apply between SQLite files and the model reflected from one.
class Migrate : public Reflect {
protected:
    void SetUp() override {
        Reflect::SetUp();
        old = database("old.db", "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, gone TEXT);"
                                 "INSERT INTO t VALUES (1, 'one', 'x'), (2, 'two', NULL);");
        const std::string newer = database("new.db", "CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT);"
                                                     "CREATE TABLE u (id INTEGER PRIMARY KEY, t_id INTEGER REFERENCES t (id));");
        model = file("new.yaml");
        ASSERT_EQ(tool({"reflect", "-q", "sqlite:" + newer, "-o", model}).status, 0);
    }

    std::string schemaOf(const std::string& path) const {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        std::string text;
        sqlite3_exec(db, "SELECT sql FROM sqlite_schema ORDER BY name", [](void* out, int, char** row, char**) {
            *static_cast<std::string*>(out) += std::string(row[0] ? row[0] : "") + "\n";
            return 0;
        }, &text, nullptr);
        sqlite3_close(db);
        return text;
    }

    std::string old;
    std::string model;
};

TEST_F(Migrate, DiffTextGivesAStepALineAndMarksTheDestructiveOnes) {
    const outcome result = tool({"diff", "sqlite:" + old, model, "--format", "text"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\n  create table u"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.rfind("! ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("(destructive)\n"), std::string::npos) << result.out;
}

TEST_F(Migrate, DiffJsonNamesEachStepsKindElementAndStatements) {
    const outcome result = tool({"diff", "sqlite:" + old, model, "--format", "json"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("\"kind\": \"create table\",\n      \"element\": \"u\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"destructive\": true"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"statements\": [\n        \"CREATE TABLE u"), std::string::npos) << result.out;
}

TEST_F(Migrate, DiffExitCodeTellsADifferenceFromNone) {
    EXPECT_EQ(tool({"diff", "--exit-code", "sqlite:" + old, model}).status, 1);
    EXPECT_EQ(tool({"diff", "--exit-code", "--dialect", "sqlite", model, model}).status, 0);
    EXPECT_EQ(tool({"diff", model, model}).status, 2);
    EXPECT_EQ(tool({"diff", "--dialect", "sqlite", model, model, "--rename", "t"}).status, 2);
}

TEST_F(Migrate, DiffWritesTheOutputFileWhole) {
    const outcome result = tool({"diff", "sqlite:" + old, model, "-o", file("plan.sql")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_NE(readAll(file("plan.sql")).find("CREATE TABLE u"), std::string::npos);
}

TEST_F(Migrate, ApplyRefusesADestructivePlanBeforeAnythingRuns) {
    const std::string before = schemaOf(old);
    const outcome result = tool({"apply", "sqlite:" + old, model});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("[sql.apply.destructive]"), std::string::npos) << result.err;
    EXPECT_EQ(schemaOf(old), before);
}

TEST_F(Migrate, ApplyDryRunPrintsThePlanAndRunsNothing) {
    const std::string before = schemaOf(old);
    const outcome result = tool({"apply", "--dry-run", "--allow-destructive", "sqlite:" + old, model});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("  create table u\n"), std::string::npos) << result.out;
    EXPECT_EQ(schemaOf(old), before);
}

TEST_F(Migrate, ApplyDryRunSaysADestructivePlanNeedsItsFlag) {
    const outcome result = tool({"apply", "--dry-run", "sqlite:" + old, model});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("kymdl: the plan runs only with --allow-destructive\n"), std::string::npos) << result.err;
}

TEST_F(Migrate, ApplyMigratesAndASecondDiffFindsNothing) {
    const outcome result = tool({"apply", "--allow-destructive", "sqlite:" + old, model});
    EXPECT_EQ(result.status, 0) << result.err;
    const outcome again = tool({"diff", "--exit-code", "sqlite:" + old, model});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(schemaOf(old).find("CREATE TABLE u"), std::string::npos);
}

TEST_F(Migrate, ApplyWaitingLongerThanItsTimeoutForALockChangesNothing) {
    const std::string before = schemaOf(old);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const outcome result = tool({"apply", "--allow-destructive", "--timeout", "1", "sqlite:" + old, model});
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("[sql.timeout]"), std::string::npos) << result.err;
    EXPECT_EQ(schemaOf(old), before);
}

TEST_F(Migrate, DiffOfModelsThatDisagreeOnCaseFoldingIsRefused) {
    std::string text = readAll(model);
    const std::size_t at = text.find("caseSensitiveNames: false");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, std::string("caseSensitiveNames: false").size(), "caseSensitiveNames: true");
    std::ofstream(file("sensitive.yaml"), std::ios::binary) << text;
    const outcome result = tool({"diff", "--dialect", "sqlite", model, file("sensitive.yaml")});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("[sql.migrate.case-folding]"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST_F(Migrate, ApplyRefusesARenameNamingNothingBeforeAnythingRuns) {
    const std::string before = schemaOf(old);
    const outcome result = tool({"apply", "--allow-destructive", "--rename", "nothing=u", "sqlite:" + old, model});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("[sql.migrate.rename]"), std::string::npos) << result.err;
    EXPECT_EQ(schemaOf(old), before);
}

TEST_F(Migrate, ApplyNeedsADatabase) {
    EXPECT_EQ(tool({"apply", model, model}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolCase, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
