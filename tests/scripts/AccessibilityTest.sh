#!/usr/bin/env bash
# What a person using a screen reader gets from the real program: in a session bus of its own, with the
# accessibility bus, Xvfb and openbox, Belvane starts with Qt's AT-SPI bridge on and Orca runs headless
# (its speech only logged). AccessibilityCheck.py reads the tree and the events, drives the program by
# keyboard and checks what Orca says.
#   AccessibilityTest.sh <source folder> <build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
if [ -z "${BELVANE_A11Y_SESSION:-}" ]; then
    exec env BELVANE_A11Y_SESSION=1 dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export LC_ALL=C.UTF-8 LANG=C.UTF-8 HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_RUNTIME_DIR="$work/run" NO_AT_BRIDGE=0 GTK_A11Y=atspi
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/orca" "$work/program"
chmod 700 "$XDG_RUNTIME_DIR"

/usr/libexec/at-spi-bus-launcher --launch-immediately &
pids+=($!)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
    display=$(cat "$work/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer >/dev/null 2>&1 & # a tray host: the confirmed popup hides
pids+=($!)

for file in belvane belvane-send Malarm.wav Salarm.wav; do cp "$build_dir/bin/$file" "$work/program/"; done
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -c "import struct,sys; open(sys.argv[1],'wb').write(struct.pack('<iii', 52, 52, $port) + bytes(1024))" \
    "$work/program/Belvane.cfg"

# Orca as installed, its speech only logged; its debug file is written line by line rather than in blocks,
# so that what it says can be timed.
/usr/bin/python3 - --debug-file="$work/orca.log" -u "$work/orca" -d speech >/dev/null 2>&1 <<'EOF_ORCA' &
import builtins, runpy, sys
plain_open = builtins.open
def line_buffered(file, mode='r', buffering=-1, *args, **kwargs):
    return plain_open(file, mode, 1 if mode == 'w' and buffering == -1 else buffering, *args, **kwargs)
builtins.open = line_buffered
sys.argv[0] = 'orca'
runpy.run_path('/usr/bin/orca', run_name='__main__')
EOF_ORCA
pids+=($!)
for _ in $(seq 300); do
    grep -qs 'Startup complete' "$work/orca.log" && break
    sleep 0.1
done
grep -qs 'Startup complete' "$work/orca.log" || fail "Orca did not start"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$work/program/belvane" >"$work/belvane.log" 2>&1 &
pids+=($!)

/usr/bin/python3 "$source_dir/tests/scripts/AccessibilityCheck.py" "$work/program/belvane-send" "$port" "$work/orca.log" ||
    { tail -n 40 "$work/belvane.log" >&2; fail "see above"; }
