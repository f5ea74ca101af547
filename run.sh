#!/usr/bin/env bash
# Starts the thumbnail window: installs what is missing, makes a normal optimised build of the
# program and runs it on the current display.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target vistel vistel-thumbs

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run: no display; start it under a virtual one with: xvfb-run -s '-screen 0 1280x800x24' ./run.sh" >&2
    exit 1
fi
exec "$build/app/qt/vistel"
