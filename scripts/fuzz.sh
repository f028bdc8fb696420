#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each one, one after the
# other, first over its seed corpus and then for the given time.
#   scripts/fuzz.sh [seconds] [target ...]    default: 300 s, every target
# New inputs collect in build-fuzz/corpus/<target>/ (the seed corpus in
# fuzz/corpus/ stays as it is); a failing input is kept as
# build-fuzz/crashes/<target>-crash-... and ends the script with an error.
# Each target prints one line, its executions and seconds, also appended to
# build-fuzz/history.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-300}
shift || true
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    TARGETS=(fuzz_settings_store fuzz_app_store fuzz_profile_import fuzz_version1_values
             fuzz_command_line fuzz_run_journal)
fi

scripts/setup-deps.sh --test
LAUNCHER=()
if command -v ccache >/dev/null; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DQMTS_FUZZ=ON -DQMTS_TESTS=OFF \
      -DQMTS_BENCHMARKS=OFF -DQMTS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "${LAUNCHER[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target fuzzers

# The targets write their scratch files to the temporary folder; a memory
# file system keeps the disk out of it.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

mkdir -p build-fuzz/crashes
for t in "${TARGETS[@]}"; do
    corpus=build-fuzz/corpus/$t
    mkdir -p "$corpus"
    log=build-fuzz/$t.log
    # Every seed whole first (some are larger than the fuzzing length: the
    # section-name list limit needs 16 KB), then fuzzing on inputs up to 4 KB.
    if ! build-fuzz/fuzz/$t fuzz/corpus/$t/* >"$log" 2>&1 ||
        ! build-fuzz/fuzz/$t "$corpus" "fuzz/corpus/$t" -max_total_time="$SECONDS_EACH" \
            -max_len=4096 -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t-" \
            >>"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$t: FAILED, input kept in build-fuzz/crashes/" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
    echo "$t: ${runs:-?} executions in ${took:-?} s, no failure" |
        tee -a build-fuzz/history.txt
done
