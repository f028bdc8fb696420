#!/usr/bin/env bash
# Starts the real program as a person would, with a settings file beside the
# program file that holds a daily task due a few seconds later, and checks that
# the task's program runs once, its log line is written and the settings file
# gets the new last-run time. The launcher's activation token and start-up id
# are the program's alone: the task does not inherit them.
#   program_runs_due_task.sh <path of the built QMTaskScheduler2>
set -euo pipefail
source "$(dirname "$0")/common.sh"

built=$1
start_work
show="$work/app/qmtaskscheduler2.ini $work/app/qmtaskscheduler2.log $work/program.out"

skip_near_midnight

mkdir -p "$work/app"
cp "$built" "$work/app/QMTaskScheduler2"
write_job '$PWD|$*|${XDG_ACTIVATION_TOKEN-}${DESKTOP_STARTUP_ID-}'

guid=0123456789ABCDEF0123456789ABCDEF01234567
start=$(date -d '+4 seconds' +%Y%m%d-%H%M%S000)
today=$(date +%Y%m%d)
daily_task_settings 0 "$guid" "Nightly job" "$work/job.sh" 'one "two three"' "$start" \
    > "$work/app/qmtaskscheduler2.ini"

"${at_home[@]}" QT_QPA_PLATFORM=offscreen XDG_ACTIVATION_TOKEN=token-1 DESKTOP_STARTUP_ID=id-2 \
    "$work/app/QMTaskScheduler2" > "$work/program.out" 2>&1 &
pid=$!
pids+=($pid)

# The task's window opens about 4 s from now; wait for its run (bounded).
wait_for_run "$pid" "$work/app/qmtaskscheduler2.ini" 60 || fail "the task's program did not run"

# Three more polls must not start it again.
sleep 6
[ "$(wc -l < "$work/runs.txt")" -eq 1 ] || fail "the task ran $(wc -l < "$work/runs.txt") times"
[ "$(cat "$work/runs.txt")" = "$work/app|one two three|" ] ||
    fail "unexpected working folder, arguments or launch ids: $(cat "$work/runs.txt")"
grep -Eq "^[0-9]{4}-[^-]+-[0-9]{2} [0-9:]{8}   task \(Nightly job\): executed \($work/job.sh\)"$'\r'"?$" \
    "$work/app/qmtaskscheduler2.log" || fail "no log line"
[ "$(wc -l < "$work/app/qmtaskscheduler2.log")" -eq 1 ] || fail "more than one log line"
grep -q "^datetime_lastexecuted=$today-" "$work/app/qmtaskscheduler2.ini" ||
    fail "the settings file has no new last-run time"
[ ! -e "$work/home/.local/share/Quillmar" ] || fail "the user folder was used"
echo "PASS"
