#!/usr/bin/env bash
# Starts the real program as a person would, with a settings file beside the
# program file that holds a daily task due a few seconds later, and checks that
# the task's program runs once, its log line is written and the settings file
# gets the new last-run time.
#   program_runs_due_task.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

built=$1
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    echo "--- settings file"; cat "$work/app/qmtaskscheduler2.ini" 2>/dev/null || true
    echo "--- log file"; cat "$work/app/qmtaskscheduler2.log" 2>/dev/null || true
    echo "--- program output"; cat "$work/program.out" 2>/dev/null || true
    exit 1
}

skip_near_midnight

mkdir -p "$work/app" "$work/home"
cp "$built" "$work/app/QMTaskScheduler2"

cat > "$work/job.sh" <<JOB
#!/bin/sh
echo "\$PWD|\$*" >> "$work/runs.txt"
JOB
chmod +x "$work/job.sh"

guid=0123456789ABCDEF0123456789ABCDEF01234567
start=$(date -d '+4 seconds' +%Y%m%d-%H%M%S000)
today=$(date +%Y%m%d)
daily_task_settings 0 "$guid" "Nightly job" "$work/job.sh" 'one "two three"' "$start" \
    > "$work/app/qmtaskscheduler2.ini"

# A home of its own, so that the user's real settings are never touched.
HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" QT_QPA_PLATFORM=offscreen \
    "$work/app/QMTaskScheduler2" > "$work/program.out" 2>&1 &
pid=$!

# The task's window opens about 4 s from now; wait for its run (bounded).
for _ in $(seq 1 600); do
    [ -s "$work/runs.txt" ] && grep -q "datetime_lastexecuted=$today" "$work/app/qmtaskscheduler2.ini" && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended early"
    sleep 0.1
done
[ -s "$work/runs.txt" ] || fail "the task's program did not run"

# Three more polls must not start it again.
sleep 6
[ "$(wc -l < "$work/runs.txt")" -eq 1 ] || fail "the task ran $(wc -l < "$work/runs.txt") times"
[ "$(cat "$work/runs.txt")" = "$work/app|one two three" ] ||
    fail "unexpected working folder or arguments: $(cat "$work/runs.txt")"
grep -Eq "^[0-9]{4}-[^-]+-[0-9]{2} [0-9:]{8}   task \(Nightly job\): executed \($work/job.sh\)"$'\r'"?$" \
    "$work/app/qmtaskscheduler2.log" || fail "no log line"
[ "$(wc -l < "$work/app/qmtaskscheduler2.log")" -eq 1 ] || fail "more than one log line"
grep -q "^datetime_lastexecuted=$today-" "$work/app/qmtaskscheduler2.ini" ||
    fail "the settings file has no new last-run time"
[ ! -e "$work/home/.local/share/Quillmar" ] || fail "the user folder was used"
echo "PASS"
