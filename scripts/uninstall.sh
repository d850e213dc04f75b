#!/usr/bin/env bash
# Removes what scripts/install.sh put in place for the current user: the files its install manifest
# lists, and the autostart entry. Only regular files and links that lie under the prefix go, whatever
# the manifest names (scripts/installed-files.sh). The action list (Belvane.acd) and the settings (Belvane.cfg) stay in
# DIR/lib/belvane, for a later installation.
#   scripts/uninstall.sh [--prefix DIR]
set -euo pipefail
source "$(dirname -- "$(realpath -- "$0")")/installed-files.sh"

prefix="$HOME/.local"
case "${1:-}" in
    --prefix) [ $# -eq 2 ] || { echo "usage: $0 [--prefix DIR]" >&2; exit 2; }; prefix="$2" ;;
    --prefix=*) prefix="${1#--prefix=}" ;;
    "") ;;
    *) echo "usage: $0 [--prefix DIR]" >&2; exit 2 ;;
esac
prefix=$(realpath -m -- "$prefix")
under=${prefix%/} # the prefix as paths below it begin, also for the prefix /
folder="$under/lib/belvane"
manifest="$under/share/belvane/install_manifest.txt"

if [ -f "$manifest" ]; then
    mapfile -t files <"$manifest"
else
    # Installations from before the manifest put these in place.
    files=("$under/bin/belvane" "$under/bin/belvane-send" "$under/share/applications/belvane.desktop")
    for file in belvane belvane-send Malarm.wav Salarm.wav README.md; do
        files+=("$folder/$file")
    done
    mapfile -t -O ${#files[@]} files < <(find "$under/share/icons/hicolor" -path '*/apps/belvane.*' 2>/dev/null)
fi
# The user's two files are never listed; they stay even if a manifest says otherwise.
keep=$(realpath -m -- "$folder")
for file in "${files[@]}"; do
    # A link that no longer leads into the program folder is someone else's now.
    if [ -L "$file" ] && [[ "$(readlink -f -- "$file")" != "$keep/"* ]]; then
        continue
    fi
    case "$(realpath -m -- "$file")" in
        "$keep/Belvane.acd" | "$keep/Belvane.cfg") ;;
        *) remove_installed "$prefix" "$file" ;;
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
