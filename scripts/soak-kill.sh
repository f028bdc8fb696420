#!/usr/bin/env bash
# Kill soaks. First the settings file: a child saving 1,000 tasks through the
# application store, over and over, is killed (SIGKILL) at random moments of
# its file writes. After every kill the file must load whole, as the
# generation last reported saved or the next one; at the end, after one more
# save, nothing but the settings file may be left in its folder. Then the
# starts: the real program, killed around the starts of daily tasks and
# (one kill in fifteen) around catch-ups, must start no task twice and lose
# none without a word. Prints one summary line each. Not part of the test
# suite; the starts soak takes about 40 minutes at 300 kills.
#   scripts/soak-kill.sh [kills] [start kills]      defaults 1000 and 300
set -euo pipefail
cd "$(dirname "$0")/.."

KILLS=${1:-1000}
START_KILLS=${2:-300}
scripts/setup-deps.sh --test
LAUNCHER=()
if command -v ccache >/dev/null; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DQMTS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target settings_saver QMTaskScheduler2 >/dev/null
SAVER=$PWD/build/tests/settings/settings_saver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$work/settings
mkdir -p "$folder"
pid=0
last_done=0

# The saver's lines come through a pipe, read by the shell itself, and the
# pauses are timed-out reads: no process is started between a write's start
# and its kill, which would take longer than the write.
mkfifo "$work/lines" "$work/idle"
exec 4<>"$work/idle"
nap_us() {
    read -r -t "$(printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)))" -u 4 _ || true
}

temporaries() {
    find "$folder" -maxdepth 1 -name '.qmtaskscheduler2.ini.??????' | wc -l
}

start_saver() {
    last_done=$(($1 - 1))
    "$SAVER" loop "$folder" "$1" >"$work/lines" &
    pid=$!
    exec 3<"$work/lines"
}

# Reads the saver's lines up to one that matches the pattern.
wait_for() {
    local line
    while IFS= read -r line <&3; do
        [[ $line =~ ^[0-9]+$ ]] && last_done=$line
        [[ $line =~ $1 ]] && return 0
    done
    echo "soak-kill: FAILED: the saver ended by itself" >&2
    exit 1
}

# Kills the saver and reads what it reported up to then.
stop_saver() {
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true
    local line
    while IFS= read -r line <&3; do
        [[ $line =~ ^[0-9]+$ ]] && last_done=$line
    done
    exec 3<&-
}

start=$(date +%s)
"$SAVER" once "$folder" 0 >/dev/null

# Five file writes are timed; each kill then comes at a random moment within
# one and a half times their median after a write begins.
start_saver 1
times=()
for g in 1 2 3 4 5; do
    wait_for "^saving $g\$"
    t0=${EPOCHREALTIME/./}
    wait_for "^$g\$"
    t1=${EPOCHREALTIME/./}
    times+=($((t1 - t0)))
done
stop_saver
median_us=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
window_us=$((median_us * 3 / 2 + 1))
generation=$("$SAVER" check "$folder")

during_write=0
most=0
for ((k = 1; k <= KILLS; k++)); do
    start_saver $((generation + 1))
    delay=$((RANDOM * window_us / 32767))
    wait_for '^saving'
    nap_us "$delay"
    stop_saver

    left=$(temporaries)
    ((left > 0)) && during_write=$((during_write + 1))
    ((left > most)) && most=$left
    if ! found=$("$SAVER" check "$folder"); then
        echo "soak-kill: FAILED after kill $k: $found" >&2
        exit 1
    fi
    # The last save the child reported done, or the one after it.
    if [ "$found" != "$last_done" ] && [ "$found" != $((last_done + 1)) ]; then
        echo "soak-kill: FAILED after kill $k: generation $found, last reported $last_done" >&2
        exit 1
    fi
    generation=$found
done

"$SAVER" once "$folder" $((generation + 1)) >/dev/null
others=$(find "$folder" -mindepth 1 ! -name qmtaskscheduler2.ini | wc -l)
if ((others != 0)); then
    echo "soak-kill: FAILED: $others files beside the settings file after the last save" >&2
    exit 1
fi
echo "soak-kill: $KILLS kills within $(printf '%d.%d' $((window_us / 1000)) $((window_us % 1000 / 100))) ms of a write's start," \
     "$during_write of them during the file write (at most $most temporary file(s) at once);" \
     "the file loaded whole after every kill (generation $generation reached);" \
     "nothing left after the next save; $(($(date +%s) - start)) s"

bash tests/e2e/program_starts_each_task_once_under_kills.sh build/ui/QMTaskScheduler2 \
    "$START_KILLS" $((START_KILLS / 15)) | sed 's/^/soak-kill: starts: /'
