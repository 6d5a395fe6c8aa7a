#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target on its seed corpus for a
# bounded time: SECONDS per target (first argument, default 30). Fails on the
# first finding. A longer run: scripts/run-fuzz.sh 3600
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-30}"
scripts/ensure-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for seeds in tests/fuzz/corpus/*/; do
  name="$(basename "$seeds")"
  mkdir -p "$work/$name"
  echo "fuzz_$name: ${seconds} s"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
    "build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
    "$work/$name" "$seeds" 2>"$work/$name.log" || { tail -n 60 "$work/$name.log"; exit 1; }
  grep -E 'stat::number_of_executed_units' "$work/$name.log" || true
done
