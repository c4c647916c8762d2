#!/bin/sh
# lintian on the built Debian package: an error or a warning fails, unless
# packaging/lintian-overrides (installed in the package) names it with its
# reason. scripts/package-check runs it on the package it has just built, so
# a missing package is a failure.
#   check_lintian.sh PACKAGE_DIR VERSION
set -u
. "$(dirname "$0")/need.sh"
need lintian lintian
need dpkg dpkg
deb="$1/trovewick_$2_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
    echo "no package at $deb; scripts/package builds it" >&2
    exit 1
fi
echo "lintian $deb"
out=$(lintian --fail-on error,warning --display-info --show-overrides "$deb" 2>&1)
status=$?
# Lintian's note about being run as root says nothing about the package.
printf '%s\n' "$out" | grep -v '^running with root privileges is not recommended!$'
exit "$status"
