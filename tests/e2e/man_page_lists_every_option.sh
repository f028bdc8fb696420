#!/usr/bin/env bash
# The manual page and the program's own --help name the same long options.
#   man_page_lists_every_option.sh <program> <manual page source>
set -euo pipefail

program=$1
page=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

help=$(HOME="$home" XDG_DATA_HOME="$home" QT_QPA_PLATFORM=offscreen timeout 30 "$program" --help)
from_help=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
# Options are written \-\-name in the page's OPTIONS section.
from_page=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | grep -oE -- '\\-\\-[a-z][a-z-]*' |
    sed 's/\\//g' | sort -u)
[ -n "$from_help" ] || { echo "FAIL: --help names no option"; exit 1; }
if [ "$from_help" != "$from_page" ]; then
    echo "FAIL: --help and the manual page differ"
    diff <(echo "$from_help") <(echo "$from_page") || true
    exit 1
fi
echo "PASS: $(echo $from_help)"
