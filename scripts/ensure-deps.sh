#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Prints nothing when everything is already installed.
set -euo pipefail

packages=(
  cmake
  ninja-build
  g++
  clang
  libclang-rt-14-dev
  libicu-dev
  libyaml-dev
  pkg-config
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  doxygen
  gcovr
  libsqlite3-dev
  sqlite3
  libpq-dev
  postgresql
  libcli11-dev
  graphviz
  dpkg-dev
  lintian
  help2man
  man-db
  bash-completion
  python3-jsonschema
  python3-yaml
  chromium
  zsh
  fish
  nodejs
)

missing=()
for pkg in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$pkg")
  fi
done

# npm: Debian's package, unless a node that brings its own npm (and conflicts
# with Debian's) is installed.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "ensure-deps: installing missing packages: ${missing[*]}" >&2

as_root=()
if [[ "$(id -u)" -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "ensure-deps: not root and sudo is not available; install as root: ${missing[*]}" >&2
    exit 1
  fi
fi

"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
