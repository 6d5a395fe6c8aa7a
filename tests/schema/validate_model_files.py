#!/usr/bin/env python3
"""Validates model files against docs/model-file.schema.json with a real JSON
Schema validator (python3-jsonschema, draft 7):

- the example models, the golden good files and the check cases pass;
- what the tool saves (YAML and JSON) of the file holding every kind of
  element passes;
- each golden bad file whose fault the schema can see fails, and the others
  (syntax, references, cycles, duplicates) are left to the loader.

Usage: validate_model_files.py SOURCE_DIR KYMDL
"""
import glob
import json
import os
import subprocess
import sys
import tempfile

import jsonschema
import yaml

# Golden bad files whose fault is a matter of the schema: unknown keys,
# unknown type or semantic words, wrong kinds of values, a missing required key.
SCHEMA_FAULTS = {
    "copy_errors.yaml",
    "empty.yaml",
    "json_errors.json",
    "override_errors.yaml",
    "relation_errors.yaml",
    "semantic_errors.yaml",
    "unknown_keys.yaml",
    "unknown_type.yaml",
    "value_errors.yaml",
    "wrong_kinds.yaml",
}


def load(path):
    with open(path, encoding="utf-8") as source:
        return yaml.safe_load(source)


def main():
    source_dir, kymdl = sys.argv[1], sys.argv[2]
    with open(os.path.join(source_dir, "docs", "model-file.schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    validator = jsonschema.Draft7Validator(schema)
    failures = []

    def expect(path, valid):
        errors = list(validator.iter_errors(load(path)))
        if valid and errors:
            failures.append("%s: %s at %s" % (path, errors[0].message, list(errors[0].absolute_path)))
        if not valid and not errors:
            failures.append("%s: valid, but its fault is a matter of the schema" % path)

    good = glob.glob(os.path.join(source_dir, "examples", "models", "*.yaml"))
    good += glob.glob(os.path.join(source_dir, "tests", "modelfile", "*.yaml"))
    good += glob.glob(os.path.join(source_dir, "tests", "modelfile", "checks", "*.yaml"))
    for path in sorted(good):
        expect(path, True)

    with tempfile.TemporaryDirectory() as scratch:
        everything = os.path.join(source_dir, "tests", "modelfile", "everything.yaml")
        for name in ("saved.yaml", "saved.json"):
            out = os.path.join(scratch, name)
            subprocess.run([kymdl, "convert", everything, out], check=True)
            expect(out, True)

    bad_dir = os.path.join(source_dir, "tests", "modelfile", "bad")
    for name in sorted(SCHEMA_FAULTS):
        expect(os.path.join(bad_dir, name), False)

    for failure in failures:
        print(failure, file=sys.stderr)
    print("validate_model_files: %d files checked, %d failures" % (len(good) + 2 + len(SCHEMA_FAULTS), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
