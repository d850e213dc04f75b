#!/usr/bin/env bash
# Removes what scripts/install.sh put in place for the current user: the files its install manifest
# lists, and the autostart entry. The action list (Belvane.acd) and the settings (Belvane.cfg) stay in
# DIR/lib/belvane, for a later installation.
#   scripts/uninstall.sh [--prefix DIR]
set -euo pipefail

prefix="$HOME/.local"
case "${1:-}" in
    --prefix) [ $# -eq 2 ] || { echo "usage: $0 [--prefix DIR]" >&2; exit 2; }; prefix="$2" ;;
    --prefix=*) prefix="${1#--prefix=}" ;;
    "") ;;
    *) echo "usage: $0 [--prefix DIR]" >&2; exit 2 ;;
esac
prefix=$(realpath -m -- "$prefix")
folder="$prefix/lib/belvane"
manifest="$prefix/share/belvane/install_manifest.txt"

if [ -f "$manifest" ]; then
    mapfile -t files <"$manifest"
else
    # Installations from before the manifest put these in place.
    files=("$prefix/bin/belvane" "$prefix/bin/belvane-send" "$prefix/share/applications/belvane.desktop")
    for file in belvane belvane-send Malarm.wav Salarm.wav README.md; do
        files+=("$folder/$file")
    done
    mapfile -t -O ${#files[@]} files < <(find "$prefix/share/icons/hicolor" -path '*/apps/belvane.*' 2>/dev/null)
fi
for file in "${files[@]}"; do
    # A link that no longer leads into the program folder is someone else's now.
    if [ -L "$file" ] && [[ "$(readlink -f -- "$file")" != "$folder/"* ]]; then
        continue
    fi
    case "$file" in
        "$folder/Belvane.acd" | "$folder/Belvane.cfg") ;;
        "$prefix/"*) rm -f -- "$file" ;;
    esac
done
rm -f -- "$manifest"
rmdir -- "$(dirname "$manifest")" 2>/dev/null || true

autostartEntry="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/belvane.desktop"
if [ -f "$autostartEntry" ] && grep -qxF "TryExec=$folder/belvane" "$autostartEntry"; then
    rm -f -- "$autostartEntry"
fi

if rmdir -- "$folder" 2>/dev/null; then
    echo "Belvane is removed."
else
    echo "Belvane is removed; the action list and settings stay in $folder:"
    ls -- "$folder"
fi
