#!/usr/bin/env bash
# Installs Belvane for the current user: builds it (without tests), puts the program folder in
# DIR/lib/belvane, links DIR/bin/belvane and belvane-send to it, adds the menu entry and icons under
# DIR/share, and starts Belvane at login unless --no-autostart. DIR defaults to ~/.local. Installing
# again keeps the action list (Belvane.acd) and settings (Belvane.cfg) in the program folder.
#   scripts/install.sh [--prefix DIR] [--no-autostart] [--build-dir BUILD]
# --build-dir installs what BUILD already holds, without set-up or build.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: $0 [--prefix DIR] [--no-autostart] [--build-dir BUILD]" >&2
    exit 2
}

prefix="$HOME/.local"
autostart=1
build=""
while [ $# -gt 0 ]; do
    case "$1" in
        --prefix) [ $# -ge 2 ] || usage; prefix="$2"; shift 2 ;;
        --prefix=*) prefix="${1#--prefix=}"; shift ;;
        --no-autostart) autostart=0; shift ;;
        --build-dir) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
        *) usage ;;
    esac
done
prefix=$(realpath -m -- "$prefix")
# The program's path goes into the desktop entries' Exec lines, which give these characters meanings.
case "$prefix" in
    *[\"\`\$\\%]* | *$'\n'*)
        echo "install.sh: the folder \"$prefix\" holds a character a desktop entry cannot name (\" \` \$ \\ %)" >&2
        exit 1 ;;
esac

if [ -z "$build" ]; then
    build=build
    scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBELVANE_TESTS=OFF -DBELVANE_BENCH=OFF
    cmake --build "$build" -j "$(nproc)"
fi

folder="$prefix/lib/belvane"
program="$folder/belvane"
cmake --install "$build" --prefix "$folder" >/dev/null
mkdir -p "$prefix/bin"
ln -sfn "$program" "$prefix/bin/belvane"
ln -sfn "$folder/belvane-send" "$prefix/bin/belvane-send"

icons="$prefix/share/icons/hicolor"
(cd "$build/icons/hicolor" && find . -name 'belvane.*' -type f) | while read -r icon; do
    install -D -m 644 "$build/icons/hicolor/$icon" "$icons/$icon"
done
# The theme name is found only where the desktop looks for icons; elsewhere the entry names the file.
icon=belvane
if [ "$prefix/share" != "$(realpath -m -- "${XDG_DATA_HOME:-$HOME/.local/share}")" ]; then
    icon="$icons/scalable/apps/belvane.svg"
fi

template=$(<resources/belvane.desktop.in)
entry=${template//@EXEC@/"\"$program\""}
entry=${entry//@TRYEXEC@/"$program"}
entry=${entry//@ICON@/"$icon"}
mkdir -p "$prefix/share/applications"
printf '%s\n' "$entry" >"$prefix/share/applications/belvane.desktop"

autostartEntry="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/belvane.desktop"
if [ "$autostart" -eq 1 ]; then
    mkdir -p "$(dirname "$autostartEntry")"
    printf '%s\nX-GNOME-Autostart-enabled=true\n' "$entry" >"$autostartEntry"
fi

echo "Belvane is installed in $folder"
echo "  start it from the menu or with $prefix/bin/belvane"
if [ "$autostart" -eq 1 ]; then
    echo "  it starts at login ($autostartEntry)"
fi
echo "  remove it with scripts/uninstall.sh$([ "$prefix" = "$HOME/.local" ] || echo " --prefix $prefix")"
