#!/usr/bin/env bash
# Builds the scheduler and starts it. Without a display it runs on Qt's
# offscreen platform, where it still runs its tasks.
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
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting on Qt's offscreen platform (tasks still run)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$PROGRAM" "$@"
