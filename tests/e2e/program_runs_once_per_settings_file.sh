#!/usr/bin/env bash
# Starts the real program twice with the same settings file and once with a
# settings file of its own, as a person (or autostart plus a person) would:
# the second start brings the first copy's window to the front and ends with
# status 0, the copy with its own file runs beside the first, and each due
# task runs once. A copy that holds the lock but does not answer makes a later
# start end with a failure; a copy that was killed leaves a lock that the next
# start takes over.
#   program_runs_once_per_settings_file.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

built=$1
start_work
show="$work/*.out $work/runs.txt"

skip_near_midnight

write_job '$*'

# A program folder with its own settings file and a daily task due in a few
# seconds, named after the folder.
make_copy() {
    local folder=$1 guid=$2 start
    mkdir -p "$work/$folder"
    cp "$built" "$work/$folder/QMTaskScheduler2"
    start=$(date -d '+8 seconds' +%Y%m%d-%H%M%S000)
    daily_task_settings 0 "$guid" "$folder" "$work/job.sh" "$folder" "$start" \
        > "$work/$folder/qmtaskscheduler2.ini"
}
make_copy first 0123456789ABCDEF0123456789ABCDEF01234567
make_copy other 89ABCDEF0123456789ABCDEF0123456701234567

run() { # run <folder> <output name>
    exec "${at_home[@]}" QT_QPA_PLATFORM=offscreen "$work/$1/QMTaskScheduler2" > "$work/$2.out" 2>&1
}

run first a &
pids+=($!)
first=$!
run other c &
pids+=($!)
other=$!
wait_for 10 test -e "$work/first/qmtaskscheduler2.ini.lock" || true

# The second start for the same file: one line, status 0, the first shown.
status=0
timeout 20 bash -c "$(declare -f run); $(declare -p work at_home); run first b" || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with status $status"
[ "$(wc -l < "$work/b.out")" -eq 1 ] || fail "the second start said more than one line"
grep -q "already running with $work/first/qmtaskscheduler2.ini; its window has been brought to the front" \
    "$work/b.out" || fail "unexpected message of the second start"
wait_for 5 grep -q "another start asked for the window: shown, not minimised" "$work/a.out" ||
    fail "the first copy did not show its window"

# Both tasks run once each (about 8 s after they were written), the other
# copy's beside the first's.
two_runs() { [ "$(sort -u "$work/runs.txt" 2> /dev/null | wc -l)" -eq 2 ]; }
wait_for 30 two_runs || true
sleep 5 # two more polls of each copy must not start anything again
[ "$(sort "$work/runs.txt" | tr '\n' ' ')" = "first other " ] ||
    fail "expected one run of each task, got: $(tr '\n' ' ' < "$work/runs.txt")"
kill -0 "$first" && kill -0 "$other" || fail "a copy ended early"

# A copy that holds the lock but does not answer.
kill -STOP "$first"
status=0
timeout 30 bash -c "$(declare -f run); $(declare -p work at_home); run first d" || status=$?
kill -CONT "$first"
[ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "an unanswered start ended with status $status"
grep -q "neither answered nor ended" "$work/d.out" || fail "no message from the unanswered start"

# A copy that was killed: the next start takes its lock over and runs.
kill -KILL "$first"
wait "$first" 2>/dev/null || true
run first e &
pids+=($!)
replacement=$!
sleep 3
kill -0 "$replacement" 2>/dev/null || fail "the start after a killed copy ended"
status=0
timeout 20 bash -c "$(declare -f run); $(declare -p work at_home); run first f" || status=$?
[ "$status" -eq 0 ] || fail "a start beside the replacement ended with status $status"
[ "$(wc -l < "$work/runs.txt")" -eq 2 ] || fail "a later copy ran a task again"
echo "PASS"
