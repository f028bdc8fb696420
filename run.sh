#!/usr/bin/env bash
# Builds the scheduler and starts it. Without a display it runs on Qt's
# offscreen platform, where it still runs its tasks. Run through sudo, it
# builds as root and starts the program as the user who called sudo, in that
# user's session, since every task runs as the user the program runs as.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup-deps.sh

# A new build folder is configured for the program alone; one that ./test.sh
# configured keeps its tests.
if [ -f build/CMakeCache.txt ]; then
    cmake -S . -B build >/dev/null
else
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMTS_TESTS=OFF -DQMTS_BENCHMARKS=OFF \
        >/dev/null
fi
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target QMTaskScheduler2

PROGRAM=build/ui/QMTaskScheduler2
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    # The build folder goes back to the owner of the tree, for builds without sudo.
    owner=$(stat -c %u:%g .)
    [ "$owner" = 0:0 ] || chown -R "$owner" build
    uid=$(id -u "$SUDO_USER")
    home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    runtime=/run/user/$uid
    session=(HOME="$home" USER="$SUDO_USER" LOGNAME="$SUDO_USER" PATH="/usr/local/bin:/usr/bin:/bin"
        LANG="${LANG:-C.UTF-8}" XDG_RUNTIME_DIR="$runtime")
    [ ! -S "$runtime/bus" ] || session+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus")
    # sudo keeps DISPLAY and XAUTHORITY; a Wayland compositor's socket lies in
    # the runtime folder.
    [ -z "${DISPLAY:-}" ] || session+=(DISPLAY="$DISPLAY")
    if [ -n "${XAUTHORITY:-}" ]; then
        session+=(XAUTHORITY="$XAUTHORITY")
    elif [ -f "$home/.Xauthority" ]; then
        session+=(XAUTHORITY="$home/.Xauthority")
    fi
    wayland=${WAYLAND_DISPLAY:-}
    [ -n "$wayland" ] || [ ! -S "$runtime/wayland-0" ] || wayland=wayland-0
    [ -z "$wayland" ] || session+=(WAYLAND_DISPLAY="$wayland")
    [ -z "${QT_QPA_PLATFORM:-}" ] || session+=(QT_QPA_PLATFORM="$QT_QPA_PLATFORM")
    command=$(printf '%q ' "$PWD/$PROGRAM" "$@")
    if [ ! -d "$runtime" ] || ! runuser -u "$SUDO_USER" -- test -x "$PWD/$PROGRAM"; then
        echo "run.sh: built, but not started: the program runs its tasks as the user it runs as," >&2
        if [ ! -d "$runtime" ]; then
            echo "and $SUDO_USER has no session here ($runtime is missing) to start it in." >&2
        else
            echo "and $SUDO_USER cannot reach $PWD/$PROGRAM." >&2
        fi
        echo "Start it as $SUDO_USER, in that user's desktop session:" >&2
        echo "  ${command% }" >&2
        exit 1
    fi
    if [ -z "${DISPLAY:-}" ] && [ -z "$wayland" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "No display found: starting on Qt's offscreen platform (tasks still run)."
        session+=(QT_QPA_PLATFORM=offscreen)
    fi
    echo "run.sh: starting the program as $SUDO_USER"
    exec runuser -u "$SUDO_USER" -- env -i "${session[@]}" "$PWD/$PROGRAM" "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    echo "run.sh: running as root: every task this program starts will run as root." >&2
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting on Qt's offscreen platform (tasks still run)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$PROGRAM" "$@"
