#!/usr/bin/env bash
# Builds a release build in build-release/ and writes the Debian package
# (qmtaskscheduler2_<version>_<arch>.deb) into the folder, then checks that it
# holds what a desktop and Debian expect and that lintian finds no error.
#   scripts/package.sh [folder]     (default: dist/)
set -euo pipefail

# A folder given on the command line is taken from where the script was called.
OUT=${1:-}
if [ -n "$OUT" ]; then
    mkdir -p "$OUT"
    OUT=$(cd "$OUT" && pwd)
fi
cd "$(dirname "$0")/.."
OUT=${OUT:-dist}
JOBS=$(nproc 2>/dev/null || echo 2)
scripts/setup-deps.sh

# Debian's own build flags with every hardening feature; no debug
# information, since the package strips it anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQMTS_TESTS=OFF \
    -DQMTS_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
cmake --build build-release -j "$JOBS"
rm -rf build-release/package
cpack --config build-release/CPackConfig.cmake -B build-release/package >/dev/null

mkdir -p "$OUT"
deb=$(find build-release/package -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || { echo "cpack wrote no .deb" >&2; exit 1; }
cp "$deb" "$OUT/"
packaging/check-package.sh "$OUT/$(basename "$deb")"
