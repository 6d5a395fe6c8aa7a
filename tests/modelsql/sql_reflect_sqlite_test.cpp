// Reflection of SQLite databases: what a table, its columns and constraints
// become in the model, the options, and every kind of bad input answered
// with a diagnostic.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class SqliteReflect : public reflectTest {
protected:
    // Reflects a new file made by `ddl`; fails the test when no model comes back.
    ky::refPtr<modelInfo> reflect(const std::string& ddl) {
        result = sql::reflectSqliteFile(sqliteFileWith(ddl), options);
        EXPECT_TRUE(result.model) << describeAll(result.problems);
        return result.model;
    }
};

}  // namespace

// Tables become classes in creation order, columns fields in column order.
TEST_F(SqliteReflect, ModelKeepsTheCatalogueOrder) {
    ky::refPtr<modelInfo> model = reflect("CREATE TABLE b (x INTEGER); CREATE TABLE t (z INTEGER, a TEXT, m REAL);");
    ASSERT_EQ(model->countClasses(), 2u);
    EXPECT_EQ((*model->classes_begin())->scName().string(), L"b");
    ky::refPtr<classInfo> t = model->classInfo(L"t", false);
    ASSERT_EQ(t->countFields(), 3u);
    EXPECT_EQ((*t->fields_begin())->scName().string(), L"z");
    EXPECT_EQ((*(t->fields_end() - 1))->scName().string(), L"m");
}

// Only a unique constraint marks its column; a unique index stays an index.
TEST_F(SqliteReflect, SingleColumnUniqueConstraintsMakeUniqueFields) {
    reflect("CREATE TABLE t (a INTEGER UNIQUE, b INTEGER, c INTEGER, d INTEGER, UNIQUE (c, d));"
            "CREATE UNIQUE INDEX tb ON t (b);");
    EXPECT_TRUE(fieldOf(L"t", L"a")->isUnique());
    EXPECT_FALSE(fieldOf(L"t", L"b")->isUnique());
    EXPECT_FALSE(fieldOf(L"t", L"c")->isUnique());
    ky::string columns;
    EXPECT_TRUE(result.model->classInfo(L"t", false)->getUserProperty(L"sql.uniqueIndex.tb", columns, false));
    EXPECT_EQ(columns, L"b");
}

TEST_F(SqliteReflect, ForeignKeyWithoutTargetColumnsLeadsToThePrimaryKey) {
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY); CREATE TABLE c (pid INTEGER REFERENCES p);");
    const auto& pairs = (*result.model->classInfo(L"c", false)->toRelations_begin())->fieldRelations();
    EXPECT_EQ(pairs[0].second->qualifiedName(), L"p.id");
}

// The relation makes the key column its field, as every relation does; the
// key is kept beside it.
TEST_F(SqliteReflect, KeyColumnThatIsAlsoAForeignKeyKeepsBothRoles) {
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY); CREATE TABLE c (id INTEGER PRIMARY KEY REFERENCES p (id));");
    EXPECT_EQ(fieldOf(L"c", L"id")->semantic(), eSemRelation);
    EXPECT_EQ(result.model->classInfo(L"c", false)->toRelations_end() - result.model->classInfo(L"c", false)->toRelations_begin(), 1);
    ky::string key;
    EXPECT_TRUE(result.model->classInfo(L"c", false)->getUserProperty(L"sql.primaryKey", key, false));
    EXPECT_EQ(key, L"id");
}

TEST_F(SqliteReflect, DefaultsBecomeExpressionsAndLiteralValues) {
    reflect("CREATE TABLE t (a INTEGER DEFAULT 7, b TEXT DEFAULT 'it''s', c DATE DEFAULT CURRENT_DATE);");
    EXPECT_EQ(fieldOf(L"t", L"a")->defaultExpression(), L"7");
    ky::genericValue value;
    fieldOf(L"t", L"b")->getDefaultValue(value, false);
    EXPECT_EQ(value.strictRead<ky::string>(), L"it's");
    EXPECT_EQ(fieldOf(L"t", L"c")->defaultExpression(), L"CURRENT_DATE");
}

TEST_F(SqliteReflect, EnumerationCheckOfAColumnBecomesItsItems) {
    reflect("CREATE TABLE t (size TEXT NOT NULL CONSTRAINT c CHECK (\"size\" IN ('S', 'it''s')));");
    EXPECT_EQ(enumerationOf(*fieldOf(L"t", L"size")), "'S' 'it''s'");
}

TEST_F(SqliteReflect, EnumerationItemIsNamedByTheStringContent) {
    reflect("CREATE TABLE t (size TEXT CHECK (size IN ('it''s')));");
    const std::vector<enumItem>* items = nullptr;
    ASSERT_TRUE(fieldOf(L"t", L"size")->semanticAttribs().getValuePtr(L"enumItems", items));
    EXPECT_EQ(items->at(0).itemName, L"it's");
}

TEST_F(SqliteReflect, TableCheckNamingOneColumnBecomesItsItems) {
    reflect("CREATE TABLE t (n INTEGER, m TEXT, CHECK ([N] IN (-1, +2)), CHECK (length(m) > 0));");
    EXPECT_EQ(enumerationOf(*fieldOf(L"t", L"n")), "-1 2");
}

// a: more than the list; b: names another column; c: inside a literal;
// d: literals not of the type; e: in a comment; f, g: a second check names
// the column; h: nested parentheses.
TEST_F(SqliteReflect, ChecksOfAnyOtherShapeMakeNoItems) {
    reflect("CREATE TABLE t (a TEXT CHECK (a IN ('x') OR a IS NULL), b TEXT CHECK (a IN ('x')),"
            " c TEXT DEFAULT 'CHECK (c IN (''x''))', d INTEGER CHECK (d IN ('x')), e TEXT /* CHECK (e IN ('x')) */,"
            " f TEXT CHECK (f IN ('x')) CHECK (f <> ''), g TEXT CHECK (g IN ('x')), h TEXT CHECK (h IN (('x'))),"
            " CHECK (g <> a));");
    for (const wchar_t* column : {L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h"})
        EXPECT_EQ(fieldOf(L"t", column)->semantic(), eSemNone) << ky::string(column).toUtf8();
}

TEST_F(SqliteReflect, UnknownTypeBecomesCustomAndKeepsItsDeclaredText) {
    reflect("CREATE TABLE t (g GEOMETRY, h);");
    EXPECT_EQ(fieldOf(L"t", L"g")->type(), eCustom);
    EXPECT_EQ(fieldOf(L"t", L"g")->typeString().string(), L"GEOMETRY");
    ky::string declared;
    EXPECT_TRUE(fieldOf(L"t", L"g")->getUserProperty(L"sqlite.type", declared, false));
    EXPECT_EQ(declared, L"GEOMETRY");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.unknown-type"), 0);
}

TEST_F(SqliteReflect, IncludeAndExcludePatternsSelectTables) {
    options.include = {L"shop_*"};
    options.exclude = {L"*_log"};
    ky::refPtr<modelInfo> model =
        reflect("CREATE TABLE shop_item (a INT); CREATE TABLE shop_log (a INT); CREATE TABLE other (a INT);");
    EXPECT_EQ(model->countClasses(), 1u);
    EXPECT_TRUE(model->classInfo(L"shop_item", false));
}

// SQLite takes it as it takes one towards a table that does not exist.
TEST_F(SqliteReflect, ForeignKeyToAnExcludedTableKeepsItsTextInsteadOfARelation) {
    options.exclude = {L"p"};
    reflect("CREATE TABLE p (id INTEGER PRIMARY KEY); CREATE TABLE c (pid INTEGER REFERENCES p (id));");
    ky::string text;
    EXPECT_TRUE(result.model->classInfo(L"c", false)->getUserProperty(L"sqlite.foreignKey.#1", text, false));
    EXPECT_EQ(text, L"FOREIGN KEY (pid) REFERENCES p (id)");
    EXPECT_EQ(countCode(result.problems, "sql.reflect.foreign-key"), 0);
}

TEST_F(SqliteReflect, CaseSensitiveRuleKeepsNamesAsWritten) {
    options.caseSensitiveNames = true;
    ky::refPtr<modelInfo> model = reflect("CREATE TABLE \"Order\" (\"Id\" INTEGER);");
    EXPECT_TRUE(model->classInfo(L"Order", false));
    EXPECT_FALSE(model->classInfo(L"order", false));
}

TEST_F(SqliteReflect, NonAsciiNamesThatClashAfterFoldingAreAnError) {
    // SQLite folds only ASCII letters, so both tables exist; the model folds Ä to ä.
    result = sql::reflectSqliteFile(sqliteFileWith("CREATE TABLE \"Ä\" (a INT); CREATE TABLE \"ä\" (a INT);"), options);
    EXPECT_FALSE(result.model);
    ASSERT_EQ(countCode(result.problems, "sql.reflect.name-clash"), 1);
    EXPECT_EQ(result.problems[0].table, L"ä");
}

// A missing file is not created; the message of the database is kept.
TEST_F(SqliteReflect, FileThatCannotBeReadIsOneError) {
    const std::string missing = freshPath("missing");
    const std::string text = freshPath("text");
    std::ofstream(text) << "this is not a database, only some text that is long enough to fill a header page";
    const std::string locked = sqliteFileWith("CREATE TABLE t (a INT);");
    const sqliteConnection writer(locked);
    writer.run("BEGIN EXCLUSIVE");
    options.busyTimeoutMs = 0;
    const struct { std::string path; const char* code; const wchar_t* message; } cases[] = {
        {missing, "sql.open", L"unable to open"},
        {text, "sql.not-a-database", L"file is not a database"},
        {locked, "sql.locked", L"locked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        result = sql::reflectSqliteFile(c.path, options);
        EXPECT_FALSE(result.model);
        ASSERT_EQ(result.problems.size(), 1u) << describeAll(result.problems);
        EXPECT_EQ(result.problems[0].code.toUtf8(), c.code);
        EXPECT_EQ(result.problems[0].file, ky::string::fromUtf8(c.path));
        EXPECT_NE(result.problems[0].databaseMessage.find(c.message), ky::string::npos) << describeAll(result.problems);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// A FIFO would make the open wait for a writer forever.
TEST_F(SqliteReflect, AnythingButARegularFileIsRefusedUnopened) {
    const std::string fifo = freshPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string directory = freshPath("dir");
    std::filesystem::create_directory(directory);
    const std::string socketPath = freshPath("sock");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::pair<std::string, const wchar_t*> cases[] = {
        {fifo, L"a FIFO"}, {directory, L"a directory"}, {socketPath, L"a socket"}, {"/dev/null", L"a device"}};
    for (const auto& [path, kind] : cases) {
        SCOPED_TRACE(path);
        result = sql::reflectSqliteFile(path, options);
        ASSERT_EQ(result.problems.size(), 1u) << describeAll(result.problems);
        EXPECT_EQ(result.problems[0].code, L"sql.open");
        EXPECT_NE(result.problems[0].message.find(kind), ky::string::npos) << describeAll(result.problems);
    }
    close(listener);
}

TEST_F(SqliteReflect, NameIsAlwaysAFileNeverAUriOrMemory) {
    const std::string path = sqliteFileWith("CREATE TABLE t (a INT);");
    for (const std::string& name : {"file:" + path, std::string(":memory:")}) {
        result = sql::reflectSqliteFile(name, options);
        EXPECT_EQ(countCode(result.problems, "sql.open"), 1) << name;
    }
}

TEST_F(SqliteReflect, ReflectionLeavesTheFileUnchanged) {
    const std::string path = sqliteFileWith("CREATE TABLE t (a INT);");
    const auto before = std::filesystem::last_write_time(path);
    const auto size = std::filesystem::file_size(path);
    result = sql::reflectSqliteFile(path, options);
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
    EXPECT_EQ(std::filesystem::file_size(path), size);
}

TEST_F(SqliteReflect, DatabaseInMemoryIsReadThroughItsConnection) {
    const sqliteConnection connection;
    connection.run("CREATE TABLE t (a INT)");
    result = sql::reflectSqlite(connection.db, options);
    ASSERT_TRUE(result.model);
    EXPECT_TRUE(result.model->classInfo(L"t", false));
}

TEST_F(SqliteReflect, ConnectionInsideATransactionIsRefused) {
    const sqliteConnection connection;
    connection.run("BEGIN");
    result = sql::reflectSqlite(connection.db, options);
    EXPECT_EQ(countCode(result.problems, "sql.transaction"), 1);
}

namespace {

// Adds a column with a foreign key to table c through a second connection,
// once, while the reflecting connection reads the columns: a later query of
// another snapshot would find a foreign key over a column never read.
struct schemaChanger {
    std::string path;
    sqlite3* reader = nullptr;
    bool done = false;

    static int onProgress(void* self) {
        auto* changer = static_cast<schemaChanger*>(self);
        if (changer->done) return 0;
        bool readingColumns = false;
        for (sqlite3_stmt* s = sqlite3_next_stmt(changer->reader, nullptr); s; s = sqlite3_next_stmt(changer->reader, s))
            if (sqlite3_sql(s) && std::string(sqlite3_sql(s)).find("pragma_table_xinfo") != std::string::npos)
                readingColumns = true;
        if (!readingColumns) return 0;
        changer->done = true;
        sqliteConnection(changer->path).run("ALTER TABLE c ADD COLUMN late INTEGER REFERENCES p (id)");
        return 0;
    }
};

}  // namespace

// The comment keeps c's statement from being read by the text alone, so
// that its columns are asked of the pragma, where the change comes.
TEST_F(SqliteReflect, SchemaChangedDuringReflectionIsNotSeenHalfway) {
    schemaChanger changer{sqliteFileWith("PRAGMA journal_mode = WAL; CREATE TABLE p (id INTEGER PRIMARY KEY);"
                                         "CREATE TABLE c (a INTEGER /* read by the pragma */);"),
                          nullptr, false};
    const sqliteConnection connection(changer.path);
    changer.reader = connection.db;
    sqlite3_progress_handler(connection.db, 1, &schemaChanger::onProgress, &changer);
    result = sql::reflectSqlite(connection.db, options);
    ASSERT_TRUE(changer.done);
    ASSERT_TRUE(result.model);
    EXPECT_EQ(describeAll(result.problems), "");
    EXPECT_EQ(result.model->classInfo(L"c", false)->countFields(), 1u);
}
