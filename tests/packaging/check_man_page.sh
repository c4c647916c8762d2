#!/bin/sh
# Formats a manual page as man shows it on an 80-column terminal, with every
# warning groff can give; the page passes when nothing is printed on standard
# error.
set -u
. "$(dirname "$0")/need.sh"
need man man-db
err=$(MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)
status=$?
[ -n "$err" ] && printf '%s\n' "$err"
[ "$status" -eq 0 ] && [ -z "$err" ]
