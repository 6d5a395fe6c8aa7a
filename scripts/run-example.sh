#!/usr/bin/env bash
# A tour of the whole system on the example shop model: builds the tool and
# the example host program (the example preset: configured without tests and
# benchmarks, building only those two targets, unoptimised, since the tour's
# runs take milliseconds and an optimised build a third longer), then checks
# and shows examples/models/shop.yaml with kymdl, writes its tables into a
# fresh SQLite database, reflects that database back into a model file and
# checks that it gives the same tables, draws the class diagram, writes the
# documentation site, and runs the example host program.
# Build output goes to standard error; standard output tells what was done.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/ensure-deps.sh
cmake --preset example >&2
cmake --build --preset example >&2

kymdl=build/example/kymdl
model=examples/models/shop.yaml
out=build/tour
rm -rf "$out"
mkdir -p "$out"

step() { printf '\n== %s\n\n' "$*"; }

step "kymdl check $model"
"$kymdl" check "$model"
echo "no errors found (warnings, when any, are listed above)"

step "kymdl show $model Order"
"$kymdl" show "$model" Order

step "kymdl lookup $model Customer.id --bases"
"$kymdl" lookup "$model" Customer.id --bases

step "the tables, in a fresh SQLite database $out/shop.sqlite"
"$kymdl" ddl "$model" --dialect sqlite -o "$out/shop.sql"
sqlite3 "$out/shop.sqlite" < "$out/shop.sql"
echo "$(grep -c '^CREATE TABLE' "$out/shop.sql") tables created from $out/shop.sql"

step "the database reflected back into $out/shop-reflected.yaml"
"$kymdl" reflect "sqlite:$out/shop.sqlite" -o "$out/shop-reflected.yaml"
"$kymdl" ddl "$out/shop-reflected.yaml" --dialect sqlite -o "$out/shop-reflected.sql"
if cmp -s "$out/shop.sql" "$out/shop-reflected.sql"; then
  echo "the reflected model gives the same tables as $model"
else
  echo "the reflected model differs from $model:" >&2
  diff "$out/shop.sql" "$out/shop-reflected.sql" >&2 || true
  exit 1
fi

step "the class diagram"
"$kymdl" diagram "$model" --format svg -o build/shop.svg
echo "drawn into build/shop.svg"

step "the documentation site, in build/shop-site"
"$kymdl" doc "$model" -o build/shop-site
echo "open $(pwd)/build/shop-site/index.html in a browser (it works offline, from file://)"

step "the example host program (examples/host_model.cpp)"
build/example/host_model

step "files"
printf '%s\n' "$out/shop.sql" "$out/shop.sqlite" "$out/shop-reflected.yaml" build/shop.svg build/shop-site/index.html
