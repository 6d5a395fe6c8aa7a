#!/usr/bin/env bash
# Configures, builds everything (libraries, tests, benchmarks, examples) with
# the dev preset, then runs the whole test suite.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/ensure-deps.sh
cmake --workflow --preset dev
