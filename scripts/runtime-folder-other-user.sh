#!/usr/bin/env bash
# Another user's traps in /tmp must not stop a user's scheduler. Makes two
# users (kept for later runs): "other" puts a folder open to all, a file or a
# link where the program's shared run-time folder /tmp/qmtaskscheduler2-<uid>
# of "owner" would go, and holds a lock file of the program's name in /tmp.
# Each time "owner" starts the program, with XDG_RUNTIME_DIR pointing to
# /tmp: it must run, say once on standard error that it passed the folder
# over, keep its lock in ~/.cache/qmtaskscheduler2 (mode 0700), and a second
# start of "owner" must reach it (status 0). Needs root; run by hand, not by
# the test suite.
#   scripts/runtime-folder-other-user.sh [built QMTaskScheduler2]
set -euo pipefail
cd "$(dirname "$0")/.."

[ "$(id -u)" -eq 0 ] || { echo "needs root: it makes two users"; exit 2; }
program=$(readlink -f "${1:-build/ui/QMTaskScheduler2}")
[ -x "$program" ] || { echo "no program at $program; build the QMTaskScheduler2 target"; exit 2; }

owner=qmts-owner
other=qmts-other
for user in "$owner" "$other"; do
    id "$user" > /dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
done
uid=$(id -u "$owner")
home=$(getent passwd "$owner" | cut -d: -f6)
shared=/tmp/qmtaskscheduler2-$uid

work=$(mktemp -d)
chmod 755 "$work"
cp "$program" "$work/QMTaskScheduler2"
chmod 755 "$work/QMTaskScheduler2"
pid=
holder=
cleanup() {
    [ -z "$pid" ] || kill -TERM "$pid" 2> /dev/null || true
    [ -z "$holder" ] || kill "$holder" 2> /dev/null || true
    rm -rf "$work" "$shared" /tmp/qmtaskscheduler2-trap.lock
}
trap cleanup EXIT

# A command, not a function: setpriv and env exec in place, so that $! of
# a start in the background is the program itself.
as_owner=(setpriv --reuid="$owner" --regid="$owner" --init-groups env -i HOME="$home"
    PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp)
fail() { echo "FAIL ($trap): $*"; cat "$work/first.out" 2> /dev/null || true; exit 1; }

# A lock file of the program's name in /tmp, held by the other user.
setpriv --reuid="$other" --regid="$other" --init-groups \
    sh -c 'exec 9> /tmp/qmtaskscheduler2-trap.lock && flock 9 && exec sleep 600' &
holder=$!

for trap in folder file link; do
    rm -rf "$shared" "$home/.cache/qmtaskscheduler2"
    case $trap in
    folder) runuser -u "$other" -- mkdir -m 0777 "$shared" ;;
    file) runuser -u "$other" -- touch "$shared" ;;
    link) runuser -u "$other" -- ln -s /tmp "$shared" ;;
    esac

    "${as_owner[@]}" "$work/QMTaskScheduler2" --minimized > "$work/first.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
        grep -q "passed over" "$work/first.out" && break
        kill -0 "$pid" 2> /dev/null || fail "the program ended: status $(wait "$pid"; echo $?)"
        sleep 0.1
    done
    ls "$home/.cache/qmtaskscheduler2/"*.lock > /dev/null 2>&1 || fail "no lock in the home folder"
    [ "$(stat -c %a "$home/.cache/qmtaskscheduler2")" = 700 ] || fail "the folder is not 0700"
    [ "$(grep -c "passed over" "$work/first.out")" -eq 1 ] || fail "not one warning"

    status=0
    "${as_owner[@]}" timeout 20 "$work/QMTaskScheduler2" > "$work/second.out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the second start ended with status $status: $(cat "$work/second.out")"
    grep -q "already running" "$work/second.out" || fail "the second start did not reach the first"

    kill -TERM "$pid"
    wait "$pid" || fail "the program ended with status $?"
    pid=
    echo "PASS ($trap)"
done
