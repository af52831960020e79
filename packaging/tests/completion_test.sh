#!/usr/bin/env bash
# Drives the bash completion of truvello the way bash-completion does and
# checks what it offers, and that it offers every long option the built
# command's help lists, for the command and each of its subcommands.
#
#   completion_test.sh COMPLETION_FILE COMMAND
set -euo pipefail
completion=$1
command=$2

source /usr/share/bash-completion/bash_completion
# shellcheck source=/dev/null
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch base.json cand.json notes.txt
mkdir runs

# Completes the last word of the given command line, split into words as bash
# splits it ("=" is a word of its own); prints the sorted offers on one line.
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$1
  local i
  for ((i = 1; i < $#; i++)); do
    if [[ ${COMP_WORDS[i]} == "=" || ${COMP_WORDS[i - 1]} == "=" ]]; then
      COMP_LINE+=${COMP_WORDS[i]}
    else
      COMP_LINE+=" ${COMP_WORDS[i]}"
    fi
  done
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _truvello truvello "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
expect() {
  local want=$1
  shift
  local got
  got=$(complete_line "$@")
  if [[ $got != "$want" ]]; then
    echo "FAIL: '$*' offered '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}

# line typed so far                         what must be offered
expect "--export-csv --export-html --export-json --export-markdown --export-prometheus" truvello --exp
expect "ab compare fleet report"          truvello ''
expect "--quick --quiet"                    truvello --qu
expect ""                                   truvello --measure ''
expect "base.json cand.json notes.txt runs" truvello --export-json ''
expect "notes.txt"                          truvello --single --export-html n
expect "notes.txt"                          truvello --export-csv = n
expect ""                                   truvello --repeat = ''
expect "base.json cand.json runs"           truvello compare ''
expect "base.json cand.json runs"           truvello compare base.json ''
expect "--fail-if-slower"                   truvello compare base.json --f
expect ""                                   truvello compare --fail-if-slower ''
expect "base.json cand.json notes.txt runs" truvello compare a.json --export-markdown ''
expect "base.json cand.json runs"           truvello report ''
expect "--export-html --export-prometheus --help" truvello report --
expect "base.json cand.json runs"           truvello fleet runs ''
expect "--setup-a --setup-b"                truvello ab --setup-
expect "base.json cand.json notes.txt runs" truvello report --export-html ''

# Every long option of the built command's help, per subcommand.
# The long names on the option lines of a help text ("  -q,--quiet  ...").
help_options() { "$command" "$@" --help | awk '/^  -/ { print $1 }' | tr ',' '\n' | grep -e '^--' | sort -u; }
subcommands=$("$command" --help | awk '/^Subcommands:$/ { on = 1; next } on && /^  [a-z]/ { print $1; next } on { exit }')
for sub in "" $subcommands; do
  words=(truvello)
  [[ -n $sub ]] && words+=("$sub")
  offered=" $(complete_line "${words[@]}" --) "
  for option in $(help_options ${sub:+"$sub"}); do
    if [[ $offered != *" $option "* ]]; then
      echo "FAIL: 'truvello $sub --' does not offer $option, which --help lists"
      failures=$((failures + 1))
    fi
  done
done

if ((failures)); then
  exit 1
fi
echo "completion: all offers as expected"
