// Reflection of PostgreSQL databases that a user other than the one
// reflecting controls: an owner's objects on the search path, a catalogue
// held locked by another session, passwords in the connection string, and
// the server's messages of several lines.
#include "sql_test_support.h"

using namespace ky::metamodel;
using namespace kysqltest;

namespace {

class PgReflectSafety : public reflectTest {
protected:
    void SetUp() override { KY_REQUIRE_PG(); }

    static std::string conninfoOf(const std::string& database) {
        return pgServer::conninfo() + " dbname=" + database;
    }

    // Runs `sql` in `database` as `user`; fails the test on error.
    static void runIn(const std::string& database, const std::string& user, const std::string& sql) {
        PGconn* conn = PQconnectdb((conninfoOf(database) + " user=" + user).c_str());
        ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
        PGresult* result = PQexec(conn, sql.c_str());
        EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << PQerrorMessage(conn);
        PQclear(result);
        PQfinish(conn);
    }

    // A database owned by a role without privileges, whose owner puts a
    // schema of its own before pg_catalog on the search path: operators `=`
    // on oids, names, texts and "char" and `>` on integers, a type `text`
    // with a cast from int2[] and a collation, each backed by a function
    // that raises a notice saying it ran.
    static const std::string& hostileDatabase() {
        static const std::string name = [] {
            pgServer::run("CREATE ROLE mallory LOGIN");
            pgServer::run("CREATE DATABASE mal OWNER mallory");
            runIn("mal", "mallory",
                  "CREATE SCHEMA evil;"
                  "CREATE FUNCTION evil.ran(a oid, b oid) RETURNS boolean LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN a OPERATOR(pg_catalog.=) b; END$$;"
                  "CREATE OPERATOR evil.= (LEFTARG = oid, RIGHTARG = oid, FUNCTION = evil.ran);"
                  "CREATE FUNCTION evil.ran(a name, b text) RETURNS boolean LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN a::pg_catalog.text OPERATOR(pg_catalog.=) b; END$$;"
                  "CREATE OPERATOR evil.= (LEFTARG = name, RIGHTARG = text, FUNCTION = evil.ran);"
                  "CREATE FUNCTION evil.ran(a name, b name) RETURNS boolean LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN a OPERATOR(pg_catalog.=) b; END$$;"
                  "CREATE OPERATOR evil.= (LEFTARG = name, RIGHTARG = name, FUNCTION = evil.ran);"
                  "CREATE FUNCTION evil.ran(a \"char\", b \"char\") RETURNS boolean LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN a OPERATOR(pg_catalog.=) b; END$$;"
                  "CREATE OPERATOR evil.= (LEFTARG = \"char\", RIGHTARG = \"char\", FUNCTION = evil.ran);"
                  "CREATE FUNCTION evil.more(a int, b int) RETURNS boolean LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN a OPERATOR(pg_catalog.>) b; END$$;"
                  "CREATE OPERATOR evil.> (LEFTARG = int, RIGHTARG = int, FUNCTION = evil.more);"
                  "CREATE TYPE evil.text AS ENUM ('x');"
                  "CREATE FUNCTION evil.totext(int2[]) RETURNS evil.text LANGUAGE plpgsql AS "
                  "$$BEGIN RAISE NOTICE 'evil ran as %', current_user; RETURN 'x'; END$$;"
                  "CREATE CAST (int2[] AS evil.text) WITH FUNCTION evil.totext(int2[]);"
                  "CREATE TABLE public.p (id int PRIMARY KEY);"
                  "CREATE TABLE public.c (pid int REFERENCES public.p, n int DEFAULT 3 UNIQUE);"
                  "ALTER DATABASE mal SET search_path = evil, pg_catalog, public;");
            return std::string("mal");
        }();
        return name;
    }
};

// Counts the notices a connection receives.
void countNotice(void* count, const PGresult*) { ++*static_cast<int*>(count); }

}  // namespace

TEST_F(PgReflectSafety, OwnersOperatorsAndCastsOnTheSearchPathNeverRun) {
    PGconn* conn = PQconnectdb(conninfoOf(hostileDatabase()).c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    int notices = 0;
    PQsetNoticeReceiver(conn, &countNotice, &notices);
    result = sql::reflectPostgresql(conn, options);
    PQfinish(conn);
    EXPECT_EQ(notices, 0);
    ASSERT_TRUE(result.model) << describeAll(result.problems);
    EXPECT_EQ(result.model->countClasses(), 2u);
}

// The checks an apply makes before its steps (the session, the role's
// privileges) ask the catalogue under the host's search path.
TEST_F(PgReflectSafety, ChecksBeforeAnApplyRunNoOwnersOperator) {
    PGconn* conn = PQconnectdb(conninfoOf(hostileDatabase()).c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    int notices = 0;
    PQsetNoticeReceiver(conn, &countNotice, &notices);
    sql::migration plan;
    sql::migrationStep step;
    step.kind = sql::eStepCreateTable;
    step.element = L"public.t";
    step.statements = {"CREATE TABLE public.t (id integer PRIMARY KEY)"};
    plan.steps.push_back(step);
    step.kind = sql::eStepAddColumn;
    step.element = L"c.m";
    step.statements = {"ALTER TABLE public.c ADD COLUMN m integer"};
    plan.steps.push_back(step);
    const sql::diagnostics problems = sql::applyMigration(conn, plan, sql::applyOptions{});
    PQclear(PQexec(conn, "DROP TABLE public.t; ALTER TABLE public.c DROP COLUMN m"));
    PQfinish(conn);
    EXPECT_EQ(describeAll(problems), "");
    EXPECT_EQ(notices, 0);
}

TEST_F(PgReflectSafety, HostsConnectionKeepsItsSearchPath) {
    PGconn* conn = PQconnectdb(conninfoOf(hostileDatabase()).c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    result = sql::reflectPostgresql(conn, options);
    PGresult* shown = PQexec(conn, "SHOW search_path");
    const std::string path = PQgetvalue(shown, 0, 0);
    PQclear(shown);
    PQfinish(conn);
    EXPECT_EQ(path, "evil, pg_catalog, public");
}

// Another session holds a catalogue that the column query reads.
TEST_F(PgReflectSafety, LockedCatalogueEndsInATimeout) {
    PGconn* holder = PQconnectdb(pgServer::conninfo().c_str());
    PGresult* locked = PQexec(holder, "BEGIN; LOCK TABLE pg_catalog.pg_attrdef IN ACCESS EXCLUSIVE MODE");
    ASSERT_EQ(PQresultStatus(locked), PGRES_COMMAND_OK) << PQerrorMessage(holder);
    PQclear(locked);
    options.queryTimeoutS = 1;
    result = sql::reflectPostgresqlDatabase(pgServer::conninfo(), options);
    PQclear(PQexec(holder, "ROLLBACK"));
    PQfinish(holder);
    EXPECT_FALSE(result.model);
    EXPECT_EQ(countCode(result.problems, "sql.timeout"), 1) << describeAll(result.problems);
}

TEST(ConnectionName, PasswordsAreMaskedInEachForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"postgresql://u:s3cret@/db?host=/sock", "postgresql://u:****@/db?host=/sock"},
        {"postgres://u@h:5432/db?sslmode=disable&p%61ssword=s3cret&x=1",
         "postgres://u@h:5432/db?sslmode=disable&p%61ssword=****&x=1"},
        {"postgresql://h/db?password=", "postgresql://h/db?password=****"},
        {"host=/sock password = 's3 \\' cret' dbname=db", "host=/sock password = **** dbname=db"},
        {"password=s3cret", "password=****"},
        {"dbname=password user=u", "dbname=password user=u"},
    };
    for (const auto& [conninfo, shown] : cases) EXPECT_EQ(sql::connectionDisplayName(conninfo), shown) << conninfo;
}

// libpq quotes an unreadable URI whole in its message; a missing database
// is named by the server. Neither shows the password.
TEST_F(PgReflectSafety, NoMessageShowsThePassword) {
    const std::string host = pgServer::conninfo().substr(5, pgServer::conninfo().find(' ') - 5);
    const std::string conninfos[] = {
        "postgresql://postgres:s3cret@/nosuchdb?host=" + host,
        "postgresql:///nosuchdb?user=postgres&password=s3cret&host=" + host,
        "host=" + host + " user=postgres password='s3cret' dbname=nosuchdb",
        "postgresql://postgres:s3cret@[::1",
        "postgresql://postgres:s3%zzcret@/db",
    };
    for (const std::string& conninfo : conninfos) {
        result = sql::reflectPostgresqlDatabase(conninfo, options);
        ASSERT_EQ(result.problems.size(), 1u) << conninfo;
        const std::string shown = result.problems[0].file.toUtf8() + ": " + describeAll(result.problems);
        EXPECT_EQ(shown.find("cret"), std::string::npos) << shown;
    }
}

// Each attempt and hint of libpq is a line of its message.
TEST(ConnectionMessage, MessageOfSeveralLinesIsOneLine) {
    const sql::reflectResult result =
        sql::reflectPostgresqlDatabase("host=" + freshPath("nosocket") + " user=postgres", sql::reflectOptions());
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0].databaseMessage.find(L'\n'), ky::string::npos);
    EXPECT_NE(result.problems[0].databaseMessage.find(L"; Is the server running"), ky::string::npos)
        << describeAll(result.problems);
}
