#!/usr/bin/env bash
# Builds the project with gcov instrumentation (coverage preset), runs the whole
# test suite and prints line, function and branch coverage of libs/ per file,
# then the totals.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/ensure-deps.sh
build=build/coverage

cmake --preset coverage >/dev/null
cmake --build --preset coverage
# Counters add up across runs: start from zero.
find "$build" -name '*.gcda' -delete
ctest --preset coverage >/dev/null

summary="$build/coverage-summary.json"
gcovr --root . --filter 'libs/' --object-directory "$build" \
  --exclude-unreachable-branches --exclude-throw-branches \
  --json-summary "$summary" >/dev/null

# One line per file, then the totals, from gcovr's summary.
python3 - "$summary" <<'PY'
import json, sys

data = json.load(open(sys.argv[1]))
def cell(covered, total):
    return f"{100.0 * covered / total:6.1f}% {covered:5}/{total:<5}" if total else f"{'-':>7} {'':11}"
print(f"{'file':52} {'lines':>19} {'functions':>19} {'branches':>19}")
for f in sorted(data["files"], key=lambda f: f["filename"]):
    print(f"{f['filename']:52} {cell(f['line_covered'], f['line_total'])} "
          f"{cell(f['function_covered'], f['function_total'])} {cell(f['branch_covered'], f['branch_total'])}")
print(f"{'libs/ in total':52} {cell(data['line_covered'], data['line_total'])} "
      f"{cell(data['function_covered'], data['function_total'])} {cell(data['branch_covered'], data['branch_total'])}")
PY
