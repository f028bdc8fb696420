#!/usr/bin/env bash
# Build and install test on a clean Debian 12, in two roots made with
# debootstrap: a build root with only the Build-Depends of the source package
# (apt-get build-dep) rebuilds it with dpkg-buildpackage; a minimal root
# installs the .deb so built with apt-get, which must pull every dependency,
# and runs the package's autopkgtest there (autopkgtest, on that root): the
# installed program, started as a user with a daily task due a few seconds
# later, must run it. Needs root and Debian's mirror. Not part of ./test.sh.
#   scripts/install-test.sh [package.dsc]   (default: the newest in dist/)
set -euo pipefail
cd "$(dirname "$0")/.."

dsc=${1:-$(ls -t dist/qmtaskscheduler2_*.dsc 2>/dev/null | head -n 1)}
[ -f "$dsc" ] || { echo "install-test: no source package; run scripts/package.sh first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "install-test: run as root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends debootstrap; }

roots=()
cleanup() {
    for r in "${roots[@]+"${roots[@]}"}"; do
        umount "$r/proc" 2>/dev/null || true
        rm -rf --one-file-system "$r"
    done
}
trap cleanup EXIT
# Makes a new root of that debootstrap variant, $root.
make_root() {
    root=$(mktemp -d /var/tmp/install-test.XXXXXX)
    roots+=("$root")
    chmod 755 "$root" # the root folder of the system, which its users walk through
    debootstrap --variant="$1" bookworm "$root" http://deb.debian.org/debian >"$root.log" 2>&1 ||
        { tail -n 20 "$root.log"; rm -f "$root.log"; exit 1; }
    rm -f "$root.log"
    mount -t proc proc "$root/proc"
    chroot "$root" apt-get update -qq
}
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

echo "install-test: build root"
make_root buildd
cp "$dsc" "$(dirname "$dsc")"/qmtaskscheduler2_*.orig.tar.* \
    "$(dirname "$dsc")/$(basename "$dsc" .dsc)".debian.tar.* "$root/tmp/"
in_root env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq "/tmp/$(basename "$dsc")" \
    >"$root/tmp/build-dep.log" 2>&1 || { tail -n 30 "$root/tmp/build-dep.log"; exit 1; }
echo "install-test: Build-Depends installed with $(grep -c '^Unpacking' "$root/tmp/build-dep.log") packages"
in_root sh -c "cd /tmp && dpkg-source -x $(basename "$dsc") src && cd src && dpkg-buildpackage -us -uc" \
    >"$root/tmp/build.log" 2>&1 || { tail -n 30 "$root/tmp/build.log"; exit 1; }
deb=$(ls "$root"/tmp/qmtaskscheduler2_*.deb)
build_root=$root
echo "install-test: built $(basename "$deb") with only the Build-Depends"

echo "install-test: install root"
make_root minbase
cp "$deb" "$root/tmp/"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")" \
    >"$root/tmp/install.log" 2>&1 || { tail -n 30 "$root/tmp/install.log"; exit 1; }
echo "install-test: installed with $(grep -c '^Unpacking' "$root/tmp/install.log") packages"

# The package's own autopkgtest (debian/tests/), run by autopkgtest on this
# root: it starts the installed program as a user with a task due a few
# seconds later.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends autopkgtest \
    >"$root/tmp/autopkgtest-install.log" 2>&1 || { tail -n 30 "$root/tmp/autopkgtest-install.log"; exit 1; }
mkdir -p "$root/tmp/src"
cp -r "$build_root/tmp/src/debian" "$root/tmp/src/"
if in_root autopkgtest "/tmp/$(basename "$deb")" /tmp/src/ -- null >"$root/tmp/autopkgtest.log" 2>&1; then
    grep -E '^(runs-a-due-task|PASS)' "$root/tmp/autopkgtest.log" || true
    echo "install-test: PASS: the autopkgtest ran the installed program's due task"
else
    tail -n 40 "$root/tmp/autopkgtest.log" >&2
    echo "install-test: FAIL: the autopkgtest failed" >&2
    exit 1
fi
