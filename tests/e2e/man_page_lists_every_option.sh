#!/usr/bin/env bash
# The manual page and the program's own --help name the same long options, and
# the page's FILES names every file the program makes in its settings folder
# while it runs a task, and every name the sources set a damaged file aside
# under.
#   man_page_lists_every_option.sh <program> <manual page source> <source folder>
set -euo pipefail
source "$(dirname "$0")/common.sh"

program=$1
page=$2
sources=$3
start_work
show="$work/program.out"

help=$("${at_home[@]}" QT_QPA_PLATFORM=offscreen timeout 30 "$program" --help)
from_help=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
# Options are written \-\-name in the page's OPTIONS section.
from_page=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | grep -oE -- '\\-\\-[a-z][a-z-]*' |
    sed 's/\\//g' | sort -u)
[ -n "$from_help" ] || fail "--help names no option"
if [ "$from_help" != "$from_page" ]; then
    diff <(echo "$from_help") <(echo "$from_page") || true
    fail "--help and the manual page differ"
fi

# FILES as patterns: "<time>" and the like stand for any text.
patterns=$(sed -n '/^\.SH FILES/,/^\.SH /s/^\.I //p' "$page" | sed 's/\\-/-/g; s#.*/##' |
    sed 's/[.]/\\./g; s/<[^>]*>/.+/g')
listed() { grep -qxEf <(echo "$patterns") <<<"$1"; }

# The task's job lists the folder while it runs, when the run's output file
# and the database's journal are there.
skip_near_midnight
data=$work/home/.local/share/Quillmar/QMTaskScheduler
mkdir -p "$data"
printf '#!/bin/sh\nls -A "%s" > "%s/during.txt"\n' "$data" "$work" >"$work/job.sh"
chmod +x "$work/job.sh"
daily_task_settings 0 0123456789ABCDEF0123456789ABCDEF01234567 "Files" "$work/job.sh" "" \
    "$(date -d '+3 seconds' +%Y%m%d-%H%M%S000)" >"$data/qmtaskscheduler2.ini"
"${at_home[@]}" QT_QPA_PLATFORM=offscreen "$program" >"$work/program.out" 2>&1 &
pids+=($!)
wait_for 60 grep -qs 'task (Files): executed' "$data/qmtaskscheduler2.log" ||
    fail "the task did not run"
wait_for 10 test -s "$work/during.txt" || fail "the job listed nothing"
ls -A "$data" >"$work/after.txt"
kill "${pids[0]}" && wait "${pids[0]}" || fail "the program did not end in order"
pids=()
ls -A "$data" >>"$work/after.txt"

made=$(sort -u "$work/during.txt" "$work/after.txt")
grep -q '\.out$' <<<"$made" || fail "no run output file while the task ran: $made"
for name in $made; do
    listed "$name" || fail "FILES lacks $name"
done
# A file set aside is named <file>.<why>-<time>.
for why in $(grep -rhoE '"\.[a-z]+-" \+ dt::FormatDateTime' "$sources"/{settings,history} |
    sed 's/^"\.\([a-z]*\)-.*/\1/' | sort -u); do
    listed "qmtaskscheduler2.ini.$why-20261207-120000000" ||
        listed "qmtaskscheduler2-history.sqlite.$why-20261207-120000000" ||
        fail "FILES lacks the .$why-<time> files"
done
echo "PASS: options $(echo $from_help); files $(echo $made)"
