#!/usr/bin/env bash
# Removes what scripts/install.sh put in place for the current user. The action list (Belvane.acd) and
# the settings (Belvane.cfg) stay in DIR/lib/belvane, for a later installation.
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

# Only links that lead into our program folder are ours to remove.
for link in belvane belvane-send; do
    if [ -L "$prefix/bin/$link" ] && [ "$(readlink -- "$prefix/bin/$link")" = "$folder/$link" ]; then
        rm -f -- "$prefix/bin/$link"
    fi
done
for file in belvane belvane-send Malarm.wav Salarm.wav README.md; do
    rm -f -- "${folder:?}/$file"
done
rm -f -- "$prefix/share/applications/belvane.desktop"
find "$prefix/share/icons/hicolor" -path '*/apps/belvane.*' -type f -delete 2>/dev/null || true

autostartEntry="${XDG_CONFIG_HOME:-$HOME/.config}/autostart/belvane.desktop"
if [ -f "$autostartEntry" ] && grep -qF "TryExec=$folder/belvane" "$autostartEntry"; then
    rm -f -- "$autostartEntry"
fi

if rmdir -- "$folder" 2>/dev/null; then
    echo "Belvane is removed."
else
    echo "Belvane is removed; the action list and settings stay in $folder:"
    ls -- "$folder"
fi
