#!/usr/bin/env bash
# Installs the Debian packages that are missing, with apt-get: as root
# directly, otherwise through sudo. Without sudo (or without a terminal to ask
# its password on) it stops at once and prints the line to run as root. When
# another package manager holds apt's lock (unattended upgrades, a software
# centre) it waits for it, up to QMTS_APT_WAIT seconds (default 600).
#   scripts/setup-deps.sh           what building and running the program needs
#   scripts/setup-deps.sh --package the Build-Depends of debian/control (also
#                                   those of its tests) and the package checkers
#   scripts/setup-deps.sh --test    all of that, and what the tests, the fuzz
#                                   targets and the benchmarks need besides
set -euo pipefail
cd "$(dirname "$0")/.."
WAIT=${QMTS_APT_WAIT:-600}

# The Build-Depends of debian/control, every build profile's, without
# versions and architectures; of alternatives the first.
build_depends() {
    awk '/^Build-Depends:/ { on = 1; sub(/^Build-Depends:/, ""); print; next }
         on && /^[ \t]/ { print; next } { on = 0 }' debian/control |
        sed 's/([^)]*)//g; s/<[^>]*>//g; s/\[[^]]*\]//g; s/|[^,]*//g' |
        tr ',' '\n' | tr -d ' \t' | sed '/^$/d; s/^debhelper-compat$/debhelper/'
}

# Building and running: the run-time pieces the package depends on, and
# Wayland's platform plugin, which it recommends.
PACKAGES=(
    build-essential cmake pkgconf
    qt6-base-dev libgl-dev libglib2.0-dev libsqlite3-dev libxcb1-dev
    qt6-wayland libqt6svg6 shared-mime-info xdg-utils
)
case "${1:-}" in
--package | --test)
    mapfile -t -O ${#PACKAGES[@]} PACKAGES < <(build_depends)
    PACKAGES+=(dpkg-dev git lintian mandoc)
    ;;&
--test)
    PACKAGES+=(
        libbenchmark-dev tzdata locales-all
        clang libclang-rt-14-dev
        xvfb xauth x11-utils dbus python3-dbusmock trayer weston mutter
    )
    ;;
esac

# A package counts as installed also while its triggers wait to run.
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null |
        grep -Eq '^[a-z]+ ok (installed|triggers-pending|triggers-awaited)$'; then
        missing+=("$p")
    fi
done
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u | sed '/^$/d')
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get update && apt-get install --no-install-recommends ${missing[*]}"
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null || { ! sudo -n true 2>/dev/null && ! [ -t 0 ]; }; then
        echo "Missing Debian packages. Run this as root, then start again:" >&2
        echo "  $line" >&2
        exit 1
    fi
    SUDO=(sudo)
    line="sudo ${line//&& apt-get/&& sudo apt-get}"
fi
apt_get() {
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout="$WAIT" "$@"
}

echo "Installing: ${missing[*]}"
echo "(while another package manager holds apt's lock, this waits for it, up to $WAIT s)"
# The lock of the package lists is not one DPkg::Lock::Timeout waits for.
deadline=$((SECONDS + WAIT))
while ! err=$(apt_get update 2>&1 >/dev/null); do
    if ! grep -q 'Could not get lock' <<<"$err" || [ $SECONDS -ge $deadline ]; then
        break
    fi
    [ -n "${waiting:-}" ] || echo "Waiting for the package manager that holds apt's lock..."
    waiting=1
    sleep 5
done
[ -z "${err:-}" ] || echo "$err" >&2
if ! apt_get install -y --no-install-recommends "${missing[@]}"; then
    echo "Installing failed (apt-get said why, above). Once that is mended, run" >&2
    echo "  $line" >&2
    echo "or start again." >&2
    exit 1
fi
