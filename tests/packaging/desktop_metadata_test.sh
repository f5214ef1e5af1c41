#!/usr/bin/env bash
# Usage: desktop_metadata_test.sh METAINFO DESKTOP_FILE VERSION
# The AppStream metainfo and the desktop entry pass their validators, name each other, and the
# newest release in the metainfo is the version being built (a version bump needs its notes).
set -euo pipefail
metainfo=$1
desktop=$2
version=$3

for tool in appstreamcli desktop-file-validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 77
    fi
done

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
status=0
if [ "$(basename "$desktop")" != "$id.desktop" ] || [ "$launchable" != "$id.desktop" ]; then
    echo "metainfo id '$id', launchable '$launchable', desktop file '$(basename "$desktop")'" \
        "do not match" >&2
    status=1
fi
if [ "$(basename "$metainfo")" != "$id.metainfo.xml" ]; then
    echo "metainfo file name '$(basename "$metainfo")' is not '$id.metainfo.xml'" >&2
    status=1
fi
# Releases are listed newest first.
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
if [ "$newest" != "$version" ]; then
    echo "newest release in $metainfo is '$newest', the project version is $version:" \
        "add its release notes" >&2
    status=1
fi
exit $status
