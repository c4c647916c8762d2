#!/bin/sh
# appstreamcli validate on the AppStream metadata, offline: an error or a
# warning fails (the validator exits non-zero for either); infos and pedantic
# notes are shown but pass.
set -u
. "$(dirname "$0")/need.sh"
need appstreamcli appstream
appstreamcli validate --no-net --explain "$1"
