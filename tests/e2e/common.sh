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
