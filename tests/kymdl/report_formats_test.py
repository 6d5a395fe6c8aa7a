#!/usr/bin/env python3
"""kymdl check --format sarif and --format json on every bad file and every
model-check case: each document is read by a JSON reader and holds what its
readers need. The SARIF log is checked against the properties SARIF 2.1.0
requires of the objects the tool writes (with their types and ranges), the
JSON against the shape docs/cli.md describes; both must agree with the text
output on how many errors and warnings there are.

Usage: report_formats_test.py KYMDL (run from the source tree)
"""
import glob
import json
import subprocess
import sys

import jsonschema

MESSAGE = {"type": "object", "required": ["text"], "properties": {"text": {"type": "string", "minLength": 1}}}
LOCATION = {
    "type": "object",
    "required": ["physicalLocation"],
    "properties": {
        "id": {"type": "integer", "minimum": 0},
        "message": MESSAGE,
        "physicalLocation": {
            "type": "object",
            "required": ["artifactLocation"],
            "properties": {
                "artifactLocation": {"type": "object", "required": ["uri"],
                                     "properties": {"uri": {"type": "string", "pattern": "^[A-Za-z0-9._~/%-]+$"}}},
                "region": {"type": "object", "required": ["startLine"],
                           "properties": {"startLine": {"type": "integer", "minimum": 1},
                                          "startColumn": {"type": "integer", "minimum": 1}}},
            },
        },
    },
}
LEVEL = {"enum": ["none", "note", "warning", "error"]}
SARIF = {
    "type": "object",
    "required": ["version", "runs"],
    "properties": {
        "$schema": {"type": "string"},
        "version": {"const": "2.1.0"},
        "runs": {"type": "array", "minItems": 1, "items": {
            "type": "object",
            "required": ["tool"],
            "properties": {
                "tool": {"type": "object", "required": ["driver"], "properties": {"driver": {
                    "type": "object",
                    "required": ["name"],
                    "properties": {
                        "name": {"type": "string"},
                        "rules": {"type": "array", "uniqueItems": True, "items": {
                            "type": "object",
                            "required": ["id", "shortDescription", "help"],
                            "properties": {"id": {"type": "string"}, "shortDescription": MESSAGE, "help": MESSAGE,
                                           "defaultConfiguration": {"type": "object",
                                                                    "properties": {"level": LEVEL}}},
                        }},
                    },
                }}},
                "results": {"type": "array", "items": {
                    "type": "object",
                    "required": ["message", "ruleId", "ruleIndex", "level"],
                    "properties": {
                        "ruleId": {"type": "string"},
                        "ruleIndex": {"type": "integer", "minimum": 0},
                        "level": LEVEL,
                        "message": MESSAGE,
                        "locations": {"type": "array", "items": LOCATION},
                        "relatedLocations": {"type": "array", "items": LOCATION},
                        "properties": {"type": "object"},
                    },
                }},
            },
        }},
    },
}
PLACE = {"file": {"type": "string"}, "line": {"type": "integer", "minimum": 0},
         "column": {"type": "integer", "minimum": 0}}
JSON = {
    "type": "object",
    "required": ["diagnostics", "errors", "warnings"],
    "additionalProperties": False,
    "properties": {
        "errors": {"type": "integer", "minimum": 0},
        "warnings": {"type": "integer", "minimum": 0},
        "diagnostics": {"type": "array", "items": {
            "type": "object",
            "required": ["file", "line", "column", "severity", "code", "message"],
            "additionalProperties": False,
            "properties": dict(PLACE, **{
                "severity": {"enum": ["error", "warning", "note"]},
                "code": {"type": "string", "pattern": "^(M[0-9]{3}|sql\\.[a-z.-]+)$"},
                "message": {"type": "string", "minLength": 1},
                "element": {"type": "string"},
                "hint": {"type": "string"},
                "objects": {"type": "array", "items": {"type": "string"}},
                "databaseMessage": {"type": "string"},
                "related": {"type": "array", "items": {
                    "type": "object", "required": ["file", "line", "column", "message"],
                    "properties": dict(PLACE, message={"type": "string"})}},
            }),
        }},
    },
}


def run(kymdl, fmt, path):
    done = subprocess.run([kymdl, "check", "--format", fmt, path], capture_output=True, check=False)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def text_counts(kymdl, path):
    _, _, err = run(kymdl, "text", path)
    lines = [line for line in err.splitlines() if not line.startswith("  ")]
    return sum(": error: " in line for line in lines), sum(": warning: " in line for line in lines)


def check_sarif(log, path, expected):
    jsonschema.validate(log, SARIF)
    run_ = log["runs"][0]
    rules = run_["tool"]["driver"].get("rules", [])
    results = run_["results"]
    failures = []
    for result in results:
        if rules[result["ruleIndex"]]["id"] != result["ruleId"]:
            failures.append("%s: ruleIndex %d is not rule %s" % (path, result["ruleIndex"], result["ruleId"]))
    counted = (sum(r["level"] == "error" for r in results), sum(r["level"] == "warning" for r in results))
    if counted != expected:
        failures.append("%s: SARIF counts %s, the text %s" % (path, counted, expected))
    return failures


def check_json(document, path, expected):
    jsonschema.validate(document, JSON)
    counted = (document["errors"], document["warnings"])
    return [] if counted == expected else ["%s: JSON counts %s, the text %s" % (path, counted, expected)]


def main():
    kymdl = sys.argv[1]
    paths = sorted(glob.glob("tests/modelfile/bad/*.yaml") + glob.glob("tests/modelfile/checks/*.yaml"))
    failures = []
    for path in paths:
        expected = text_counts(kymdl, path)
        for fmt, check in (("sarif", check_sarif), ("json", check_json)):
            status, out, _ = run(kymdl, fmt, path)
            try:
                failures += check(json.loads(out), path, expected)
            except (ValueError, jsonschema.ValidationError) as e:
                failures.append("%s (%s): %s" % (path, fmt, str(e).splitlines()[0]))
            if status != (1 if expected[0] else 0):
                failures.append("%s (%s): status %d" % (path, fmt, status))
    for failure in failures:
        print("report_formats_test: " + failure, file=sys.stderr)
    return 1 if failures or not paths else 0


if __name__ == "__main__":
    sys.exit(main())
