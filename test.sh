#!/usr/bin/env bash
# Builds with warnings as errors and runs every test through CTest; then does
# the same in a second build with AddressSanitizer and UndefinedBehaviorSanitizer;
# then runs the fuzz targets briefly (scripts/fuzz.sh); last, builds the
# Debian source and binary packages and checks them (scripts/package.sh).
#   ./test.sh                 all of it
#   QMTS_FAST=1 ./test.sh     the plain build only
#   QMTS_FUZZ_SECONDS=60 ./test.sh   fuzz each target longer
#   ./test.sh -R Settings     pass CTest options (a filter, for example)
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup-deps.sh --test

JOBS=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DQMTS_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
    ctest --test-dir "$dir" -j "$JOBS" --timeout 300 "${CTEST_ARGS[@]}"
}

CTEST_ARGS=("$@")

echo "== build and test (warnings as errors)"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMTS_TESTS=ON -DQMTS_BENCHMARKS=ON

if [ "${QMTS_FAST:-0}" != "1" ]; then
    echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
    run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQMTS_SANITIZE=ON -DQMTS_TESTS=ON \
        -DQMTS_BENCHMARKS=OFF

    echo "== fuzz targets: every seed, then ${QMTS_FUZZ_SECONDS:-20} s each"
    scripts/fuzz.sh "${QMTS_FUZZ_SECONDS:-20}"

    echo "== Debian package: source and binary packages, lintian, metainfo, desktop entry, manual page"
    scripts/package.sh
fi
echo "== all tests passed"
