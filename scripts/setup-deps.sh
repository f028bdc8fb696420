#!/usr/bin/env bash
# Installs the Debian packages that are missing, with apt-get: as root
# directly, otherwise through sudo. Without sudo (or without a terminal to ask
# its password on) it stops at once and prints the line to run as root.
#   scripts/setup-deps.sh           what building and running the program needs
#   scripts/setup-deps.sh --test    that, and what the tests, the fuzz targets
#                                   and the package build and checks need
set -euo pipefail

# Building and running: the build dependencies of debian/control without the
# packaging tool, and the run-time pieces the package depends on.
PACKAGES=(
    build-essential cmake pkgconf
    qt6-base-dev libgl-dev libglib2.0-dev libsqlite3-dev libxcb1-dev
    qt6-qpa-plugins qt6-wayland libqt6svg6 shared-mime-info xdg-utils
)
if [ "${1:-}" = --test ]; then
    PACKAGES+=(
        libgtest-dev libgmock-dev googletest libbenchmark-dev
        tzdata locales-all
        desktop-file-utils appstream man-db
        clang libclang-rt-14-dev
        git dpkg-dev debhelper lintian mandoc
        xvfb xauth x11-utils dbus python3-dbusmock trayer weston mutter
    )
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
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
fi
echo "Installing: ${missing[*]}"
if ! "${SUDO[@]}" apt-get update -qq ||
    ! "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"; then
    echo "Installing failed. Run this as root, then start again:" >&2
    echo "  $line" >&2
    exit 1
fi
