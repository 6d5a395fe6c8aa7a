#!/usr/bin/env python3
"""Round trip of the real schemas in ../shared/schemas, run by hand:
database -> kymdl reflect -> model file -> kymdl ddl -> fresh database, then
the share of the original's facts that the copy holds, each fact compared as
text from the system catalogues.

  skeleton: tables, columns, NOT NULL, primary-key columns, foreign-key pairs
  all:      + column types, defaults, FK actions, unique sets, indexes,
            checks, views

*_sqlite.sql files go through SQLite, every other .sql file through
PostgreSQL on a server this script starts in a temporary folder (initdb,
pg_ctl, Unix socket only; as the postgres user when run as root). Every
schema of a PostgreSQL database counts, also those reflection does not read.
Usage: schema-roundtrip.py KYMDL
"""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMAS = os.path.join(HERE, "..", "..", "shared", "schemas")


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


# ---- SQLite ------------------------------------------------------------------

def sqlite_facts(path):
    db = sqlite3.connect(path)
    skeleton, extra = set(), set()
    tables = [r[0] for r in db.execute(
        "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'")]
    for t in tables:
        skeleton.add(("table", t))
        pk = []
        for cid, name, typ, notnull, dflt, pkpos, hidden in db.execute('PRAGMA table_xinfo("%s")' % t.replace('"', '""')):
            skeleton.add(("column", t, name))
            if notnull:
                skeleton.add(("notnull", t, name))
            if pkpos:
                pk.append((pkpos, name))
            extra.add(("type", t, name, (typ or "").upper()))
            if dflt is not None:
                extra.add(("default", t, name, dflt))
        if pk:
            skeleton.add(("pk", t, tuple(n for _, n in sorted(pk))))
        for row in db.execute('PRAGMA foreign_key_list("%s")' % t.replace('"', '""')):
            _, _, target, frm, to, on_update, on_delete, _ = row
            skeleton.add(("fk", t, frm, target, to))
            extra.add(("fkaction", t, frm, target, on_update, on_delete))
        for row in db.execute('PRAGMA index_list("%s")' % t.replace('"', '""')):
            _, name, unique, origin, partial = row
            if origin == "pk":
                continue
            cols = tuple(r[2] for r in db.execute('PRAGMA index_info("%s")' % name.replace('"', '""')))
            extra.add(("unique" if unique else "index", t, cols))
    for (sql,) in db.execute("SELECT sql FROM sqlite_master WHERE type='table' AND sql LIKE '%CHECK%'"):
        extra.add(("checks-in", sql.count("CHECK")))
    for (name,) in db.execute("SELECT name FROM sqlite_master WHERE type='view'"):
        extra.add(("view", name))
    db.close()
    return skeleton, extra


def sqlite_roundtrip(kymdl, schema_file, work):
    original = os.path.join(work, "original.db")
    with open(schema_file) as f:
        r = run(["sqlite3", "-bail", original], stdin=f)
    if r.returncode:
        return "load failed: " + r.stderr.strip()[:200]
    model = os.path.join(work, "model.yaml")
    r = run([kymdl, "reflect", "--case-sensitive", "sqlite:" + original, "-o", model])
    if r.returncode:
        return "reflect failed: " + r.stderr.strip().splitlines()[-1][:200]
    r = run([kymdl, "ddl", model, "--dialect", "sqlite"])
    if r.returncode:
        return "ddl failed: " + r.stderr.strip().splitlines()[-1][:200]
    copy = os.path.join(work, "copy.db")
    r = run(["sqlite3", "-bail", copy], input=r.stdout)
    if r.returncode:
        return "the copy's DDL failed: " + r.stderr.strip()[:200]
    return compare(sqlite_facts(original), sqlite_facts(copy))


# ---- PostgreSQL ----------------------------------------------------------------

PG_FACTS = r"""
WITH t AS (SELECT c.oid, n.nspname || '.' || c.relname AS name FROM pg_catalog.pg_class c
           JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace
           WHERE c.relkind IN ('r','p') AND n.nspname NOT IN ('pg_catalog','information_schema')
             AND n.nspname NOT LIKE 'pg_toast%')
SELECT 's', 'table|' || t.name FROM t
UNION ALL SELECT 's', 'column|' || t.name || '|' || a.attname FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped
UNION ALL SELECT 's', 'notnull|' || t.name || '|' || a.attname FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped AND a.attnotnull
UNION ALL SELECT 'x', 'type|' || t.name || '|' || a.attname || '|' || pg_catalog.format_type(a.atttypid, a.atttypmod) FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped
UNION ALL SELECT 'x', 'default|' || t.name || '|' || a.attname || '|' || pg_catalog.pg_get_expr(d.adbin, d.adrelid) FROM t JOIN pg_catalog.pg_attrdef d ON d.adrelid = t.oid JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum = d.adnum
UNION ALL SELECT CASE WHEN c.contype IN ('p') THEN 's' ELSE 'x' END, c.contype::text || '|' || t.name || '|' || pg_catalog.pg_get_constraintdef(c.oid) FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype IN ('p','u','c','x')
UNION ALL SELECT 's', 'fk|' || t.name || '|' || (SELECT string_agg(a.attname, ',' ORDER BY k.i) FROM unnest(c.conkey) WITH ORDINALITY k(n, i) JOIN pg_catalog.pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.n) || '|' || c.confrelid::regclass::text FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype = 'f'
UNION ALL SELECT 'x', 'fkdef|' || t.name || '|' || pg_catalog.pg_get_constraintdef(c.oid) FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype = 'f'
UNION ALL SELECT 'x', 'index|' || t.name || '|' || regexp_replace(pg_catalog.pg_get_indexdef(i.indexrelid), '^CREATE (UNIQUE )?INDEX \S+ ON ', 'CREATE \1INDEX ON ') FROM t JOIN pg_catalog.pg_index i ON i.indrelid = t.oid WHERE NOT EXISTS (SELECT 1 FROM pg_catalog.pg_constraint c WHERE c.conindid = i.indexrelid)
UNION ALL SELECT 'x', 'view|' || n.nspname || '.' || c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN ('v','m') AND n.nspname NOT IN ('pg_catalog','information_schema')
"""


class server:
    def __init__(self, root):
        self.dir = os.path.join(root, "pg")
        os.makedirs(self.dir)
        self.prefix = []
        if os.geteuid() == 0:
            shutil.chown(self.dir, "postgres")
            os.chmod(root, 0o755)
            self.prefix = ["runuser", "-u", "postgres", "--"]
        bindir = run(["pg_config", "--bindir"]).stdout.strip()
        if not os.path.exists(os.path.join(bindir, "initdb")):
            bindir = sorted(d for d in os.listdir("/usr/lib/postgresql"))[-1]
            bindir = os.path.join("/usr/lib/postgresql", bindir, "bin")
        self.bin = bindir
        data = os.path.join(self.dir, "data")
        r = run(self.prefix + [os.path.join(bindir, "initdb"), "-D", data, "-U", "postgres", "-A", "trust"])
        if r.returncode:
            raise RuntimeError(r.stderr)
        r = run(self.prefix + [os.path.join(bindir, "pg_ctl"), "-D", data, "-w", "-l", os.path.join(self.dir, "log"),
                               "-o", "-k %s -c listen_addresses='' -c fsync=off" % self.dir, "start"])
        if r.returncode:
            raise RuntimeError(r.stderr)
        self.data = data

    def psql(self, db, **kw):
        return run(["psql", "-X", "-q", "-h", self.dir, "-U", "postgres", "-d", db] + kw.pop("args", []), **kw)

    def uri(self, db):
        return "postgresql:///%s?host=%s&user=postgres" % (db, self.dir)

    def facts(self, db):
        r = self.psql(db, args=["-At", "-F", "\t", "-R", "\x1e", "-c", PG_FACTS])
        skeleton, extra = set(), set()
        for line in r.stdout.strip("\n").split("\x1e"):
            if not line:
                continue
            kind, fact = line.split("\t", 1)
            (skeleton if kind == "s" else extra).add(fact)
        return skeleton, extra

    def stop(self):
        run(self.prefix + [os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-m", "immediate", "stop"])


def pg_roundtrip(kymdl, pg, schema_file, name, work):
    original, copy = name + "_o", name + "_c"
    pg.psql("postgres", args=["-c", "CREATE DATABASE %s" % original])
    pg.psql("postgres", args=["-c", "CREATE DATABASE %s" % copy])
    r = pg.psql(original, args=["-v", "ON_ERROR_STOP=1", "-1", "-f", schema_file])
    if r.returncode:
        return "load failed: " + r.stderr.strip()[:200]
    model = os.path.join(work, name + ".yaml")
    r = run([kymdl, "reflect", "--case-sensitive", pg.uri(original), "-o", model])
    if r.returncode:
        return "reflect failed: " + (r.stderr.strip().splitlines() or [""])[-1][:200]
    r = run([kymdl, "ddl", model, "--dialect", "postgresql"])
    if r.returncode:
        return "ddl failed: " + (r.stderr.strip().splitlines() or [""])[-1][:200]
    ddl = os.path.join(work, name + ".sql")
    with open(ddl, "w") as f:
        f.write(r.stdout)
    r = pg.psql(copy, args=["-v", "ON_ERROR_STOP=1", "-1", "-f", ddl])
    if r.returncode:
        return "the copy's DDL failed: " + r.stderr.strip()[:200]
    return compare(pg.facts(original), pg.facts(copy))


def compare(original, copy):
    (os_, ox), (cs, cx) = original, copy
    skeleton = len(os_ & cs) / len(os_) if os_ else 1.0
    everything = (len(os_ & cs) + len(ox & cx)) / (len(os_) + len(ox)) if os_ or ox else 1.0
    invented = len((cs | cx) - (os_ | ox))
    return "skeleton %5.1f%% of %5d   all %5.1f%% of %5d   %d facts invented" % (
        100 * skeleton, len(os_), 100 * everything, len(os_) + len(ox), invented)


def main():
    kymdl = os.path.abspath(sys.argv[1])
    if not os.path.isdir(SCHEMAS):
        print("schema-roundtrip: no ../shared/schemas: skipped")
        return 0
    files = sorted(os.listdir(SCHEMAS))
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        pg = server(work) if any(f.endswith(".sql") and not f.endswith("_sqlite.sql") for f in files) else None
        try:
            for f in files:
                path = os.path.join(SCHEMAS, f)
                name = f.rsplit(".", 1)[0]
                if f.endswith("_sqlite.sql"):
                    sub = os.path.join(work, name)
                    os.makedirs(sub)
                    result = sqlite_roundtrip(kymdl, path, sub)
                elif f.endswith(".sql"):
                    result = pg_roundtrip(kymdl, pg, path, name, work)
                else:
                    continue
                print("%-32s %s" % (f, result), flush=True)
        finally:
            if pg:
                pg.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
