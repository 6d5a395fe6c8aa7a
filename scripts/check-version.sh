#!/usr/bin/env bash
# Checks that the version of CMakeLists.txt's project() has its entry in
# CHANGELOG.md, "## X.Y.Z - YYYY-MM-DD", the one the Debian changelogs are
# dated from.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

version="$(sed -n '/^project(/,/)/s/^ *VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)"
if [[ -z "$version" ]]; then
  echo "check-version: no VERSION in CMakeLists.txt's project()" >&2
  exit 1
fi
if ! grep -Eq "^## ${version//./\\.} - [0-9]{4}-[0-9]{2}-[0-9]{2}$" CHANGELOG.md; then
  echo "check-version: CHANGELOG.md has no entry '## $version - YYYY-MM-DD'" >&2
  exit 1
fi
echo "check-version: CHANGELOG.md has the entry of $version"
