#!/usr/bin/env bash
# What a packager gets. `cmake --install` into a staging folder (DESTDIR) puts every file in place, with a
# valid menu entry and metainfo, manual pages that render and name every option of --help, and a bash
# completion that offers those options; all name the programs' version. `cpack -G TGZ` makes the portable
# program folder, which runs where it is unpacked.
#   PackagingTest.sh <source folder> <build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export LC_ALL=C.UTF-8 MANWIDTH=100
unset DESTDIR

DESTDIR="$work/root" cmake --install "$build_dir" --prefix /usr >/dev/null
usr="$work/root/usr"
program="$usr/lib/belvane/belvane"
send="$usr/lib/belvane/belvane-send"

icons=$(for size in 16 22 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/belvane.png"; done)
metainfo=$(cd "$usr" && echo share/metainfo/*.metainfo.xml)
expected=$(sort <<EOF_FILES
bin/belvane
bin/belvane-send
lib/belvane/belvane
lib/belvane/belvane-send
lib/belvane/Malarm.wav
lib/belvane/Salarm.wav
lib/belvane/README.md
share/applications/belvane.desktop
$icons
share/icons/hicolor/scalable/apps/belvane.svg
$metainfo
share/man/man1/belvane.1
share/man/man1/belvane-send.1
share/bash-completion/completions/belvane-send
EOF_FILES
)
installed=$(cd "$usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
[ "$installed" = "$expected" ] || fail "installed files differ from the expected:
$(diff <(echo "$expected") <(echo "$installed"))"
[ "$(find "$work/root" -mindepth 1 -maxdepth 1)" = "$usr" ] || fail "something was installed outside the prefix"
for link in belvane belvane-send; do
    [ "$(readlink -f "$usr/bin/$link")" = "$usr/lib/belvane/$link" ] || fail "bin/$link does not lead to the program"
done

desktop-file-validate "$usr/share/applications/belvane.desktop" || fail "the menu entry is not valid"
grep -qx 'Exec="/usr/lib/belvane/belvane"' "$usr/share/applications/belvane.desktop" ||
    fail "the menu entry does not start the installed program"
said=$(appstreamcli validate --no-net --pedantic "$usr/$metainfo" 2>&1) || fail "the metainfo is not valid: $said"
! grep -q '^[EWIP]:' <<<"$said" || fail "the metainfo has remarks: $said"
grep -q '<launchable type="desktop-id">belvane.desktop</launchable>' "$usr/$metainfo" ||
    fail "the metainfo does not name the menu entry"

version=$("$program" --version)
version=${version#belvane }
[ "$("$send" --version)" = "belvane-send $version" ] || fail "the two programs differ in version"
grep -q "<release version=\"$version\"" "$usr/$metainfo" || fail "the metainfo does not name version $version"

# The manual pages render without a warning and name every option that --help lists.
for page in belvane belvane-send; do
    source="$usr/share/man/man1/$page.1"
    head -n 1 "$source" | grep -qF "\"Belvane $version\"" || fail "$page(1) does not name version $version"
    text=$(man --warnings -l "$source" 2>"$work/warnings") || fail "$page(1) does not render"
    [ ! -s "$work/warnings" ] || fail "$page(1) renders with warnings: $(cat "$work/warnings")"
    ! grep -q '‐$' <<<"$text" || fail "$page(1) breaks a word across lines: $(grep '‐$' <<<"$text")"
    options=$("$usr/lib/belvane/$page" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
    [ -n "$options" ] || fail "no options found in $page --help"
    for option in $options; do
        grep -qE -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|$)" <<<"$text" || fail "$page(1) does not name $option"
    done
done

# The completion offers exactly the long options of the sender's --help.
offered=$(bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_WORDS=(belvane-send --) COMP_CWORD=1 COMP_LINE="belvane-send --" COMP_POINT=15
    _belvane_send belvane-send -- belvane-send
    printf "%s\n" "${COMPREPLY[@]}"' _ "$usr/share/bash-completion/completions/belvane-send" | sort)
listed=$("$send" --help | grep -oE '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+' | sort)
[ "$offered" = "$listed" ] || fail "the completion offers other options than --help lists:
$(diff <(echo "$listed") <(echo "$offered"))"

# The archive holds the program folder alone, which runs where it is unpacked.
cpack -G TGZ --config "$build_dir/CPackConfig.cmake" -B "$work/package" >/dev/null
archives=("$work/package"/*.tar.gz)
[ ${#archives[@]} -eq 1 ] && [ -f "${archives[0]}" ] || fail "cpack made no single archive"
mkdir "$work/unpacked"
tar -xzf "${archives[0]}" -C "$work/unpacked"
folder=$(find "$work/unpacked" -mindepth 1 -maxdepth 1)
[ "$(echo "$folder" | wc -l)" -eq 1 ] && [ -d "$folder" ] || fail "the archive holds no single folder"
packed=$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$packed" = "Malarm.wav README.md Salarm.wav belvane belvane-send " ] || fail "the archive holds: $packed"
[ "$("$folder/belvane" --version)" = "belvane $version" ] || fail "the unpacked belvane does not run"
[ "$("$folder/belvane-send" --version)" = "belvane-send $version" ] || fail "the unpacked belvane-send does not run"
echo "packaging: all checks passed"
