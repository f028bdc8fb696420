#!/usr/bin/env bash
# The version of the build is the one that --version prints, the manual page
# names, the newest release of the metainfo has, and the Debian changelog's
# newest entry packages (before its Debian revision).
#   versions_agree.sh <version> <program> <built manual page> <metainfo> <debian/changelog>
set -euo pipefail

version=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

declare -A found
found[--version]=$(HOME="$home" QT_QPA_PLATFORM=offscreen timeout 30 "$2" --version |
    sed -n 's/^Version //p')
found[manual page]=$(sed -n 's/^\.TH .* "QMTaskScheduler2 \([^"]*\)".*/\1/p' "$3")
found[metainfo]=$(grep -o '<release [^>]*version="[^"]*"' "$4" | head -n 1 |
    sed 's/.*version="\([^"]*\)"/\1/')
debian=$(dpkg-parsechangelog -l "$5" -S Version)
found[debian/changelog]=${debian%-*}

status=0
for where in "${!found[@]}"; do
    if [ "${found[$where]}" != "$version" ]; then
        echo "FAIL: $where says '${found[$where]}', the build is $version"
        status=1
    fi
done
[ $status -eq 0 ] && echo "PASS: $version everywhere"
exit $status
