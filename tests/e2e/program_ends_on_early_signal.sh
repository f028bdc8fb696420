#!/usr/bin/env bash
# Starts the real program with SIGTERM already pending, as when a request
# comes in before its handlers exist: the program must take the request once
# it can and end in order with status 0, neither killed nor running on.
#   program_ends_on_early_signal.sh <QMTaskScheduler2> <start_with_held_signal>
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
status=0
HOME="$work" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    timeout -s KILL 20 "$2" "$1" --minimized > "$work/out" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL: exit status $status (137: still running after 20 s)"
    cat "$work/out"
    exit 1
fi
echo "PASS"
