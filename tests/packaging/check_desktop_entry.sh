#!/bin/sh
# desktop-file-validate on the menu entry: any error, warning or hint fails.
set -u
. "$(dirname "$0")/need.sh"
need desktop-file-validate desktop-file-utils
out=$(desktop-file-validate "$1" 2>&1)
status=$?
[ -n "$out" ] && printf '%s\n' "$out"
[ "$status" -eq 0 ] && [ -z "$out" ]
