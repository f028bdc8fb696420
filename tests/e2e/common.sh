# Shared by the scripts that start the real program: sourced, not run.

# A start window that runs into the next day would make "today" ambiguous.
skip_near_midnight() {
    if [ "$(date +%s)" -ge "$(date -d 'today 23:58:00' +%s)" ]; then
        echo "SKIP: too close to midnight"
        exit 77
    fi
}

# Prints a settings file with one active daily task and no run yet:
#   daily_task_settings <ask> <guid> <name> <file> <parameters> <start stamp>
# <ask> is 0 or 1 for both confirmations.
daily_task_settings() {
    local ask=$1 guid=$2 name=$3 file=$4 parameters=$5 start=$6
    printf '%s\r\n' \
        "[qmtaskscheduler]" "askwhenclose=$ask" "askwhenexecutetaskmanually=$ask" "" \
        "[tasks\\$(echo "$guid" | tr A-F a-f)]" "taskname=$name" "guid=$guid" \
        "taskfilename=$file" "taskparameters=$parameters" \
        "active=1" "weekly=0" "daily=1" "one_shot=0" "datetime=$start" \
        "monday=0" "tuesday=0" "wednesday=0" "thursday=0" "friday=0" "saturday=0" "sunday=0" \
        "datetime_lastexecuted=18991230-000000000" "" \
        "[system]" "initype=qmtaskscheduler"
}

# Makes $work, a temporary folder with a private home and runtime folder, and
# on exit stops what was started (newest first, each id added to pids) and
# removes it; a stopped process is continued first, or it would not end.
# Scripts whose program may ignore SIGTERM set stop_signal=KILL.
# "${at_home[@]}" command... runs a command with the private folders, so that
# the user's real settings are never touched.
start_work() {
    work=$(mktemp -d)
    pids=()
    mkdir -p "$work/home" "$work/runtime"
    chmod 700 "$work/runtime"
    # A command, not a function: "${at_home[@]}" program & gives the
    # program's own id, so signals sent to it reach the program.
    at_home=(env HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
        XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime")
    trap cleanup EXIT
}
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -CONT "${pids[i]}" 2> /dev/null || true
        kill -s "${stop_signal:-TERM}" "${pids[i]}" 2> /dev/null && wait "${pids[i]}" 2> /dev/null || true
    done
    rm -rf "$work"
}

# Prints "FAIL (<context>): <message>", each file named by the patterns in
# show and what a function on_fail prints, if the script has one; then ends.
show=""
fail() {
    echo "FAIL${context:+ ($context)}: $*"
    local f
    for f in $show; do
        echo "--- $f"; cat "$f" 2> /dev/null || true
    done
    [ "$(type -t on_fail)" != function ] || on_fail
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq 1 $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Running, and not merely an exited child nobody has waited for yet.
alive() {
    [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" 2> /dev/null | cut -d' ' -f1)" != Z ]
}

# Writes $work/job.sh, which appends one line to $work/runs.txt per run:
#   write_job <line, expanded by the job's shell, e.g. '$*'>
write_job() {
    printf '#!/bin/sh\necho "%s" >> "%s/runs.txt"\n' "$1" "$work" > "$work/job.sh"
    chmod +x "$work/job.sh"
}

# Waits up to $3 seconds until the job has run and settings file $2 holds
# today's run; fails as soon as program $1 has ended.
wait_for_run() {
    local today
    today=$(date +%Y%m%d)
    for _ in $(seq 1 $(($3 * 10))); do
        [ -s "$work/runs.txt" ] && grep -q "datetime_lastexecuted=$today" "$2" && return 0
        alive "$1" || fail "the program ended early"
        sleep 0.1
    done
    return 1
}
