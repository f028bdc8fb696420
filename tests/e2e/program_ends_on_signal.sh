#!/usr/bin/env bash
# Starts the real program hidden (--minimized), waits until a task due a few
# seconds later has run and its settings are saved, then sends it a
# termination signal: the program must end by itself, with status 0, without
# the close question (asked for in its settings) and with its settings file
# whole. Done for SIGTERM, SIGHUP and SIGINT.
#   program_ends_on_signal.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

built=$1
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Running, and not merely an exited child nobody has waited for yet.
alive() {
    [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)" != Z ]
}
fail() {
    echo "FAIL ($signal): $*"
    echo "--- settings file"; cat "$work/app/qmtaskscheduler2.ini" 2>/dev/null || true
    echo "--- program output"; cat "$work/program.out" 2>/dev/null || true
    exit 1
}

skip_near_midnight

mkdir -p "$work/app" "$work/home"
cp "$built" "$work/app/QMTaskScheduler2"
printf '#!/bin/sh\necho run >> "%s/runs.txt"\n' "$work" > "$work/job.sh"
chmod +x "$work/job.sh"
guid=0123456789ABCDEF0123456789ABCDEF01234567
today=$(date +%Y%m%d)

for signal in TERM HUP INT; do
    rm -f "$work/runs.txt"
    start=$(date -d '+3 seconds' +%Y%m%d-%H%M%S000)
    daily_task_settings 1 "$guid" Job "$work/job.sh" "" "$start" > "$work/app/qmtaskscheduler2.ini"

    HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" QT_QPA_PLATFORM=offscreen \
        "$work/app/QMTaskScheduler2" --minimized > "$work/program.out" 2>&1 &
    pid=$!

    for _ in $(seq 1 300); do
        [ -s "$work/runs.txt" ] && grep -q "datetime_lastexecuted=$today" "$work/app/qmtaskscheduler2.ini" && break
        alive "$pid" || fail "the program ended early"
        sleep 0.1
    done
    [ -s "$work/runs.txt" ] || fail "the task did not run"

    kill -s "$signal" "$pid"
    status=0
    for _ in $(seq 1 100); do
        alive "$pid" || break
        sleep 0.1
    done
    alive "$pid" && fail "the program is still running"
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status"
    grep -q "^datetime_lastexecuted=$today-" "$work/app/qmtaskscheduler2.ini" ||
        fail "the settings file lost the run"
    grep -q "^initype=qmtaskscheduler" "$work/app/qmtaskscheduler2.ini" ||
        fail "the settings file is not whole"
    # The run history is closed whole: no journal, no output file of a run.
    [ "$(ls "$work/app")" = "$(printf 'QMTaskScheduler2\nqmtaskscheduler2-history.sqlite\nqmtaskscheduler2.ini\nqmtaskscheduler2.log')" ] ||
        fail "files left behind: $(ls "$work/app")"
done
echo "PASS"
