#!/usr/bin/env bash
# Install test on a clean Debian 12: makes a minimal root with debootstrap,
# installs the package there with apt-get (which must pull every dependency),
# and starts the installed program, as a user, with a daily task due a few
# seconds later; the task must run. Needs root and Debian's mirror. Not part
# of ./test.sh.
#   scripts/install-test.sh [package.deb]   (default: the newest in dist/)
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/e2e/common.sh

deb=${1:-$(ls -t dist/qmtaskscheduler2_*.deb 2>/dev/null | head -n 1)}
[ -f "$deb" ] || { echo "install-test: no package; run scripts/package.sh first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "install-test: run as root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap; }
skip_near_midnight

root=$(mktemp -d /var/tmp/install-test.XXXXXX)
chmod 755 "$root" # the root folder of the system, which its users walk through
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
echo "install-test: debootstrap bookworm into $root"
debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.log" 2>&1 ||
    { tail -n 20 "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }

in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")" \
    >"$root/tmp/install.log" 2>&1 || { tail -n 30 "$root/tmp/install.log"; exit 1; }
echo "install-test: installed with $(grep -c '^Unpacking' "$root/tmp/install.log") packages"

in_root useradd -m ann
settings=$root/home/ann/.local/share/Quillmar/QMTaskScheduler
mkdir -p "$settings"
printf '#!/bin/sh\necho ran >> /home/ann/ran.txt\n' >"$root/home/ann/job.sh"
chmod +x "$root/home/ann/job.sh"
daily_task_settings 0 0123456789ABCDEF0123456789ABCDEF01234567 "Install test" /home/ann/job.sh "" \
    "$(date -d '+5 seconds' +%Y%m%d-%H%M%S000)" >"$settings/qmtaskscheduler2.ini"
in_root chown -R ann:ann /home/ann

in_root su ann -c 'cd && QT_QPA_PLATFORM=offscreen timeout 20 QMTaskScheduler2 \
    >/home/ann/program.out 2>&1' || true
if [ -s "$root/home/ann/ran.txt" ]; then
    echo "install-test: PASS: the installed program ran its due task"
else
    echo "install-test: FAIL: the task did not run; the program said:" >&2
    cat "$root/home/ann/program.out" >&2
    exit 1
fi
