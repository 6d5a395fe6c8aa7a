#!/usr/bin/env bash
# Times `kymdl doc` on the GitLab schema of ../shared/schemas and on the shop
# model, by hand (never a test): starts a PostgreSQL server of its own in a
# scratch folder, loads the schema, reflects it into a model file, then
# writes the site with and without diagrams. With --check the GitLab site's
# pages are then checked for HTML5 and links (tests/docsite/run.sh); its
# exit status is then the checks'.
#   scripts/doc-speed.sh [--check] [KYMDL]   (default build/dev/kymdl)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=
if [ "${1:-}" = --check ]; then check=1; shift; fi
kymdl=${1:-$root/build/dev/kymdl}
schema=$root/../shared/schemas/gitlab_schema.sql
[ -x "$kymdl" ] || { echo "no $kymdl; build the tool first" >&2; exit 1; }
skip=0
[ -n "$check" ] && skip=77
[ -f "$schema" ] || { echo "skipped: ../shared/schemas/gitlab_schema.sql is missing" >&2; exit $skip; }
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$bin" ] || { echo "skipped: the PostgreSQL server is not installed" >&2; exit $skip; }

scratch=$(mktemp -d)
as=()
if [ "$(id -u)" = 0 ]; then chown postgres "$scratch"; as=(runuser -u postgres --); fi
stop() { "${as[@]}" "$bin/pg_ctl" -D "$scratch/data" -m immediate stop >/dev/null 2>&1 || true; rm -rf "$scratch"; }
trap stop EXIT
"${as[@]}" "$bin/initdb" -D "$scratch/data" -A trust -U postgres -E UTF8 --locale=C --no-sync >/dev/null
"${as[@]}" "$bin/pg_ctl" -D "$scratch/data" -l "$scratch/server.log" -w \
    -o "-k $scratch -c listen_addresses='' -c fsync=off" start >/dev/null
"$bin/psql" -q -h "$scratch" -U postgres -d postgres -v ON_ERROR_STOP=1 -1 -f "$schema" >/dev/null
model=$scratch/gitlab.yaml
"$kymdl" reflect "postgresql://postgres@/postgres?host=$scratch" -o "$model" 2>/dev/null || true
[ -s "$model" ] || { echo "reflecting the GitLab schema gave no model" >&2; exit 1; }

timed() {  # label, then the command
    local label=$1; shift
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    printf '%-40s %6.2f s\n' "$label" "$(echo "$end - $start" | bc)"
}
timed "gitlab (778 classes), diagrams" "$kymdl" doc "$model" -o "$scratch/site"
timed "gitlab, --no-diagrams" "$kymdl" doc "$model" -o "$scratch/site-plain" --no-diagrams
timed "shop, diagrams" "$kymdl" doc "$root/examples/models/shop.yaml" -o "$scratch/shop"
echo "GitLab site: $(find "$scratch/site" -type f | wc -l) files, $(du -sh "$scratch/site" | cut -f1)"
if [ -n "$check" ]; then
    "$root/tests/docsite/run.sh" "$kymdl" - "$scratch/site"
fi
if [ -n "${KYMDL_DOC_KEEP:-}" ]; then
    rm -rf "$KYMDL_DOC_KEEP" && cp -r "$scratch/site" "$KYMDL_DOC_KEEP" && echo "kept the GitLab site in $KYMDL_DOC_KEEP"
fi
