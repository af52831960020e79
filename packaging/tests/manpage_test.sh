#!/usr/bin/env bash
# Renders the generated manual page as man(1) would and checks that it does
# so without a warning, that it has the sections help cannot carry, and that
# every long option of the command's help, and of each subcommand's, is in it.
#
#   manpage_test.sh PAGE COMMAND
set -euo pipefail
page=$1
command=$2

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
if [[ -n $warnings ]]; then
  echo "FAIL: man warns about $page:"
  echo "$warnings"
  exit 1
fi
text=$(MANWIDTH=80 MAN_KEEP_FORMATTING=0 man -l "$page" 2>/dev/null | col -b)

failures=0
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "RUN RULES" FILES EXAMPLES; do
  if ! grep -qx "$section" <<<"$text"; then
    echo "FAIL: no section $section"
    failures=$((failures + 1))
  fi
done

# The long names on the option lines of a help text ("  -q,--quiet  ...").
help_options() { "$command" "$@" --help | awk '/^  -/ { print $1 }' | tr ',' '\n' | grep -e '^--' | sort -u; }
subcommands=$("$command" --help | awk '/^Subcommands:$/ { on = 1; next } on && /^  [a-z]/ { print $1; next } on { exit }')
for sub in "" $subcommands; do
  if [[ -n $sub ]] && ! grep -q "truvello $sub" <<<"$text"; then
    echo "FAIL: subcommand $sub is not in the page"
    failures=$((failures + 1))
  fi
  for option in $(help_options ${sub:+"$sub"}); do
    if ! grep -qe "$option" <<<"$text"; then
      echo "FAIL: $option (truvello $sub --help) is not in the page"
      failures=$((failures + 1))
    fi
  done
done

if ((failures)); then
  exit 1
fi
echo "manual page: renders without warnings, every option present"
