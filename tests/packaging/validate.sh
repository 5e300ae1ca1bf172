#!/usr/bin/env bash
# Runs the freedesktop validators on what the package installs for the desktop.
#
#   validate.sh desktop FILE.desktop
#   validate.sh metainfo FILE.metainfo.xml
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
. "$(dirname "$0")/common.sh"

kind=$1 file=$2
[[ -f $file ]] || fail "no file $file"
case $kind in
desktop)
    need desktop-file-validate desktop-file-utils
    # It prints nothing for a good file; hints and warnings count as faults too.
    out=$(desktop-file-validate "$file" 2>&1) || { echo "$out"; fail "desktop-file-validate rejects $file"; }
    [[ -z $out ]] || { echo "$out"; fail "desktop-file-validate warns about $file"; }
    echo "desktop-file-validate: $file is valid"
    ;;
metainfo)
    need appstreamcli appstream
    appstreamcli validate --no-net "$file" || fail "appstreamcli rejects $file"
    ;;
*) fail "unknown kind $kind" ;;
esac
