#!/usr/bin/env bash
# Builds (release preset) and runs the example host program.
# Build output goes to standard error; standard output is the program's own.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/ensure-deps.sh
cmake --preset release >&2
cmake --build --preset release --target host_model >&2
exec build/release/host_model "$@"
