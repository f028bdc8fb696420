#!/usr/bin/env bash
# Builds the screenshot tool and saves PNG screenshots of the main window
# (with a few tasks), of the task editor, of the tray icon's menu and of the
# preferences, drawn on Qt's offscreen platform.
#   scripts/screenshots.sh [output folder] [--dark]   (default: screenshots/)
# --dark draws them with Fusion in a dark palette. For 200 %, run the tool
# under Xvfb: QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 build/tests/ui/ui_screenshots
set -euo pipefail
cd "$(dirname "$0")/.."

OUT=${1:-screenshots}
scripts/setup-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target ui_screenshots
QT_QPA_PLATFORM=offscreen build/tests/ui/ui_screenshots "$OUT" "${@:2}"
