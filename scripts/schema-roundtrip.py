#!/usr/bin/env python3
"""Round trips of database schemas through kymdl, fact by fact.

Each schema file goes database -> `kymdl reflect` -> model file -> `kymdl
ddl` -> fresh database, and the two databases' system catalogues are
compared as sets of facts, each a text the database itself prints:

  skeleton  tables, columns, NOT NULL, primary keys, foreign-key pairs
  all       + column types, defaults, generated and identity columns,
            foreign-key clauses (actions, MATCH, DEFERRABLE, NOT VALID),
            unique, check and exclusion constraints, indexes (their
            definition without their name), views with their definition,
            schemas, partitions and partition keys, inheritance, sequences,
            triggers and the functions they call, enums and domains the
            columns use, table options and comments; SQLite's declared
            types, STRICT, WITHOUT ROWID and AUTOINCREMENT

For PostgreSQL the facts come from format_type, pg_get_expr,
pg_get_constraintdef, pg_get_indexdef, pg_get_viewdef, pg_get_triggerdef
and pg_get_functiondef; for SQLite from the pragmas table_list,
table_xinfo, foreign_key_list, index_list and index_xinfo and from the
statements sqlite_master keeps. The same model file then gives DDL for the
other dialect, which that dialect must accept (cross).

*_sqlite.sql files go through SQLite, every other .sql file through
PostgreSQL on a server this script starts in a temporary folder and stops
again (initdb, pg_ctl, Unix socket only; as the postgres user when run as
root). Every schema of a PostgreSQL database counts, also those a
reflection did not read.

Per schema it prints the shares, the kinds of facts below 100%, and the
first facts lost (-) and invented (+). With --check the exit status is 1
when a schema misses a target: a step failed, the skeleton is below 100%,
a skeleton fact is invented, all facts are below 99%, a difference is one
no warning names, or the other dialect refused
the DDL. A folder that does not exist is skipped with a message (exit
status 77 with --check when nothing was run).
"""
import argparse
import collections
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REAL_SCHEMAS = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "schemas"))
SKIPPED = 77
SHOWN = 20


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def last_line(text):
    lines = text.strip().splitlines()
    return lines[-1][:300] if lines else ""


def first_lines(text, count=3):
    return " | ".join(text.strip().splitlines()[:count])[:400]


def collapse(text):
    return re.sub(r"\s+", " ", text or "").strip()


# ---- SQLite ------------------------------------------------------------------

def quoted(name):
    return '"%s"' % name.replace('"', '""')


def check_clauses(sql):
    """The CHECK clauses of a CREATE TABLE statement, blanks collapsed, in
    order: each from its keyword to its closing parenthesis, skipping what
    lies in quotes or brackets."""
    clauses, i, n = [], 0, len(sql)
    while i < n:
        c = sql[i]
        if c in "'\"`[":
            close = "]" if c == "[" else c
            j = sql.find(close, i + 1)
            i = n if j < 0 else j + 1
            continue
        if sql[i:i + 5].upper() == "CHECK" and (i == 0 or not (sql[i - 1].isalnum() or sql[i - 1] == "_")):
            j = i + 5
            while j < n and sql[j].isspace():
                j += 1
            if j < n and sql[j] == "(":
                depth, k = 0, j
                while k < n:
                    if sql[k] in "'\"`[":
                        close = "]" if sql[k] == "[" else sql[k]
                        e = sql.find(close, k + 1)
                        k = n if e < 0 else e
                    elif sql[k] == "(":
                        depth += 1
                    elif sql[k] == ")":
                        depth -= 1
                        if depth == 0:
                            break
                    k += 1
                clauses.append(collapse(sql[i:k + 1]))
                i = k + 1
                continue
        i += 1
    return clauses


def without_index_name(sql):
    """CREATE [UNIQUE] INDEX [IF NOT EXISTS] name ON ... as CREATE ... INDEX ON ..."""
    return re.sub(r"(?is)^\s*CREATE\s+(UNIQUE\s+)?INDEX\s+(IF\s+NOT\s+EXISTS\s+)?(\"(?:[^\"]|\"\")*\"|\[[^\]]*\]|`[^`]*`|\S+)\s+ON\s",
                  lambda m: "CREATE %sINDEX ON " % ("UNIQUE " if m.group(1) else ""), collapse(sql))


def sqlite_facts(path):
    db = sqlite3.connect(path)
    skeleton, extra = set(), set()
    table_sql = dict(db.execute("SELECT name, sql FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'"))
    shapes = {r[1]: r for r in db.execute("PRAGMA main.table_list") if r[2] == "table"}
    for t, sql in table_sql.items():
        skeleton.add(("table", t))
        q = quoted(t)
        pk = []
        for cid, name, typ, notnull, dflt, pkpos, hidden in db.execute("PRAGMA table_xinfo(%s)" % q):
            skeleton.add(("column", t, name))
            if notnull:
                skeleton.add(("notnull", t, name))
            if pkpos:
                pk.append((pkpos, name))
            extra.add(("type", t, name, typ or ""))
            if dflt is not None:
                extra.add(("default", t, name, dflt))
            if hidden:
                extra.add(("generated", t, name, hidden))
        if pk:
            skeleton.add(("pk", t, tuple(n for _, n in sorted(pk))))
        keys = collections.OrderedDict()
        for fid, seq, target, frm, to, on_update, on_delete, match in db.execute("PRAGMA foreign_key_list(%s)" % q):
            keys.setdefault(fid, [target, [], [], on_update, on_delete, match])
            keys[fid][1].append(frm)
            keys[fid][2].append(to)
        for target, frm, to, on_update, on_delete, match in keys.values():
            skeleton.add(("fk", t, tuple(frm), target, tuple(to)))
            extra.add(("fkclauses", t, tuple(frm), target, on_update, on_delete, match))
        for _, name, unique, origin, partial in db.execute("PRAGMA index_list(%s)" % q):
            if origin == "pk":
                continue
            if origin == "u":
                cols = tuple(r[2] for r in db.execute("PRAGMA index_info(%s)" % quoted(name)))
                extra.add(("unique", t, cols))
                continue
            # An index of columns alone is its columns, their order and
            # collations, however its statement quotes the names; one with
            # expressions or a condition is its statement.
            keycols = [r for r in db.execute("PRAGMA index_xinfo(%s)" % quoted(name)) if r[5]]
            if not partial and all(r[1] >= 0 for r in keycols):
                extra.add(("index", t, "UNIQUE" if unique else "",
                           tuple((r[2], "DESC" if r[3] else "", r[4]) for r in keycols)))
                continue
            (isql,) = db.execute("SELECT sql FROM sqlite_master WHERE type='index' AND name=?", (name,)).fetchone()
            extra.add(("index", t, without_index_name(isql)))
        for clause in check_clauses(sql or ""):
            extra.add(("check", t, clause))
        if re.search(r"(?i)\bAUTOINCREMENT\b", sql or ""):
            extra.add(("autoincrement", t))
        shape = shapes.get(t)
        if shape and shape[4]:
            extra.add(("without rowid", t))
        if shape and shape[5]:
            extra.add(("strict", t))
    for kind, name, sql in db.execute("SELECT type, name, sql FROM sqlite_master WHERE type IN ('view', 'trigger')"):
        extra.add((kind, name, collapse(sql)))
    db.close()
    return skeleton, extra


def sqlite_load(path, ddl_text):
    r = run(["sqlite3", "-bail", path], input=ddl_text)
    return r.returncode == 0 and not r.stderr.strip(), first_lines(r.stderr)


# ---- PostgreSQL --------------------------------------------------------------

# Each row: 's' (skeleton) or 'x' (the rest), then the fact.
PG_FACTS = r"""
WITH ns AS (SELECT oid, nspname FROM pg_catalog.pg_namespace
            WHERE nspname NOT IN ('pg_catalog', 'information_schema') AND nspname NOT LIKE 'pg\_toast%'
              AND nspname NOT LIKE 'pg\_temp%'),
t AS (SELECT c.oid, c.relkind, c.relispartition, c.reloptions, quote_ident(ns.nspname) || '.' || quote_ident(c.relname) AS name
      FROM pg_catalog.pg_class c JOIN ns ON ns.oid = c.relnamespace WHERE c.relkind IN ('r', 'p')),
col AS (SELECT t.name, a.* FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped),
seq AS (SELECT s.oid, quote_ident(ns.nspname) || '.' || quote_ident(s.relname) AS name FROM pg_catalog.pg_class s
        JOIN ns ON ns.oid = s.relnamespace WHERE s.relkind = 'S'
          AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_depend d WHERE d.objid = s.oid AND d.deptype = 'i')
          AND EXISTS (SELECT 1 FROM pg_catalog.pg_depend d WHERE d.refobjid = s.oid AND d.classid = 'pg_catalog.pg_attrdef'::regclass
                      UNION ALL SELECT 1 FROM pg_catalog.pg_depend d WHERE d.objid = s.oid AND d.deptype = 'a')),
usedtype AS (SELECT DISTINCT ty.oid FROM col JOIN pg_catalog.pg_type ty
               ON ty.oid = col.atttypid OR ty.oid = (SELECT e.typelem FROM pg_catalog.pg_type e WHERE e.oid = col.atttypid AND e.typcategory = 'A')
             JOIN ns ON ns.oid = ty.typnamespace WHERE ty.typtype IN ('e', 'd'))
SELECT 's', 'table|' || name FROM t
UNION ALL SELECT 's', 'column|' || name || '|' || attname FROM col
UNION ALL SELECT 's', 'notnull|' || name || '|' || attname FROM col WHERE attnotnull
UNION ALL SELECT 'x', 'type|' || name || '|' || attname || '|' || pg_catalog.format_type(atttypid, atttypmod) FROM col
UNION ALL SELECT 'x', 'default|' || col.name || '|' || attname || '|' || pg_catalog.pg_get_expr(d.adbin, d.adrelid)
  FROM col JOIN pg_catalog.pg_attrdef d ON d.adrelid = col.attrelid AND d.adnum = col.attnum WHERE col.attgenerated = ''
UNION ALL SELECT 'x', 'generated|' || col.name || '|' || attname || '|' || attgenerated::text || '|' || pg_catalog.pg_get_expr(d.adbin, d.adrelid)
  FROM col JOIN pg_catalog.pg_attrdef d ON d.adrelid = col.attrelid AND d.adnum = col.attnum WHERE col.attgenerated <> ''
UNION ALL SELECT 'x', 'identity|' || name || '|' || attname || '|' || attidentity::text FROM col WHERE attidentity <> ''
UNION ALL SELECT 'x', 'collation|' || col.name || '|' || attname || '|' || co.collname
  FROM col JOIN pg_catalog.pg_collation co ON co.oid = col.attcollation
  WHERE col.attcollation <> 0 AND col.attcollation <> (SELECT typcollation FROM pg_catalog.pg_type WHERE oid = col.atttypid)
UNION ALL SELECT CASE WHEN c.contype = 'p' THEN 's' ELSE 'x' END,
    CASE c.contype WHEN 'p' THEN 'pk' WHEN 'u' THEN 'unique' WHEN 'c' THEN 'check' ELSE 'exclude' END
    || '|' || t.name || '|' || pg_catalog.pg_get_constraintdef(c.oid)
  FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype IN ('p', 'u', 'c', 'x')
UNION ALL SELECT 's', 'fk|' || t.name || '|' || (SELECT string_agg(a.attname, ',' ORDER BY k.i) FROM unnest(c.conkey) WITH ORDINALITY k(n, i)
    JOIN pg_catalog.pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.n) || '|' || c.confrelid::regclass::text
  FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype = 'f'
UNION ALL SELECT 'x', 'fkdef|' || t.name || '|' || pg_catalog.pg_get_constraintdef(c.oid)
  FROM t JOIN pg_catalog.pg_constraint c ON c.conrelid = t.oid AND c.contype = 'f'
UNION ALL SELECT 'x', 'index|' || t.name || '|' || regexp_replace(pg_catalog.pg_get_indexdef(i.indexrelid), '^CREATE (UNIQUE )?INDEX \S+ ON ', 'CREATE \1INDEX ON ')
  FROM t JOIN pg_catalog.pg_index i ON i.indrelid = t.oid
  WHERE NOT EXISTS (SELECT 1 FROM pg_catalog.pg_constraint c WHERE c.conindid = i.indexrelid AND c.conrelid = t.oid)
UNION ALL SELECT 'x', 'view|' || quote_ident(ns.nspname) || '.' || quote_ident(c.relname) || '|' || c.relkind::text || '|' || pg_catalog.pg_get_viewdef(c.oid)
  FROM pg_catalog.pg_class c JOIN ns ON ns.oid = c.relnamespace WHERE c.relkind IN ('v', 'm')
UNION ALL SELECT 'x', 'schema|' || nspname FROM ns
UNION ALL SELECT 'x', 'partition|' || t.name || '|' || i.inhparent::regclass::text || '|' || pg_catalog.pg_get_expr(c.relpartbound, c.oid)
  FROM t JOIN pg_catalog.pg_class c ON c.oid = t.oid JOIN pg_catalog.pg_inherits i ON i.inhrelid = t.oid WHERE t.relispartition
UNION ALL SELECT 'x', 'partkey|' || name || '|' || pg_catalog.pg_get_partkeydef(oid) FROM t WHERE relkind = 'p'
UNION ALL SELECT 'x', 'inherits|' || t.name || '|' || i.inhparent::regclass::text || '|' || i.inhseqno::text
  FROM t JOIN pg_catalog.pg_inherits i ON i.inhrelid = t.oid WHERE NOT t.relispartition
UNION ALL SELECT 'x', 'options|' || name || '|' || array_to_string(reloptions, ',') FROM t WHERE reloptions IS NOT NULL
UNION ALL SELECT 'x', 'unlogged|' || t.name FROM t JOIN pg_catalog.pg_class c ON c.oid = t.oid WHERE c.relpersistence = 'u'
UNION ALL SELECT 'x', 'sequence|' || seq.name || '|' || concat_ws(',', s.seqtypid::regtype, s.seqstart, s.seqincrement, s.seqmin, s.seqmax, s.seqcache, s.seqcycle)
  FROM seq JOIN pg_catalog.pg_sequence s ON s.seqrelid = seq.oid
UNION ALL SELECT 'x', 'owned|' || seq.name || '|' || d.refobjid::regclass::text || '.' || a.attname
  FROM seq JOIN pg_catalog.pg_depend d ON d.objid = seq.oid AND d.deptype = 'a' AND d.refobjsubid > 0
  JOIN pg_catalog.pg_attribute a ON a.attrelid = d.refobjid AND a.attnum = d.refobjsubid
UNION ALL SELECT 'x', 'trigger|' || t.name || '|' || pg_catalog.pg_get_triggerdef(g.oid)
  FROM t JOIN pg_catalog.pg_trigger g ON g.tgrelid = t.oid AND NOT g.tgisinternal AND g.tgparentid = 0
UNION ALL SELECT DISTINCT 'x', 'function|' || pg_catalog.pg_get_functiondef(g.tgfoid)
  FROM t JOIN pg_catalog.pg_trigger g ON g.tgrelid = t.oid AND NOT g.tgisinternal
  JOIN pg_catalog.pg_proc p ON p.oid = g.tgfoid JOIN ns ON ns.oid = p.pronamespace
UNION ALL SELECT 'x', 'enum|' || ty.oid::regtype::text || '|' || (SELECT string_agg(e.enumlabel, ',' ORDER BY e.enumsortorder)
    FROM pg_catalog.pg_enum e WHERE e.enumtypid = ty.oid)
  FROM usedtype u JOIN pg_catalog.pg_type ty ON ty.oid = u.oid WHERE ty.typtype = 'e'
UNION ALL SELECT 'x', 'domain|' || ty.oid::regtype::text || '|' || pg_catalog.format_type(ty.typbasetype, ty.typtypmod) || '|' || ty.typnotnull::text
    || '|' || coalesce(ty.typdefault, '') || '|' || coalesce((SELECT string_agg(pg_catalog.pg_get_constraintdef(c.oid), ',' ORDER BY c.conname)
    FROM pg_catalog.pg_constraint c WHERE c.contypid = ty.oid), '')
  FROM usedtype u JOIN pg_catalog.pg_type ty ON ty.oid = u.oid WHERE ty.typtype = 'd'
UNION ALL SELECT 'x', 'comment|' || name || '|' || pg_catalog.obj_description(oid, 'pg_class') FROM t
  WHERE pg_catalog.obj_description(oid, 'pg_class') IS NOT NULL
UNION ALL SELECT 'x', 'comment|' || name || '.' || attname || '|' || pg_catalog.col_description(attrelid, attnum) FROM col
  WHERE pg_catalog.col_description(attrelid, attnum) IS NOT NULL
"""


class server:
    """A PostgreSQL server of its own in `root`/pg, reached by its socket."""

    def __init__(self, root):
        self.dir = os.path.join(root, "pg")
        os.makedirs(self.dir)
        self.prefix = []
        if os.geteuid() == 0:
            shutil.chown(self.dir, "postgres")
            os.chmod(root, 0o755)
            self.prefix = ["runuser", "-u", "postgres", "--"]
        self.bin = self.binaries()
        self.data = os.path.join(self.dir, "data")
        r = run(self.prefix + [os.path.join(self.bin, "initdb"), "-D", self.data, "-U", "postgres", "-A", "trust",
                               "-E", "UTF8", "--locale=C", "--no-sync"])
        if r.returncode:
            raise RuntimeError("initdb failed: " + last_line(r.stderr))
        r = run(self.prefix + [os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-w", "-l",
                               os.path.join(self.dir, "log"), "-o",
                               "-k %s -c listen_addresses='' -c fsync=off -c full_page_writes=off" % self.dir, "start"])
        if r.returncode:
            raise RuntimeError("the server did not start: " + last_line(r.stderr))

    @staticmethod
    def binaries():
        found = sorted((os.path.join("/usr/lib/postgresql", v, "bin") for v in os.listdir("/usr/lib/postgresql")),
                       key=lambda p: int(re.sub(r"\D", "", p) or 0)) if os.path.isdir("/usr/lib/postgresql") else []
        found = [b for b in found if os.path.exists(os.path.join(b, "initdb"))]
        if not found:
            raise RuntimeError("no PostgreSQL server binaries (install postgresql)")
        return found[-1]

    def psql(self, db, *args, **kw):
        return run(["psql", "-X", "-q", "-h", self.dir, "-U", "postgres", "-d", db] + list(args), **kw)

    def create(self, db):
        self.psql("postgres", "-c", 'DROP DATABASE IF EXISTS "%s"' % db)
        r = self.psql("postgres", "-c", 'CREATE DATABASE "%s" TEMPLATE template0' % db)
        if r.returncode:
            raise RuntimeError("CREATE DATABASE failed: " + last_line(r.stderr))

    def load(self, db, path):
        r = self.psql(db, "-v", "ON_ERROR_STOP=1", "-1", "-f", path)
        return r.returncode == 0, first_lines(r.stderr)

    def uri(self, db):
        return "postgresql:///%s?host=%s&user=postgres" % (db, self.dir)

    def facts(self, db):
        r = self.psql(db, "-At", "-F", "\t", "-R", "\x1e", "-c", PG_FACTS)
        if r.returncode:
            raise RuntimeError("the facts query failed: " + last_line(r.stderr))
        skeleton, extra = set(), set()
        for row in r.stdout.strip("\n").split("\x1e"):
            if row:
                kind, fact = row.split("\t", 1)
                (skeleton if kind == "s" else extra).add(fact)
        return skeleton, extra

    def stop(self):
        run(self.prefix + [os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-m", "immediate", "stop"])


# ---- one round trip ----------------------------------------------------------

class outcome:
    def __init__(self, name):
        self.name = name
        self.failure = ""       # the step that failed, when one did
        self.original = self.copy = (set(), set())
        self.cross = ""         # what the other dialect said of the DDL
        self.cross_ok = True
        self.notes = []         # the reflection's and the DDL's warnings by code
        self.warned = ""        # the text of every warning they printed
        self.seconds = {}

    def kind(self, fact):
        return fact[0] if isinstance(fact, tuple) else fact.split("|", 1)[0]

    def shares(self):
        (os_, ox), (cs, cx) = self.original, self.copy
        skeleton = len(os_ & cs) / len(os_) if os_ else 1.0
        total = len(os_) + len(ox)
        everything = (len(os_ & cs) + len(ox & cx)) / total if total else 1.0
        invented = (cs | cx) - (os_ | ox)
        return skeleton, everything, invented

    def named(self, fact):
        """Whether a warning names the table (or view) a fact is about."""
        parts = fact if isinstance(fact, tuple) else fact.split("|")
        if len(parts) < 2:
            return False
        table = str(parts[1])
        # PostgreSQL facts name schema.table with quote_ident; a warning names
        # the table itself.
        match = re.search(r'(?:"((?:[^"]|"")*)"|([^".]+))$', table)
        bare = (match.group(1).replace('""', '"') if match.group(1) is not None else match.group(2)) if match else table
        return bare in self.warned

    def ok(self):
        if self.failure or not self.cross_ok:
            return False
        skeleton, everything, invented = self.shares()
        (os_, ox), (cs, cx) = self.original, self.copy
        # The skeleton whole and nothing invented in it; all facts at 99%,
        # and every other difference one that a warning names.
        unnamed = [f for f in (os_ | ox) ^ (cs | cx) if not self.named(f)]
        return skeleton >= 1.0 and not (cs - os_) and everything >= 0.99 and not unnamed

    def report(self):
        if self.failure:
            return "%-36s FAILED %s" % (self.name, self.failure)
        (os_, ox), (cs, cx) = self.original, self.copy
        skeleton, everything, invented = self.shares()
        lines = ["%-36s skeleton %5.1f%% of %5d   all %5.1f%% of %6d   %d invented   %s   %s" % (
            self.name, 100 * skeleton, len(os_), 100 * everything, len(os_) + len(ox), len(invented),
            self.cross, "  ".join("%s %.2f s" % kv for kv in self.seconds.items()))]
        original, copy = os_ | ox, cs | cx
        kept, total = collections.Counter(), collections.Counter()
        for fact in original:
            total[self.kind(fact)] += 1
            kept[self.kind(fact)] += fact in copy
        short = ["%s %d/%d" % (k, kept[k], total[k]) for k in sorted(total) if kept[k] < total[k]]
        if short:
            lines.append("    below 100%: " + ", ".join(short))
        if self.notes:
            lines.append("    warnings: " + ", ".join(self.notes))
        unnamed = [f for f in original ^ copy if not self.named(f)]
        if unnamed:
            lines.append("    %d of %d differences concern a table no warning names" % (
                len(unnamed), len(original ^ copy)))
        lost = sorted(collapse(str(f)) for f in original - copy)
        for fact in lost[:SHOWN]:
            lines.append("    - " + fact[:300])
        if len(lost) > SHOWN:
            lines.append("    - ... %d more lost" % (len(lost) - SHOWN))
        extra = sorted(collapse(str(f)) for f in copy - original)
        for fact in extra[:SHOWN]:
            lines.append("    + " + fact[:300])
        if len(extra) > SHOWN:
            lines.append("    + ... %d more invented" % (len(extra) - SHOWN))
        return "\n".join(lines)


def warning_codes(stderr):
    codes = collections.Counter(re.findall(r"warning[^\n]*\[([^\]\s]+)\]\s*$", stderr, re.M))
    return ["%s %d" % kv for kv in sorted(codes.items())]


def timed(result, step, cmd):
    start = time.monotonic()
    r = run(cmd)
    result.seconds[step] = time.monotonic() - start
    return r


def through_kymdl(kymdl, result, source, work, dialect):
    """reflect `source`, then the DDL of the model file in `dialect`; the DDL
    text, or None with result.failure set."""
    model = os.path.join(work, "model.yaml")
    r = timed(result, "reflect", [kymdl, "reflect", "--case-sensitive", source, "-o", model])
    result.notes += ["reflect: " + n for n in warning_codes(r.stderr)]
    result.warned += r.stderr
    if r.returncode:
        result.failure = "reflect: " + last_line(r.stderr)
        if os.path.exists(model):
            result.failure += " (and it left a model file behind)"
        return None, model
    r = timed(result, "ddl", [kymdl, "ddl", model, "--dialect", dialect])
    result.notes += ["ddl: " + n for n in warning_codes(r.stderr)]
    result.warned += r.stderr
    if r.returncode:
        result.failure = "ddl refused the reflected file: " + last_line(r.stderr)
        return None, model
    return r.stdout, model


def cross_ddl(kymdl, model, dialect):
    r = run([kymdl, "ddl", model, "--dialect", dialect])
    if r.returncode:
        return None, "ddl --dialect %s refused: %s" % (dialect, last_line(r.stderr))
    return r.stdout, ""


def sqlite_roundtrip(kymdl, pg, schema_file, name, work):
    result = outcome(name)
    original = os.path.join(work, "original.db")
    with open(schema_file) as f:
        loaded, why = sqlite_load(original, f.read())
    if not loaded:
        result.failure = "the schema does not load: " + why
        return result
    text, model = through_kymdl(kymdl, result, "sqlite:" + original, work, "sqlite")
    if text is None:
        return result
    copy = os.path.join(work, "copy.db")
    loaded, why = sqlite_load(copy, text)
    if not loaded:
        result.failure = "SQLite refused the copy's DDL: " + why
        return result
    result.original, result.copy = sqlite_facts(original), sqlite_facts(copy)
    if pg:
        other, why = cross_ddl(kymdl, model, "postgresql")
        if other is not None:
            db = "x_" + re.sub(r"\W", "_", name)
            pg.create(db)
            path = os.path.join(work, "cross.sql")
            with open(path, "w") as f:
                f.write(other)
            loaded, why = pg.load(db, path)
            why = "" if loaded else "PostgreSQL refused the DDL: " + why
        result.cross_ok = not why
        result.cross = "to postgresql: " + (why or "accepted")
    return result


def pg_roundtrip(kymdl, pg, schema_file, name, work):
    result = outcome(name)
    stem = re.sub(r"\W", "_", name)
    original, copy = "o_" + stem, "c_" + stem
    pg.create(original)
    pg.create(copy)
    loaded, why = pg.load(original, schema_file)
    if not loaded:
        result.failure = "the schema does not load: " + why
        return result
    text, model = through_kymdl(kymdl, result, pg.uri(original), work, "postgresql")
    if text is None:
        return result
    ddl = os.path.join(work, "copy.sql")
    with open(ddl, "w") as f:
        f.write(text)
    loaded, why = pg.load(copy, ddl)
    if not loaded:
        result.failure = "PostgreSQL refused the copy's DDL: " + why
        return result
    result.original, result.copy = pg.facts(original), pg.facts(copy)
    other, why = cross_ddl(kymdl, model, "sqlite")
    if other is not None:
        loaded, why = sqlite_load(os.path.join(work, "cross.db"), other)
        why = "" if loaded else "SQLite refused the DDL: " + why
    result.cross_ok = not why
    result.cross = "to sqlite: " + (why or "accepted")
    return result


# ---- the whole run -----------------------------------------------------------

def schema_files(places):
    files, skipped = [], []
    for place in places:
        if os.path.isdir(place):
            files += [os.path.join(place, f) for f in sorted(os.listdir(place)) if f.endswith(".sql")]
        elif os.path.isfile(place):
            files.append(place)
        else:
            skipped.append(place)
    return files, skipped


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     epilog="Without SCHEMAS it reads %s." % REAL_SCHEMAS)
    parser.add_argument("kymdl", metavar="KYMDL", help="the kymdl program")
    parser.add_argument("schemas", metavar="SCHEMAS", nargs="*",
                        help=".sql files or folders of them (*_sqlite.sql for SQLite)")
    parser.add_argument("--check", action="store_true",
                        help="exit status 1 when a schema misses a target, 77 when nothing was run")
    args = parser.parse_args()
    kymdl = os.path.abspath(args.kymdl)
    files, skipped = schema_files(args.schemas or [REAL_SCHEMAS])
    for place in skipped:
        print("schema-roundtrip: %s does not exist: skipped" % place, flush=True)
    if not files:
        print("schema-roundtrip: no schema to run", flush=True)
        return SKIPPED if args.check else 0
    results = []
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        pg = server(work)
        try:
            for path in files:
                name = os.path.basename(path)
                sub = os.path.join(work, re.sub(r"\W", "_", name))
                os.makedirs(sub)
                if name.endswith("_sqlite.sql"):
                    result = sqlite_roundtrip(kymdl, pg, path, name, sub)
                else:
                    result = pg_roundtrip(kymdl, pg, path, name, sub)
                results.append(result)
                print(result.report(), flush=True)
        finally:
            pg.stop()
    missed = [r.name for r in results if not r.ok()]
    print("schema-roundtrip: %d of %d schemas meet the targets%s" % (
        len(results) - len(missed), len(results), (": missed by " + ", ".join(missed)) if missed else ""))
    return 1 if args.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
