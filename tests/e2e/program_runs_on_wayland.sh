#!/usr/bin/env bash
# Starts the real program on a headless Weston through Qt's Wayland plugin, as
# on a Wayland desktop session: it runs a task that comes due, and a second
# start (with the activation token a desktop hands to what it launches) brings
# the first copy's window to the front and ends.
#   program_runs_on_wayland.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

command -v weston > /dev/null || { echo "SKIP: weston is missing"; exit 77; }
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" > /dev/null ||
    { echo "SKIP: qt6-wayland is missing"; exit 77; }

built=$1
start_work
show="$work/*.out $work/weston.log $work/runs.txt"

skip_near_midnight

mkdir -p "$work/app"
XDG_RUNTIME_DIR="$work/runtime" weston --backend=headless-backend.so --socket=wayland-qmts \
    --idle-time=0 > "$work/weston.log" 2>&1 &
pids+=($!)
wait_for 30 test -S "$work/runtime/wayland-qmts" || fail "weston did not start"

cp "$built" "$work/app/QMTaskScheduler2"
write_job '$*'
start=$(date -d '+4 seconds' +%Y%m%d-%H%M%S000)
daily_task_settings 0 0123456789ABCDEF0123456789ABCDEF01234567 Wayland "$work/job.sh" on-wayland \
    "$start" > "$work/app/qmtaskscheduler2.ini"

# No X server: only the Wayland plugin can show the window.
run() { # run <output name> [environment...]
    local out=$1
    shift
    env -u DISPLAY "${at_home[@]}" WAYLAND_DISPLAY=wayland-qmts XDG_SESSION_TYPE=wayland \
        QT_QPA_PLATFORM=wayland "$@" "$work/app/QMTaskScheduler2" > "$work/$out.out" 2>&1
}
run first &
first=$!
pids+=($first)

wait_for_run "$first" "$work/app/qmtaskscheduler2.ini" 30 ||
    fail "the due task did not run, or the settings file has no new last-run time"
[ "$(cat "$work/runs.txt")" = on-wayland ] || fail "the due task did not run once"

status=0
timeout 30 bash -c "$(declare -f run); $(declare -p work at_home)
    run second XDG_ACTIVATION_TOKEN=token-of-the-second-start" || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with status $status"
grep -q "its window has been brought to the front" "$work/second.out" ||
    fail "the second start was not answered"
wait_for 5 grep -q "another start asked for the window: shown, not minimised" "$work/first.out" ||
    fail "the first copy did not show its window"
kill -0 "$first" 2> /dev/null || fail "the first copy ended"
echo "PASS"
