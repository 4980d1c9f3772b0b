#!/usr/bin/env bash
# Repaints the icons in resources/icons with tools/iconpainter. The PNG files are committed; run
# this only after changing the drawings.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/iconpainter
cmake -S tools/iconpainter -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
QT_QPA_PLATFORM=offscreen "$build/iconpainter" resources/icons
echo "icons written to resources/icons"
