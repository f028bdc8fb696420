#!/usr/bin/env bash
# Kill soak of the real program's starts: daily tasks whose windows open one
# after the other, and a few whose starts were missed before the soak (to be
# caught up). The program is killed (SIGKILL) at random moments around a
# start, restarted at once, and now and then killed around a catch-up. At the
# end it runs undisturbed until every window has closed and nothing is owed,
# then ends in order. Every task must have run at most once, and a task that
# did not run must have been told missed in the log.
#   program_starts_each_task_once_under_kills.sh <QMTaskScheduler2> [kills] [catch-up kills]
set -euo pipefail
source "$(dirname "$0")/common.sh"

built=$1
kills=${2:-24}
catchup_kills=${3:-1}
start_work
stop_signal=KILL
app=$work/app
ini=$app/qmtaskscheduler2.ini
log=$app/qmtaskscheduler2.log
show="$work/program.out"
on_fail() {
    grep -v '): executed' "$log" 2> /dev/null | tail -20 || true
}

# A program polls 2 s after it starts, then at the openings: each life
# lasts 2.5 to 3.5 s and sees about three openings.
gap_ms=1000  # between two openings
lead_ms=8000 # until the first opening
missed=4     # tasks whose start passed before the soak
tasks=$((3 * kills + 10))
# Whole seconds of the soak, with the catch-ups at the end: it must end the day it began.
need=$(((lead_ms + tasks * gap_ms) / 1000 + (catchup_kills + 2) * 70 + (missed + kills) * 5 + 60))
if [ "$(($(date +%s) + need))" -ge "$(date -d 'tomorrow 00:00:00' +%s)" ]; then
    echo "SKIP: too close to midnight"
    exit 77
fi

mkdir -p "$app"
cp "$built" "$app/QMTaskScheduler2"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s/runs.txt"\n' "$work" > "$work/job.sh"
chmod +x "$work/job.sh"
: > "$work/runs.txt"

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }
stamp() { # stamp <ms since 1970>
    printf '%s%03d' "$(date -d "@$(($1 / 1000))" +%Y%m%d-%H%M%S)" $(($1 % 1000))
}
t0=$(($(now_ms) + lead_ms))
t0=$((t0 - t0 % 1000)) # stamps in whole seconds
yesterday=$(date -d yesterday +%Y%m%d-120000000)
{
    printf '%s\r\n' "[qmtaskscheduler]" "askwhenclose=0" "askwhenexecutetaskmanually=0" \
        "lastrunning=$(stamp $((t0 - lead_ms - 600000)))"
    openings=()
    for ((i = 0; i < missed + tasks; i++)); do
        if ((i < missed)); then
            at=$((t0 - lead_ms - 300000 + i * 60000))
        else
            at=$((t0 + (i - missed) * gap_ms))
            openings+=("$at")
        fi
        guid=$(printf '%040X' $((i + 1)))
        printf '%s\r\n' "" "[tasks\\$guid]" "taskname=t$i" "guid=$guid" \
            "taskfilename=$work/job.sh" "taskparameters=t$i" "active=1" "weekly=0" "daily=1" \
            "one_shot=0" "datetime=$(stamp "$at")" "monday=0" "tuesday=0" "wednesday=0" \
            "thursday=0" "friday=0" "saturday=0" "sunday=0" \
            "datetime_lastexecuted=18991230-000000000" "schedulechanged=$yesterday" "catchup=1"
    done
    printf '%s\r\n' "" "[system]" "initype=qmtaskscheduler"
} > "$ini"
last_close=$((t0 + (tasks - 1) * gap_ms + 31000))

pid=0
start_program() {
    "${at_home[@]}" QT_QPA_PLATFORM=offscreen "$app/QMTaskScheduler2" >> "$work/program.out" 2>&1 &
    pid=$!
    pids+=($pid)
    started_ms=$(now_ms)
}
kill_program() {
    kill -KILL "$pid"
    wait "$pid" 2> /dev/null || true
}
# Sleeps until the moment (ms since 1970); at once when it has passed.
sleep_until() {
    local left=$(($1 - $(now_ms)))
    ((left <= 0)) || sleep "$(printf '%d.%03d' $((left / 1000)) $((left % 1000)))"
}

# Around starts: each kill falls between 150 ms before and 350 ms after an
# opening that comes after the program's first poll.
for ((k = 0; k < kills; k++)); do
    start_program
    target=0
    for at in "${openings[@]}"; do
        if ((at > started_ms + 2500)); then
            target=$at
            break
        fi
    done
    ((target > 0)) || break
    sleep_until $((target - 150 + RANDOM % 500))
    kill_program
done

# Around catch-ups: they begin 60 s after a start, 5 s apart; the kill falls
# within half a second of the first or the second.
for ((k = 0; k < catchup_kills; k++)); do
    start_program
    sleep_until $((started_ms + 60000 + (RANDOM % 2) * 5000 - 200 + RANDOM % 700))
    kill_program
done

start_program
# Whatever is owed comes 60 s after the start, 5 s apart; at most every
# task that has not run yet.
owed=$((missed + tasks - $(wc -l < "$work/runs.txt")))
open_ms=$((last_close - $(now_ms)))
wait_for $(((open_ms > 0 ? open_ms : 0) / 1000 + 90 + owed * 6)) \
    bash -c "[ \$((\${EPOCHREALTIME/./} / 1000)) -gt $last_close ] && ! grep -q '^catchup_owed=' '$ini'" ||
    fail "catch-ups still owed: $(grep -c '^catchup_owed=' "$ini")"
kill -TERM "$pid"
wait "$pid" 2> /dev/null || true

twice=0 lost=0 ran=0 told=0 caught=0
for ((i = 0; i < missed + tasks; i++)); do
    n=$(grep -cx "t$i" "$work/runs.txt" || true)
    if ((n > 1)); then
        twice=$((twice + 1))
        echo "t$i ran $n times"
    elif ((n == 1)); then
        ran=$((ran + 1))
    elif grep -q "task (t$i): missed its start" "$log"; then
        told=$((told + 1))
    else
        lost=$((lost + 1))
        echo "t$i neither ran nor was told missed"
    fi
    grep -q "task (t$i): executed, in place of" "$log" && caught=$((caught + 1))
done
ended=$(grep -c 'the program ended before it could start it' "$log" || true)
summary="$((kills + catchup_kills)) kills over $((missed + tasks)) tasks: $ran ran once ($caught of them caught up), $told told missed and not run, $twice ran twice, $lost lost without a word; $ended starts told as ended before their program started"
((twice == 0 && lost == 0)) || fail "$summary"
((caught >= missed)) || fail "the starts missed before the soak were not all caught up: $summary"
echo "PASS: $summary"
