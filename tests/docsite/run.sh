#!/usr/bin/env bash
# Runs the browser checks of the site (site.test.mjs) with the npm packages
# of package-lock.json, installed here by `npm ci` when they are missing or
# older than the lock. Skips (exit 77) when node or Chromium is missing,
# except under CI, where that fails.
#   tests/docsite/run.sh KYMDL MODEL [MORE_SITE_DIRS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}
missing=()
command -v node >/dev/null 2>&1 || missing+=(node)
command -v npm >/dev/null 2>&1 || missing+=(npm)
[ -x "$chromium" ] || missing+=("chromium ($chromium)")
if [ ${#missing[@]} -gt 0 ]; then
    echo "docsite: ${missing[*]} missing (scripts/ensure-deps.sh installs them)" >&2
    [ -n "${CI:-}" ] && exit 1
    exit 77
fi
if [ ! -f "$here/node_modules/.package-lock.json" ] || [ "$here/package-lock.json" -nt "$here/node_modules/.package-lock.json" ]; then
    (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >&2)
fi
export CHROMIUM="$chromium"
cd "$here"
exec node --test-reporter=spec site.test.mjs "$@"
