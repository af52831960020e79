#!/bin/sh
# Stands in for the truvello command when help2man writes the manual page, so
# that the page is made from the command's own help and cannot drift from it.
#
#   help_for_man.sh COMMAND --help | --version
#
# --version: only the first line ("truvello X.Y.Z"); help2man would take the
#   library line below it for a copyright notice.
# --help: the command's help, then the help of each subcommand listed under
#   "Subcommands:", shaped the way help2man reads it: the subcommands' usage
#   lines join the synopsis as "or:" lines, and each subcommand's arguments
#   and options become one subsection "Options of truvello NAME:".
# CLI11 writes option names as "-q,--quiet"; a space after the comma lets
# help2man set both names in bold.
# A help text's paragraph on exit statuses is left out: the page's own EXIT
# STATUS section (truvello.h2m) lists them for every subcommand.
set -eu
command=$1
shift
case "${1-}" in
  --version)
    "$command" --version | head -n 1
    exit 0
    ;;
  --help) ;;
  *)
    echo "usage: $0 COMMAND --help|--version" >&2
    exit 64
    ;;
esac

spaced() { sed -e 's/^\(  *-[^ ,]*\),\(--\)/\1, \2/'; }
without_exit_status() { awk '/^Exit status/ { skip = 1 } skip && /^$/ { skip = 0; next } !skip'; }

main_help=$("$command" --help | spaced | without_exit_status)
subcommands=$(printf '%s\n' "$main_help" |
  awk '/^Subcommands:$/ { inside = 1; next } inside && /^  [a-z]/ { print $1; next } inside { exit }')

usage_lines=""
for sub in $subcommands; do
  line=$("$command" "$sub" --help | sed -n 's/^Usage: //p' | head -n 1)
  # CLI11 names a subcommand in its usage line without the command.
  case $line in
    "$sub" | "$sub "*) line="truvello $line" ;;
  esac
  usage_lines="$usage_lines  or:  $line
"
done

# The main help with the subcommands' usage lines after its own.
printf '%s\n' "$main_help" | awk -v extra="$usage_lines" '
  { print }
  /^Usage: / && extra != "" { printf "%s", extra }'

for sub in $subcommands; do
  printf '\nOptions of truvello %s:\n' "$sub"
  # Drop the description and usage (shown elsewhere) and the help flag; the
  # argument and option lists run together under the one heading.
  "$command" "$sub" --help | spaced | without_exit_status | awk '
    /^(Positionals|Options):$/ { lists = 1; blank = 0; next }
    !lists { next }
    /^  -h, --help / { next }
    /^$/ { blank = 1; next }
    { if (blank) print ""; blank = 0; print }'
done
