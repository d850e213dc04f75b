#!/usr/bin/env bash
# Installs what building and running needs (no test tools), builds Belvane without its tests and
# benchmarks and starts it from its program folder (build/bin). With no display it receives alarms
# headless. To keep Belvane, install it for your user instead: scripts/install.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBELVANE_TESTS=OFF -DBELVANE_BENCH=OFF
cmake --build build -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the receiver runs headless. Send it an alarm with"
    echo "  build/bin/belvane-send --message 'Hello' --level 0"
fi
exec build/bin/belvane "$@"
