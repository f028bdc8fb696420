#!/usr/bin/env bash
# Starts the real program hidden (--minimized), waits until a task due a few
# seconds later has run and its settings are saved, then sends it a
# termination signal: the program must end by itself, with status 0, without
# the close question (asked for in its settings) and with its settings file
# whole. Done for SIGTERM, SIGHUP and SIGINT, and for SIGTERM when the
# program was started with SIGHUP and SIGINT ignored (as under nohup): those
# two stay ignored.
#   program_ends_on_signal.sh <path of the built QMTaskScheduler2>
set -euo pipefail
# Job control: without it a background job starts with SIGINT ignored.
set -m
source "$(dirname "$0")/common.sh"

built=$1
start_work
# The program under test may be the one that does not end on a signal.
stop_signal=KILL
show="$work/app/qmtaskscheduler2.ini $work/program.out"

skip_near_midnight

mkdir -p "$work/app"
cp "$built" "$work/app/QMTaskScheduler2"
write_job run
guid=0123456789ABCDEF0123456789ABCDEF01234567
today=$(date +%Y%m%d)

# The signals a process ignores and catches, from /proc/<pid>/status.
signal_mask() {
    printf '%d' "0x$(awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status")"
}

for signal in TERM HUP INT ignored; do
    context=$signal
    rm -f "$work/runs.txt"
    start=$(date -d '+3 seconds' +%Y%m%d-%H%M%S000)
    daily_task_settings 1 "$guid" Job "$work/job.sh" "" "$start" > "$work/app/qmtaskscheduler2.ini"

    if [ "$signal" = ignored ]; then
        (trap '' HUP INT; exec "${at_home[@]}" QT_QPA_PLATFORM=offscreen "$work/app/QMTaskScheduler2" --minimized) > "$work/program.out" 2>&1 &
    else
        "${at_home[@]}" QT_QPA_PLATFORM=offscreen "$work/app/QMTaskScheduler2" --minimized > "$work/program.out" 2>&1 &
    fi
    pid=$!
    pids=($pid)

    wait_for_run "$pid" "$work/app/qmtaskscheduler2.ini" 30 || fail "the task did not run"

    if [ "$signal" = ignored ]; then
        # Bits of SIGHUP (1), SIGINT (2) and SIGTERM (15), each 1 << (n - 1).
        [ $(($(signal_mask "$pid" SigIgn) & 3)) -eq 3 ] || fail "SIGHUP or SIGINT is no longer ignored"
        [ $(($(signal_mask "$pid" SigCgt) & 0x4003)) -eq $((0x4000)) ] || fail "SIGTERM is not caught"
        signal=TERM
    fi
    kill -s "$signal" "$pid"
    status=0
    wait_for 10 eval '! alive "$pid"' || fail "the program is still running"
    wait "$pid" || status=$?
    pids=()
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
