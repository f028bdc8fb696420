#!/usr/bin/env bash
# Starts the real program on GNOME's compositor (mutter, headless) through
# Qt's Wayland plugin, as the autostart entry does (--minimized, no
# notification area, a notification service): it runs a task that comes due;
# a task that cannot start is told as a notification with its reason in
# words, as the window stays minimised although Qt's minimised flag turns
# false; a second start (with the activation token a desktop hands to what it
# launches) brings the first copy's window to the front and ends.
#   program_runs_on_wayland.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

command -v mutter > /dev/null || { echo "SKIP: mutter is missing"; exit 77; }
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" > /dev/null ||
    { echo "SKIP: qt6-wayland is missing"; exit 77; }
/usr/bin/python3 -c 'import dbusmock' 2> /dev/null || { echo "SKIP: python3-dbusmock is missing"; exit 77; }

# Everything below runs on a session bus of its own.
if [ -z "${QMTS_PRIVATE_BUS:-}" ]; then
    QMTS_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

built=$1
start_work
show="$work/*.out $work/compositor.log $work/runs.txt $work/notifications.log"

skip_near_midnight

mkdir -p "$work/app"
XDG_RUNTIME_DIR="$work/runtime" mutter --headless --wayland --no-x11 --virtual-monitor 1366x768 \
    --wayland-display wayland-qmts > "$work/compositor.log" 2>&1 &
pids+=($!)
wait_for 30 test -S "$work/runtime/wayland-qmts" || fail "mutter did not start"

/usr/bin/python3 -m dbusmock --session -t notification_daemon -l "$work/notifications.log" &
pids+=($!)
gdbus wait --session --timeout 30 org.freedesktop.Notifications || fail "no notification service"

cp "$built" "$work/app/QMTaskScheduler2"
write_job '$*'
# A program the system refuses to start: no execute permission.
printf '#!/bin/sh\n' > "$work/locked.exe"
chmod 644 "$work/locked.exe"
start=$(date -d '+4 seconds' +%Y%m%d-%H%M%S000)
{
    daily_task_settings 0 0123456789ABCDEF0123456789ABCDEF01234567 Wayland "$work/job.sh" on-wayland \
        "$start" | sed '/^\[system\]/,$d'
    daily_task_settings 0 89ABCDEF0123456789ABCDEF0123456789ABCDEF Locked "$work/locked.exe" "" \
        "$start" | sed -n '/^\[tasks/,$p'
} > "$work/app/qmtaskscheduler2.ini"

# No X server: only the Wayland plugin can show the window.
run() { # [program_args=...] run <output name> [environment...]
    local out=$1
    shift
    env -u DISPLAY "${at_home[@]}" WAYLAND_DISPLAY=wayland-qmts XDG_SESSION_TYPE=wayland \
        QT_QPA_PLATFORM=wayland "$@" "$work/app/QMTaskScheduler2" ${program_args:-} > "$work/$out.out" 2>&1
}
program_args=--minimized run first &
first=$!
pids+=($first)

wait_for_run "$first" "$work/app/qmtaskscheduler2.ini" 30 ||
    fail "the due task did not run, or the settings file has no new last-run time"
[ "$(cat "$work/runs.txt")" = on-wayland ] || fail "the due task did not run once"
wait_for 30 grep -q '"A task could not start" "Task "Locked": .*LastError = 13 (Permission denied)' \
    "$work/notifications.log" || fail "the failed start behind the minimised window was not told"

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
