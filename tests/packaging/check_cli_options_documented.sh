#!/bin/sh
# Every long option trovewick-cli --help lists has its own entry in the manual
# page: a tagged paragraph (.TP) whose tag line names it.
#   check_cli_options_documented.sh TROVEWICK_CLI MAN_PAGE
set -u
help=$("$1" --help) || { echo "FAIL: $1 --help exited non-zero"; exit 1; }
options=$(printf '%s\n' "$help" | sed -n 's/^ *\(-[a-zA-Z], \)\{0,1\}--\([a-z0-9-]*\).*/\2/p')
[ -n "$options" ] || { echo "FAIL: no options found in the --help text"; exit 1; }
# The tag lines, with roff's escaped dashes (\-) made plain and font macros
# dropped, so "--max-pages" can be looked for as a whole word.
tags=$(awk 'previous == ".TP" { print } { previous = $0 }' "$2" \
    | sed 's/\\-/-/g; s/^\.[A-Z]* //; s/"//g')
missing=
for option in $options; do
    if ! printf '%s\n' "$tags" | grep -q -- "\(^\|[ ,]\)--$option\([ ,]\|$\)"; then
        missing="$missing --$option"
    fi
done
if [ -n "$missing" ]; then
    echo "FAIL: no entry in $2 for:$missing"
    exit 1
fi
echo "documented:" $options
