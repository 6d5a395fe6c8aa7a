#!/usr/bin/env bash
# The shell completion of kymdl knows every subcommand and every long option
# that the tool's own --help lists, and each script is valid for its shell
# (zsh and fish checked when installed). Usage: completion_test.sh KYMDL
# (run from the source tree)
set -uo pipefail
kymdl="$1"
dir="tools/kymdl/completion"
failures=0

fail() {
  echo "completion_test: $*" >&2
  failures=$((failures + 1))
}

subcommands="$("$kymdl" --help | sed -n '/^Subcommands:/,$s/^  \([a-z]\+\) .*/\1/p')"
options="$("$kymdl" --help | grep -o -- '--[a-z-]\+' | sort -u)"
for sub in $subcommands; do
  options+=$'\n'"$("$kymdl" "$sub" --help | grep -o -- '--[a-z-]\+' | sort -u)"
done
for script in kymdl.bash _kymdl kymdl.fish; do
  text="$(cat "$dir/$script")"
  for word in $subcommands; do
    [[ "$text" == *"$word"* ]] || fail "$script does not complete the subcommand $word"
  done
  for option in $(sort -u <<<"$options"); do
    # fish spells a long option as "-l name".
    [[ "$text" == *"$option"* || "$text" == *"-l ${option#--}"* ]] || fail "$script does not complete $option"
  done
done

# Each subcommand's own long options, where bash and fish offer that
# subcommand's options (the bash case line, the fish lines naming it).
for sub in $subcommands; do
  own="$("$kymdl" "$sub" --help | sed -n '/^Options:/,$p' | grep -o -- '--[a-z-]\+' | sort -u | grep -vx -- '--help')"
  bashLine="$(grep -E "^ +$sub\) options=" "$dir/kymdl.bash")"
  for option in $own; do
    [[ "$bashLine" == *"$option"* ]] || fail "kymdl.bash does not offer $option for $sub"
    grep -E "__fish_seen_subcommand_from [a-z ]*\b$sub\b.*-l ${option#--}( |$)" "$dir/kymdl.fish" >/dev/null ||
      fail "kymdl.fish does not offer $option for $sub"
  done
done

bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null; source "$1" && complete -p kymdl' _ \
  "$dir/kymdl.bash" >/dev/null || fail "the bash completion does not load"
if command -v zsh >/dev/null; then zsh -n "$dir/_kymdl" || fail "_kymdl is not valid zsh"; fi
if command -v fish >/dev/null; then fish -n "$dir/kymdl.fish" || fail "kymdl.fish is not valid fish"; fi
exit $((failures > 0))
