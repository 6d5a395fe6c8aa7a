#!/usr/bin/env bash
# Checks that the README's C++ example is exactly examples/readme_example.cpp,
# which the build compiles as an example program.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

block="$(awk '/^```cpp$/ {inside = 1; next} inside && /^```$/ {exit} inside {print}' README.md)"
if [[ "$block" != "$(cat examples/readme_example.cpp)" ]]; then
  echo "check-readme: README.md's cpp block differs from examples/readme_example.cpp:" >&2
  diff <(printf '%s\n' "$block") examples/readme_example.cpp >&2 || true
  exit 1
fi
echo "check-readme: the README example is examples/readme_example.cpp"
