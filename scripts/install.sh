#!/usr/bin/env bash
# Installs Belvane for the current user: builds it (without tests) and installs it with CMake into DIR:
# the program folder DIR/lib/belvane, the links DIR/bin/belvane and belvane-send, and under DIR/share the
# menu entry, icons, metainfo, manual pages and bash completion. Starts Belvane at login unless
# --no-autostart. DIR defaults to ~/.local. Installing again keeps the action list (Belvane.acd) and the
# settings (Belvane.cfg) in the program folder and removes what the earlier installation put in place
# and this one does not. What is installed is listed in DIR/share/belvane/install_manifest.txt, which
# scripts/uninstall.sh reads.
#   scripts/install.sh [--prefix DIR] [--no-autostart] [--build-dir BUILD]
# --build-dir installs what BUILD already holds, without set-up or build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/installed-files.sh

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
# The autostart entry is found again by the program's path in it, which these characters would change.
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
manifest="$prefix/share/belvane/install_manifest.txt"
previous=()
if [ -f "$manifest" ]; then
    mapfile -t previous <"$manifest"
fi

env -u DESTDIR cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$(dirname "$manifest")"
{ cat -- "$build/install_manifest.txt"; echo; } >"$manifest"

# What the earlier installation had and this one has not goes; the user's two files are never listed.
declare -A installed=()
while IFS= read -r file; do
    installed["$file"]=1
done <"$manifest"
for file in "${previous[@]}"; do
    if [ -n "$file" ] && [ -z "${installed["$file"]:-}" ]; then
        remove_installed "$prefix" "$file"
    fi
done

entry="$prefix/share/applications/belvane.desktop"
# The theme name is found only where the desktop looks for icons; elsewhere the entry names the file.
if [ "$prefix/share" != "$(realpath -m -- "${XDG_DATA_HOME:-$HOME/.local/share}")" ]; then
    icon="$prefix/share/icons/hicolor/scalable/apps/belvane.svg"
    text=$(<"$entry")
    printf '%s\n' "${text/$'\n'Icon=belvane$'\n'/$'\n'Icon=$icon$'\n'}" >"$entry"
fi

autostartEntry="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/belvane.desktop"
if [ "$autostart" -eq 1 ]; then
    mkdir -p "$(dirname "$autostartEntry")"
    { cat -- "$entry"; echo "X-GNOME-Autostart-enabled=true"; } >"$autostartEntry"
fi

echo "Belvane is installed in $folder"
echo "  start it from the menu or with $prefix/bin/belvane"
if [ "$autostart" -eq 1 ]; then
    echo "  it starts at login ($autostartEntry)"
fi
echo "  remove it with scripts/uninstall.sh$([ "$prefix" = "$HOME/.local" ] || echo " --prefix $prefix")"
