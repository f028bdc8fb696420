#!/usr/bin/env bash
# Builds the Debian source package and the binary packages of the commit that
# is checked out (HEAD, not uncommitted changes) with dpkg-buildpackage, puts
# them into the folder and checks them (packaging/check-package.sh).
#   scripts/package.sh [folder]     (default: dist/)
# The version comes from git (packaging/version.sh): a commit after the
# release tag gets a changelog entry of its own. The upstream tarball is
# `git archive` of the commit without debian/; the build, which runs the
# tests unless DEB_BUILD_OPTIONS has nocheck, happens in build-package/.
set -euo pipefail

# A folder given on the command line is taken from where the script was called.
OUT=${1:-}
if [ -n "$OUT" ]; then
    mkdir -p "$OUT"
    OUT=$(cd "$OUT" && pwd)
fi
cd "$(dirname "$0")/.."
OUT=${OUT:-$PWD/dist}
scripts/setup-deps.sh --package

if ! git diff --quiet HEAD -- 2>/dev/null; then
    echo "package: uncommitted changes are not in the package (it is built from HEAD)" >&2
fi

source=$(dpkg-parsechangelog -l debian/changelog -S Source)
upstream=$(packaging/version.sh)
work=$PWD/build-package
rm -rf "$work"
mkdir -p "$work"
git archive --format=tar --prefix="$source-$upstream/" HEAD -- . ':(exclude)debian' |
    gzip -9n >"$work/${source}_$upstream.orig.tar.gz"
tar -xzf "$work/${source}_$upstream.orig.tar.gz" -C "$work"
git archive --format=tar HEAD debian | tar -xf - -C "$work/$source-$upstream"
packaging/version.sh --changelog debian/changelog 2>/dev/null >"$work/$source-$upstream/debian/changelog"
version=$(dpkg-parsechangelog -l "$work/$source-$upstream/debian/changelog" -S Version)

echo "package: dpkg-buildpackage of $source $version (log: build-package/build.log)"
if ! (cd "$work/$source-$upstream" &&
      DEB_BUILD_OPTIONS="parallel=$(nproc 2>/dev/null || echo 2) ${DEB_BUILD_OPTIONS:-}" \
          dpkg-buildpackage -us -uc) >"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log"
    echo "package: dpkg-buildpackage failed" >&2
    exit 1
fi
# The compiler's warnings, if any, show in the log; CTest puts its test's
# number before each line of a test's output, which may name a warning.
if grep -E '(warning|error): ' "$work/build.log" | grep -Ev '^(dpkg-|[0-9]+: )'; then
    echo "package: the build warns (above)" >&2
    exit 1
fi

mkdir -p "$OUT"
changes=$work/${source}_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).changes
files=$(sed -n '/^Files:/,/^[^ ]/{s/^ .* \([^ ]*\)$/\1/p}' "$changes")
for f in $files; do
    cp "$work/$f" "$OUT/"
done
cp "$changes" "$OUT/"
packaging/check-package.sh "$OUT/$(basename "$changes")"
