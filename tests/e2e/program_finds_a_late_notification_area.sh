#!/usr/bin/env bash
# Starts the real program at login as the autostart entry does (--minimized,
# "Keep running" on) on an X server with a private session bus and a
# notification service, before any notification area exists:
#   - a failed start reaches the notification service with no tray at all;
#   - an XEmbed tray (trayer) started 10 s later gets the icon, and the
#     minimised window moves into it;
#   - a StatusNotifierItem host that comes then gets the item, and the XEmbed
#     icon goes (one icon, never two); when the host goes, the XEmbed icon
#     comes back;
#   - a second start from a launcher (DESKTOP_STARTUP_ID) has the running
#     copy end the launch feedback on the root window.
#   program_finds_a_late_notification_area.sh <path of the built QMTaskScheduler2>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

for tool in Xvfb dbus-run-session trayer xwininfo xev xprop gdbus; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import dbusmock' 2> /dev/null || { echo "SKIP: python3-dbusmock is missing"; exit 77; }

# Everything below runs on a session bus of its own.
if [ -z "${QMTS_PRIVATE_BUS:-}" ]; then
    QMTS_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

built=$1
start_work
show="$work/*.log $work/program.out"
on_fail() { xwininfo -root -tree 2> /dev/null | grep -iE "trayer|panel|QMTaskScheduler2|Quillmar" || true; }
on_bus() {
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.NameHasOwner "$1" 2> /dev/null | grep -q true
}
# The program's icons embedded in trayer's panel.
embedded_icons() {
    local panel
    panel=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }')
    [ -n "$panel" ] || { echo 0; return; }
    xwininfo -tree -id "$panel" | grep -c '("QMTaskScheduler2" "QMTaskScheduler2")' || true
}
icons_are() { [ "$(embedded_icons)" -eq "$1" ]; }
window_map_state() {
    local id
    id=$(xwininfo -root -tree | awk '/"Quillmar Task Scheduler": \("QMTaskScheduler2"/ { print $1; exit }')
    [ -n "$id" ] && xwininfo -id "$id" | awk '/Map State:/ { print $3 }'
}

window_is() { [ "$(window_map_state)" = "$1" ]; }

skip_near_midnight

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
pids+=($!)
wait_for 30 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

/usr/bin/python3 -m dbusmock --session -t notification_daemon -l "$work/notifications.log" &
pids+=($!)
wait_for 30 on_bus org.freedesktop.Notifications || fail "no notification service"

# A task due a few seconds from now whose program is missing.
mkdir -p "$work/app"
cp "$built" "$work/app/QMTaskScheduler2"
start=$(date -d '+3 seconds' +%Y%m%d-%H%M%S000)
daily_task_settings 0 0123456789ABCDEF0123456789ABCDEF01234567 Backup "$work/gone.sh" "" "$start" |
    sed 's/^askwhenclose=0\r$/askwhenclose=0\r\nkeeprunning=1\r/' > "$work/app/qmtaskscheduler2.ini"

# libxkbcommon-x11 hands strndup a keymap name that is not NUL-terminated within
# its buffer, which AddressSanitizer's strict string checks report inside the
# system library; the program's own strings are checked in every other test.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
"${at_home[@]}" QT_QPA_PLATFORM=xcb "$work/app/QMTaskScheduler2" --minimized > "$work/program.out" 2>&1 &
program=$!
pids+=($program)
started=$(date +%s)

wait_for 60 grep -q 'Notify "Quillmar Task Scheduler" 0 "qmtaskscheduler2" "A task could not start"' \
    "$work/notifications.log" || fail "the failed start did not reach the notification service"
grep -q 'Backup' "$work/notifications.log" || fail "the notification does not name the task"

# The notification area comes 10 s after the program.
sleep $((10 - ($(date +%s) - started) > 0 ? 10 - ($(date +%s) - started) : 0))
kill -0 "$program" 2> /dev/null || fail "the program ended"
trayer --edge top --widthtype request > "$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 30 icons_are 1 || fail "no icon in the XEmbed tray"
wait_for 10 window_is IsUnMapped || fail "the window did not move to the tray"

/usr/bin/python3 -m dbusmock --session -t "$here/desktop/sni_watcher.py" -l "$work/watcher.log" &
watcher=$!
pids+=($watcher)
wait_for 30 grep -q 'RegisterStatusNotifierItem "org.kde.StatusNotifierItem-' "$work/watcher.log" ||
    fail "the item was not registered with the late StatusNotifierItem host"
item=$(sed -n 's/.*RegisterStatusNotifierItem "\(org.kde.StatusNotifierItem-[^"]*\)".*/\1/p' \
    "$work/watcher.log" | tail -1)
gdbus call --session --dest "$item" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Title |
    grep -q "Quillmar Task Scheduler" || fail "the item does not answer with its title"
wait_for 10 icons_are 0 || fail "two icons: the XEmbed one stayed"

# The host goes (a panel restart): the XEmbed tray has the icon again.
kill "$watcher"
wait "$watcher" 2> /dev/null || true
wait_for 30 icons_are 1 || fail "no icon after the host went"
on_bus "$item" && fail "the item stayed on the bus without a host"
kill -0 "$program" 2> /dev/null || fail "the program ended"

stdbuf -oL xev -root -event property > "$work/xev.log" 2>&1 &
pids+=($!)
listening() {
    xprop -root -f _QMTS_LISTENING 8s -set _QMTS_LISTENING 1 && grep -q _QMTS_LISTENING "$work/xev.log"
}
wait_for 10 listening || fail "xev does not listen"
"${at_home[@]}" QT_QPA_PLATFORM=xcb DESKTOP_STARTUP_ID=launcher-1_TIME0 timeout 20 \
    "$work/app/QMTaskScheduler2" > "$work/second.out" 2>&1 || fail "the second start failed"
wait_for 10 grep -q _NET_STARTUP_INFO_BEGIN "$work/xev.log" || fail "the launch feedback goes on"
echo "PASS"
