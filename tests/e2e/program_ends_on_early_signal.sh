#!/usr/bin/env bash
# Starts the real program with SIGTERM already pending, as when a request
# comes in before its handlers exist: the program must take the request once
# it can and end in order with status 0, neither killed nor running on.
#   program_ends_on_early_signal.sh <QMTaskScheduler2> <start_with_held_signal>
set -euo pipefail
source "$(dirname "$0")/common.sh"
start_work
show="$work/out"
status=0
"${at_home[@]}" QT_QPA_PLATFORM=offscreen timeout -s KILL 20 "$2" "$1" --minimized > "$work/out" 2>&1 ||
    status=$?
[ "$status" -eq 0 ] || fail "exit status $status (137: still running after 20 s)"
echo "PASS"
