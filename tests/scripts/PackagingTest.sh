#!/usr/bin/env bash
# What a packager gets. `cmake --install` into a staging folder (DESTDIR) puts every file in place, with a
# valid menu entry and metainfo, manual pages that render and name every option of --help, and a bash
# completion that offers those options; all name the programs' version. `cpack -G TGZ` makes the portable
# program folder, which runs where it is unpacked. `cpack -G DEB` makes a package that lintian finds no
# fault with; unpacked into a root-owned folder and run by an ordinary user, it keeps that user's files in
# ~/.config/belvane/, copies a per-user installation's over at the first start, and runs once per user.
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

# The Debian package: what it holds and says, and what lintian finds.
export DEBFULLNAME="Belvane packaging test" DEBEMAIL=packaging-test@example.org
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/deb" >/dev/null
deb="$work/deb/belvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack -G DEB made no $(basename "$deb"): $(ls "$work/deb")"
info=$(dpkg-deb --info "$deb")
for field in "Package: belvane" "Version: $version" "Section: net" "Maintainer: $DEBFULLNAME <$DEBEMAIL>"; do
    grep -qxF " $field" <<<"$info" || fail "the package does not say \"$field\": $info"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info" | tr -d ' ' | tr ',' '\n')
for needed in libqt6widgets6 libsdl2-2.0-0 libfluidsynth3 qt6-qpa-plugins qt6-wayland "timgm6mb-soundfont|sf2-soundfont-gm|sf3-soundfont-gm" \
    fonts-ipafont-gothic qt6-translations-l10n xdg-utils; do
    grep -q "^$needed\((\|$\)" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles)" = /etc/xdg/autostart/belvane.desktop ] ||
    fail "the autostart entry is not the one conffile"
packaged=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
expected=$(sed -e 's|^share/man/man1/\(.*\)|share/man/man1/\1.gz|' -e 's|^|usr/|' <<<"$expected"
    printf '%s\n' usr/lib/belvane/system-wide-installation etc/xdg/autostart/belvane.desktop \
        usr/share/doc/belvane/copyright usr/share/doc/belvane/changelog.gz)
expected=$(sort <<<"$expected")
[ "$packaged" = "$expected" ] || fail "the package's files differ from the expected:
$(diff <(echo "$expected") <(echo "$packaged"))"
said=$(lintian --fail-on none "$deb" 2>&1)
! grep -E '^[EW]:' <<<"$said" || fail "lintian finds errors or warnings"

# Unpacked where only root writes, run by an ordinary user: the user's files go to ~/.config/belvane/.
root="$work/system"
dpkg -x "$deb" "$root"
chmod 755 "$work"
folder="$root/usr/lib/belvane"
owner=""
user=()
if [ "$(id -u)" -eq 0 ]; then
    owner=nobody
    user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
home() { # a fresh home of the user's
    mkdir -p "$work/$1"
    [ -z "$owner" ] || chown "$owner" "$work/$1"
    echo "$work/$1"
}
as_user() { # HOME, then the command, which takes the place of the (sub)shell that calls this
    local h=$1
    shift
    exec "${user[@]}" env -i PATH=/usr/bin:/bin HOME="$h" LC_ALL=C.UTF-8 "$@"
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
settings() { python3 -c 'import struct, sys; sys.stdout.buffer.write(struct.pack("<iii", 52, 52, int(sys.argv[1])).ljust(1036, b"\0"))' "$1"; }
# Runs the program in the background as the user with HOME $1, its output in $1.log, until its
# start-up line or its end.
start() {
    (as_user "$1" "$folder/belvane") >"$1.log" 2>&1 &
    running=$!
    for _ in $(seq 100); do
        grep -q '起動しました' "$1.log" && break
        kill -0 "$running" 2>/dev/null || break
        sleep 0.1
    done
}
stop() {
    kill "$running" 2>/dev/null || true
    wait "$running" || true
}
first=$(home first)
# $XDG_CONFIG_HOME moves the folder where it is absolute, as the base directory rules say.
for row in ":$first/.config" "$work/config:$work/config" "relative:$first/.config"; do
    (as_user "$first" env XDG_CONFIG_HOME="${row%%:*}" "$folder/belvane" --help) | grep -qxF "  ${row#*:}/belvane/" ||
        fail "with XDG_CONFIG_HOME=${row%%:*}, --help does not name ${row#*:}/belvane/"
done
start "$first"
stop
config="$first/.config/belvane"
[ -f "$config/Belvane.acd" ] || fail "the first start made no ~/.config/belvane/Belvane.acd: $(cat "$first.log")"
[ "$(stat -c %a "$config")" = 700 ] || fail "~/.config/belvane/ is not the user's alone"
grep -qF "$folder/Malarm.wav" "$config/Belvane.acd" || fail "the default list does not name the program folder's sound"
grep -qF "フォルダ $config/、" "$first.log" || fail "the start-up line does not name ~/.config/belvane/: $(cat "$first.log")"
[ "$(ls "$folder" | wc -l)" -eq 6 ] || fail "the run wrote into the program folder: $(ls "$folder")"
# Where the user's folder cannot be made (a home that is root's), the program says so and ends.
if [ -n "$owner" ]; then
    status=0
    said=$(as_user "$root" timeout 20 "$folder/belvane" 2>&1) || status=$?
    [ "$status" -eq 1 ] && grep -qF "フォルダを作成できません。" <<<"$said" ||
        fail "a folder that cannot be made is not reported ($status): $said"
fi

# A per-user installation's list and settings come along at the first start; a second copy for the
# same user finds the folder taken, another user's copy runs beside it.
second=$(home second)
earlier="$second/.local/lib/belvane"
mkdir -p "$earlier"
cp "$config/Belvane.acd" "$earlier/"
settings "$(free_port)" >"$earlier/Belvane.cfg"
[ -z "$owner" ] || chown -R "$owner" "$second"
start "$second"
for file in Belvane.acd Belvane.cfg; do
    cmp -s "$earlier/$file" "$second/.config/belvane/$file" ||
        fail "$file was not copied from ~/.local/lib/belvane/: $(cat "$second.log")"
done
grep -q 'で受信しています' "$second.log" || fail "the copied settings' port is not used: $(cat "$second.log")"
status=0
said=$(as_user "$second" timeout 20 "$folder/belvane" 2>&1) || status=$?
[ "$status" -eq 1 ] && grep -qF "すでに動いています" <<<"$said" || fail "a second copy for the same user ran ($status): $said"
secondRun=$running
settings "$(free_port)" >"$config/Belvane.cfg"
start "$first"
grep -q 'で受信しています' "$first.log" || fail "another user's copy does not run beside it: $(cat "$first.log")"
stop
running=$secondRun
stop
echo "packaging: all checks passed"
