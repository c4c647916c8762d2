#!/bin/sh
# The built Debian package's Depends: each package named once, and libcurl4 at
# 7.85 or later, the release whose protocol options the web session needs.
# Skipped when the package of this version has not been built.
#   check_depends.sh PACKAGE_DIR VERSION
set -u
. "$(dirname "$0")/need.sh"
need dpkg dpkg
deb="$1/trovewick_$2_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
    echo "SKIP: no package at $deb; scripts/package builds it"
    exit 77
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
twice=$(printf '%s\n' "$names" | sort | uniq -d)
if [ -n "$twice" ]; then
    echo "FAIL: named more than once:" $twice
    exit 1
fi
curl=$(printf '%s\n' "$depends" | tr ',' '\n' | sed -n 's/^ *libcurl4 (>= \(.*\))$/\1/p')
if [ -z "$curl" ] || ! dpkg --compare-versions "$curl" ge 7.85; then
    echo "FAIL: libcurl4 (>= 7.85) is not required"
    exit 1
fi
