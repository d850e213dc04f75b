#!/usr/bin/env bash
# Installs what is missing, builds Belvane and starts it from its program folder (build/bin).
# With no display it runs the receiver headless on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

program=build/bin/belvane
if [ ! -x "$program" ]; then
    echo "The belvane program is not built yet; only the libraries and their tests exist." >&2
    exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    echo "No display: running the receiver headless. Send it an alarm with"
    echo "  build/bin/belvane-send --message 'Hello' --level 0"
fi
exec "$program" "$@"
