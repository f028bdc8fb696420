#!/usr/bin/env bash
# Kill soak of the settings file: a child saving 1,000 tasks through the
# application store, over and over, is killed (SIGKILL) at random moments.
# After every kill the file must load whole, as the generation last reported
# saved or the next one; at the end, after one more save, no temporary file
# may be left beside it. Prints one summary line. Not part of the test suite.
#   scripts/soak-kill.sh [kills]      default 1000
set -euo pipefail
cd "$(dirname "$0")/.."

KILLS=${1:-1000}
scripts/setup-deps.sh
LAUNCHER=()
if command -v ccache >/dev/null; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DQMTS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target settings_saver >/dev/null
SAVER=$PWD/build/tests/settings/settings_saver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/settings
mkdir -p "$folder"
out=$work/out

temporaries() {
    find "$folder" -maxdepth 1 -name '.qmtaskscheduler2.ini.??????' | wc -l
}

start=$(date +%s)
t0=$EPOCHREALTIME
"$SAVER" once "$folder" 0 >/dev/null
t1=$EPOCHREALTIME
# Kill moments are spread over one and a half save times after the child
# announces its first save.
window_ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%d", (b - a) * 1500 }')

generation=0
during_write=0
most=0
for ((k = 1; k <= KILLS; k++)); do
    : >"$out"
    "$SAVER" loop "$folder" $((generation + 1)) >"$out" &
    pid=$!
    until grep -q '^saving' "$out"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "soak-kill: FAILED: the saver ended by itself" >&2
            exit 1
        fi
        sleep 0.005
    done
    sleep "$(awk -v r=$RANDOM -v w="$window_ms" 'BEGIN { printf "%.3f", r / 32767 * w / 1000 }')"
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true

    left=$(temporaries)
    ((left > 0)) && during_write=$((during_write + 1))
    ((left > most)) && most=$left
    # The last save the child reported done, or the one before it started.
    reported=$(grep -E '^[0-9]+$' "$out" | tail -n 1 || true)
    reported=${reported:-$generation}
    if ! found=$("$SAVER" check "$folder"); then
        echo "soak-kill: FAILED after kill $k: $found" >&2
        exit 1
    fi
    if [ "$found" != "$reported" ] && [ "$found" != $((reported + 1)) ]; then
        echo "soak-kill: FAILED after kill $k: generation $found, last reported $reported" >&2
        exit 1
    fi
    generation=$found
done

"$SAVER" once "$folder" $((generation + 1)) >/dev/null
left=$(temporaries)
others=$(find "$folder" -mindepth 1 ! -name qmtaskscheduler2.ini | wc -l)
if ((left != 0 || others != 0)); then
    echo "soak-kill: FAILED: $others files beside the settings file after the last save" >&2
    exit 1
fi
echo "soak-kill: $KILLS kills, $during_write during the file write (at most $most temporary" \
     "files at once), the file whole after every kill (generation $generation reached)," \
     "nothing left after the next save; $(($(date +%s) - start)) s"
