#!/usr/bin/env python3
"""Real migration histories through kymdl, fact by fact.

Each history is a pair OLD NEW of schema files of one application. Both are
loaded into databases of their own; `kymdl reflect` writes the model of
NEW; `kymdl apply --allow-destructive` migrates OLD's database to that
model; the migrated database and NEW's are then compared as sets of
catalogue facts, with the comparison of schema-roundtrip.py (the skeleton:
tables, columns, NOT NULL, primary keys, foreign-key pairs; all facts:
types, defaults, constraints, indexes, views, ...; facts lost and
invented); and a second `kymdl diff --exit-code` of the migrated database
against the model must find nothing.

*_sqlite.sql pairs go through SQLite files, every other pair through a
PostgreSQL server the script starts in a temporary folder and stops again.
Without --pair it runs the OpenStreetMap schema of ../shared/schemas at
2023-12-13 and 2025-10-28. With --check the exit status is 1 when a history
misses a target (a step failed, the skeleton below 100%, a fact invented,
all facts below 99%, or the second diff not empty), and 77 when nothing was
run because the files are missing.
"""
import argparse
import os
import re
import runpy
import sys
import tempfile
import types

HERE = os.path.dirname(os.path.abspath(__file__))
# The round trip's server, fact queries and comparison, used as they are.
rt = types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "schema-roundtrip.py")))

DEFAULT_PAIRS = [("openstreetmap_schema_2023.sql", "openstreetmap_schema.sql")]


def load(pg, work, tag, path):
    """The database address of a fresh database holding `path`, or None and why."""
    if path.endswith("_sqlite.sql"):
        db = os.path.join(work, tag + ".db")
        with open(path) as f:
            loaded, why = rt.sqlite_load(db, f.read())
        return ("sqlite:" + db, db) if loaded else (None, why)
    name = tag + "_" + re.sub(r"\W", "_", os.path.basename(path))
    pg.create(name)
    loaded, why = pg.load(name, path)
    return (pg.uri(name), name) if loaded else (None, why)


def facts(pg, handle, sqlite):
    return rt.sqlite_facts(handle) if sqlite else pg.facts(handle)


def history(kymdl, pg, old, new, work):
    result = rt.outcome("%s -> %s" % (os.path.basename(old), os.path.basename(new)))
    sqlite = new.endswith("_sqlite.sql")
    old_uri, old_handle = load(pg, work, "old", old)
    new_uri, new_handle = load(pg, work, "new", new)
    if not old_uri or not new_uri:
        result.failure = "the schema does not load: " + (old_handle if not old_uri else new_handle)
        return result
    model = os.path.join(work, "new.yaml")
    r = rt.timed(result, "reflect", [kymdl, "reflect", "--case-sensitive", new_uri, "-o", model])
    result.warned += r.stderr
    if r.returncode:
        result.failure = "reflect: " + rt.last_line(r.stderr)
        return result
    r = rt.timed(result, "apply", [kymdl, "apply", "--allow-destructive", old_uri, model])
    result.notes += ["apply: " + n for n in rt.warning_codes(r.stderr)]
    result.warned += r.stderr
    steps = len([line for line in r.stdout.splitlines() if line.strip()])
    if r.returncode:
        result.failure = "apply of %d steps: %s" % (steps, " / ".join(r.stderr.strip().splitlines()[-3:]))
        return result
    result.original, result.copy = facts(pg, new_handle, sqlite), facts(pg, old_handle, sqlite)
    r = rt.timed(result, "diff", [kymdl, "diff", "-q", "--exit-code", "--format", "text", old_uri, model])
    result.cross_ok = r.returncode == 0
    left = len(r.stdout.splitlines())
    result.cross = "%d steps applied; second diff: %s" % (
        steps, "empty" if result.cross_ok else "%d steps left (%s)" % (left, rt.last_line(r.stdout + r.stderr)))
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("kymdl", metavar="KYMDL", help="the kymdl program")
    parser.add_argument("--pair", nargs=2, action="append", metavar=("OLD", "NEW"),
                        help="a history: the older and the newer schema file (may repeat)")
    parser.add_argument("--check", action="store_true",
                        help="exit status 1 when a history misses a target, 77 when nothing was run")
    args = parser.parse_args()
    kymdl = os.path.abspath(args.kymdl)
    pairs = [tuple(p) for p in args.pair] if args.pair else [
        tuple(os.path.join(rt.REAL_SCHEMAS, f) for f in pair) for pair in DEFAULT_PAIRS]
    present = [p for p in pairs if all(os.path.isfile(f) for f in p)]
    for pair in pairs:
        if pair not in present:
            print("migration-history: %s or %s does not exist: skipped" % pair, flush=True)
    if not present:
        return rt.SKIPPED if args.check else 0
    results = []
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        pg = rt.server(work) if any(not p[1].endswith("_sqlite.sql") for p in present) else None
        try:
            for index, (old, new) in enumerate(present):
                sub = os.path.join(work, "h%d" % index)
                os.makedirs(sub)
                os.chmod(sub, 0o755)
                result = history(kymdl, pg, old, new, sub)
                results.append(result)
                print(result.report(), flush=True)
        finally:
            if pg:
                pg.stop()
    missed = [r.name for r in results if not r.ok()]
    print("migration-history: %d of %d histories meet the targets%s" % (
        len(results) - len(missed), len(results), (": missed by " + ", ".join(missed)) if missed else ""))
    return 1 if args.check and missed else 0


if __name__ == "__main__":
    sys.exit(main())
