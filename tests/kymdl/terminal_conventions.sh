#!/usr/bin/env bash
# How kymdl talks to a terminal, run on a pseudo-terminal made by script(1):
# colour by default, none with NO_COLOR set (an empty NO_COLOR counts as
# unset), none and no cursor codes with TERM=dumb, none with --color=never.
# Usage: terminal_conventions.sh KYMDL (run from the source tree)
set -uo pipefail
kymdl="$1"
bad="tests/modelfile/bad/unknown_type.yaml"
esc=$'\033'
red="${esc}[1;31m"
failures=0

# on_terminal ENV...: kymdl check of the bad file on a pseudo-terminal, with
# the environment variables given; prints what the terminal showed.
on_terminal() {
  env "$@" script -qec "$kymdl check $bad" /dev/null
}

# expect WHAT SHOWN CODE WANT: whether SHOWN holds CODE (the colour of
# "error", or any escape at all) is WANT (yes or no).
expect() {
  local what="$1" shown="$2" code="$3" want="$4"
  local has=no
  [[ "$shown" == *"$code"* ]] && has=yes
  if [[ "$has" != "$want" ]]; then
    echo "terminal_conventions: $what: ${code@Q} shown: $has, expected: $want" >&2
    failures=$((failures + 1))
  fi
}

expect "a terminal" "$(on_terminal -u NO_COLOR TERM=xterm)" "$red" yes
expect "NO_COLOR=1" "$(on_terminal TERM=xterm NO_COLOR=1)" "$red" no
expect "an empty NO_COLOR" "$(on_terminal TERM=xterm NO_COLOR=)" "$red" yes
expect "TERM=dumb" "$(on_terminal -u NO_COLOR TERM=dumb)" "$esc" no
expect "--color=never" "$(env -u NO_COLOR TERM=xterm script -qec "$kymdl --color=never check $bad" /dev/null)" "$red" no
if ! grep -q "M012" <<<"$(on_terminal -u NO_COLOR TERM=dumb)"; then
  echo "terminal_conventions: the diagnostics did not show on the terminal" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
