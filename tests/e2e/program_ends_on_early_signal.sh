#!/usr/bin/env bash
# Starts the real program with SIGTERM already pending, as when a request
# comes in before its handlers exist: the program must take the request once
# it can and end in order with status 0, neither killed nor running on.
#   program_ends_on_early_signal.sh <QMTaskScheduler2> <start_with_held_signal>
set -euo pipefail

built=$1
held=$2
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/app" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$built" "$work/app/QMTaskScheduler2"
HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen "$held" "$work/app/QMTaskScheduler2" --minimized \
    > "$work/program.out" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program is still running 20 s after the request"
    exit 1
fi
status=0
wait "$pid" || status=$?
pid=""
if [ "$status" -ne 0 ]; then
    echo "FAIL: exit status $status"
    cat "$work/program.out"
    exit 1
fi
echo "PASS"
