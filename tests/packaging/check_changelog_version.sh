#!/bin/sh
# The changelog's newest entry names the project's version.
#   check_changelog_version.sh CHANGELOG VERSION
set -u
. "$(dirname "$0")/need.sh"
need dpkg-parsechangelog dpkg-dev
version=$(dpkg-parsechangelog -l "$1" -S Version) || exit 1
echo "changelog: $version, project: $2"
[ "$version" = "$2" ]
