#!/usr/bin/env bash
# Builds the scheduler and starts it. Without a display it runs on Qt's
# offscreen platform, where it still runs its tasks.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target QMTaskScheduler2

PROGRAM=build/ui/QMTaskScheduler2
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting on Qt's offscreen platform (tasks still run)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$PROGRAM" "$@"
