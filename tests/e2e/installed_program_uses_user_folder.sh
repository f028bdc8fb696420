#!/usr/bin/env bash
# Installs the build into a staging root as the package lays it out (/usr/bin,
# /usr/share/...), checks the installed tree the way desktops read it, then
# starts the installed program with a daily task due a few seconds later in
# the user's settings file. The task must run once in the program's folder, its
# log line must land beside the user's settings file, and nothing may be
# written beside the installed program.
#   installed_program_uses_user_folder.sh <build folder> <appstreamcli>
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=$1
appstreamcli=$2
start_work
userdir="$work/home/.local/share/Quillmar/QMTaskScheduler"
show="$userdir/qmtaskscheduler2.ini $userdir/qmtaskscheduler2.log $work/program.out"

skip_near_midnight

root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
for f in usr/bin/QMTaskScheduler2 \
         usr/share/applications/qmtaskscheduler2.desktop \
         usr/share/icons/hicolor/scalable/apps/qmtaskscheduler2.svg \
         usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128}/apps/qmtaskscheduler2.png \
         usr/share/metainfo/example.quillmar.QMTaskScheduler2.metainfo.xml \
         usr/share/man/man1/QMTaskScheduler2.1; do
    [ -f "$root/$f" ] || fail "not installed: /$f"
done
# The metainfo's launchable must name the desktop entry that is installed.
"$appstreamcli" validate-tree --no-net "$root" >"$work/tree.out" 2>&1 ||
    { cat "$work/tree.out"; fail "the installed tree does not validate"; }
# The desktop entry starts the installed program and shows the installed icon.
entry="$root/usr/share/applications/qmtaskscheduler2.desktop"
exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root/usr/bin/$exe" ] || fail "the desktop entry starts '$exe', which is not installed"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "the desktop entry's icon '$icon' is not installed"
grep -q "<binary>$exe</binary>" "$root"/usr/share/metainfo/*.metainfo.xml ||
    fail "the metainfo does not provide '$exe'"
# The installed page renders.
man -l "$root/usr/share/man/man1/QMTaskScheduler2.1" 2>/dev/null | grep -q '^NAME' ||
    fail "the installed manual page does not render"

bindir="$root/usr/bin"
mkdir -p "$userdir"
write_job '$PWD|$*'

guid=89ABCDEF0123456789ABCDEF0123456789ABCDEF
start=$(date -d '+4 seconds' +%Y%m%d-%H%M%S000)
today=$(date +%Y%m%d)
daily_task_settings 0 "$guid" "Installed job" "$work/job.sh" "--from installed" "$start" \
    > "$userdir/qmtaskscheduler2.ini"

# No XDG_DATA_HOME: the user folder comes from HOME, as on most desktops.
# Started from another folder, so that only the program's own folder can be
# the tasks' working folder.
(cd "$work" && exec env -u XDG_DATA_HOME HOME="$work/home" QT_QPA_PLATFORM=offscreen \
    "$bindir/QMTaskScheduler2" > "$work/program.out" 2>&1) &
pid=$!
pids+=($pid)

wait_for_run "$pid" "$userdir/qmtaskscheduler2.ini" 60 || fail "the task's program did not run"
grep -q "^datetime_lastexecuted=$today-" "$userdir/qmtaskscheduler2.ini" ||
    fail "the user's settings file has no new last-run time"

[ "$(cat "$work/runs.txt")" = "$bindir|--from installed" ] ||
    fail "unexpected working folder or arguments: $(cat "$work/runs.txt")"
grep -q "task (Installed job): executed ($work/job.sh)" "$userdir/qmtaskscheduler2.log" ||
    fail "no log line beside the user's settings file"
leftovers=$(find "$bindir" -mindepth 1 ! -name QMTaskScheduler2)
[ -z "$leftovers" ] || fail "written beside the installed program: $leftovers"
echo "PASS"
