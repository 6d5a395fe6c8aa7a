#!/usr/bin/env python3
"""A YAML 1.1 reader (PyYAML, Debian python3-yaml) reads the user property
names that YAML 1.1 or 1.2 would take for booleans or null back as the same
string keys, once kymdl has saved them: none is merged with another or lost.

Usage: yaml11_keys_test.py KYMDL
"""
import json
import os
import subprocess
import sys
import tempfile

import yaml

# Each of these is a boolean or null to some YAML reader when left unquoted.
NAMES = ["null", "Null", "NULL", "~", "true", "True", "false", "FALSE", "yes", "Yes", "no", "NO",
         "on", "On", "off", "OFF", "y", "Y", "n", "N"]


def main():
    kymdl = sys.argv[1]
    properties = {name: "value of %s" % name for name in NAMES}
    model = {"caseSensitiveNames": True,
             "classes": [{"name": "Item", "userProperties": properties}]}
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "in.json")
        saved = os.path.join(scratch, "saved.yaml")
        with open(source, "w", encoding="utf-8") as f:
            json.dump(model, f)
        subprocess.run([kymdl, "convert", source, saved], check=True)
        with open(saved, encoding="utf-8") as f:
            read = yaml.safe_load(f)
    got = read["classes"][0]["userProperties"]
    failures = [name for name in NAMES if got.get(name) != properties[name]]
    strays = [key for key in got if not isinstance(key, str)]
    for name in failures:
        print("yaml11_keys_test: the key %r did not come back as itself" % name, file=sys.stderr)
    for key in strays:
        print("yaml11_keys_test: a key came back as %r" % (key,), file=sys.stderr)
    return 1 if failures or strays else 0


if __name__ == "__main__":
    sys.exit(main())
