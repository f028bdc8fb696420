#!/usr/bin/env bash
# Builds the packages of HEAD twice, from two clones in folders of different
# names, made one after the other (so every file's time differs), and
# compares the .debs byte for byte. Slow: two package builds. Not part of
# ./test.sh.
#   scripts/reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."

commit=$(git rev-parse HEAD)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for clone in first second-clone; do
    git clone -q --no-hardlinks "$PWD" "$work/$clone/src"
    git -C "$work/$clone/src" checkout -q "$commit"
    "$work/$clone/src/scripts/package.sh" "$work/$clone/dist" >"$work/$clone.log" 2>&1 ||
        { tail -n 40 "$work/$clone.log"; echo "reproducible: the $clone build failed" >&2; exit 1; }
    sleep 1 # a later second for every file of the next clone
done

status=0
for deb in "$work"/first/dist/*.deb; do
    name=$(basename "$deb")
    one=$(sha256sum <"$deb" | cut -d' ' -f1)
    two=$(sha256sum <"$work/second-clone/dist/$name" | cut -d' ' -f1)
    if [ "$one" = "$two" ]; then
        echo "reproducible: $name $one in both builds"
    else
        echo "reproducible: $name DIFFERS: $one and $two" >&2
        status=1
    fi
done
exit $status
