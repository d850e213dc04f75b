#!/usr/bin/env bash
# The user's scripts on a temporary home: install over an older installation, run through the link,
# install again, uninstall; what install.sh refuses; uninstall.sh on an installation without a manifest,
# under manifests that name files outside the prefix, and with the prefix /; and the set-up's message
# where packages cannot be installed.
#   InstallScriptsTest.sh <source folder> <build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
unset XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
prefix="$work/home/.local"
folder="$prefix/lib/belvane"
manifest="$prefix/share/belvane/install_manifest.txt"
# An installation from before the manifest: absolute links and the program files, nothing listed.
mkdir -p "$folder" "$prefix/bin"
for f in belvane belvane-send; do
    printf 'old' >"$folder/$f"
    touch -d 2000-01-01 "$folder/$f" # cmake --install takes a file of the same time stamp as up to date
    ln -s "$folder/$f" "$prefix/bin/$f"
done
"$source_dir/scripts/install.sh" --build-dir "$build_dir" >/dev/null

for f in belvane belvane-send Malarm.wav Salarm.wav README.md; do
    [ -f "$folder/$f" ] || fail "$folder/$f is not installed"
done
[ "$("$folder/belvane" --version)" != "" ] || fail "the older program was not replaced"
for f in belvane belvane-send; do
    [ "$(readlink -f "$prefix/bin/$f")" = "$folder/$f" ] || fail "$prefix/bin/$f is no link to the program folder"
done
for f in share/man/man1/belvane.1 share/man/man1/belvane-send.1 share/applications/belvane.desktop; do
    [ -f "$prefix/$f" ] && grep -qxF "$prefix/$f" "$manifest" || fail "$f is not installed or not in the manifest"
done
# bash-completion finds the sender's completion in the user's folder.
bash -c 'source /usr/share/bash-completion/bash_completion && __load_completion belvane-send &&
    complete -p belvane-send' >/dev/null || fail "bash-completion does not find the completion of belvane-send"
for size in 16x16 32x32 48x48 256x256 scalable; do
    ls "$prefix/share/icons/hicolor/$size/apps/belvane."* >/dev/null || fail "no $size icon"
done
entry="$prefix/share/applications/belvane.desktop"
autostart="$XDG_CONFIG_HOME/autostart/belvane.desktop"
desktop-file-validate "$entry" "$autostart" || fail "the desktop entries are not valid"
grep -qx "Exec=\"$folder/belvane\"" "$autostart" || fail "the autostart entry does not start the installed program"
grep -qx "Icon=belvane" "$entry" || fail "the menu entry does not name the theme icon"
grep -q "^Name\[ja\]=" "$entry" || fail "no Japanese name"

# Started through its link, the program keeps its files in the program folder.
"$prefix/bin/belvane" 2>/dev/null &
for _ in $(seq 100); do
    [ -f "$folder/Belvane.acd" ] && break
    sleep 0.1
done
kill $! 2>/dev/null || true
wait $! || true
[ -f "$folder/Belvane.acd" ] || fail "the action list is not in the program folder"
[ ! -e "$prefix/bin/Belvane.acd" ] || fail "the action list went beside the link"

# Installing again keeps the user's files and removes what the earlier installation had and this one
# has not; without autostart no entry comes back.
printf 'settings' >"$folder/Belvane.cfg"
cp "$folder/Belvane.acd" "$work/list"
rm "$autostart"
dropped="$prefix/share/icons/hicolor/20x20/apps/belvane.png"
mkdir -p "$(dirname "$dropped")"
touch "$dropped"
echo "$dropped" >>"$manifest"
"$source_dir/scripts/install.sh" --build-dir "$build_dir" --no-autostart >/dev/null
[ ! -e "$dropped" ] || fail "installing again kept a file the new installation does not have"
cmp -s "$folder/Belvane.acd" "$work/list" || fail "installing again changed the action list"
[ "$(cat "$folder/Belvane.cfg")" = settings ] || fail "installing again changed the settings"
[ ! -e "$autostart" ] || fail "--no-autostart made an autostart entry"

# Uninstalling leaves only the two files of the user's.
"$source_dir/scripts/install.sh" --build-dir "$build_dir" --prefix "$work/other" >/dev/null
"$source_dir/scripts/uninstall.sh" >/dev/null
left=$(cd "$prefix" && find . \( -type f -o -type l \) | sort | tr '\n' ' ')
[ "$left" = "./lib/belvane/Belvane.acd ./lib/belvane/Belvane.cfg " ] || fail "uninstall left: $left"
[ -e "$work/other/bin/belvane" ] || fail "uninstall removed another prefix's installation"
[ -e "$autostart" ] || fail "uninstall removed the autostart entry of another prefix's installation"
grep -qx "Icon=$work/other/share/icons/hicolor/scalable/apps/belvane.svg" "$work/other/share/applications/belvane.desktop" ||
    fail "a menu entry outside the desktop's folders does not name the icon's file"
"$source_dir/scripts/uninstall.sh" --prefix "$work/other" >/dev/null
[ ! -e "$autostart" ] || fail "uninstall left the autostart entry"

# What install.sh refuses, before it changes anything.
for refused in "--prefix:$work/a\"b:1" "--prefix:$work/a\$b:1" "--prefix:$work/a%b:1" "--bogus::2" "--prefix::2"; do
    IFS=: read -r option value expected <<<"$refused"
    status=0
    said=$("$source_dir/scripts/install.sh" --build-dir "$build_dir" "$option" ${value:+"$value"} 2>&1) || status=$?
    [ "$status" -eq "$expected" ] || fail "install.sh $option $value ended with $status: $said"
    [ ! -e "$value" ] || fail "install.sh $option $value installed"
done

# An installation from before the manifest: its files go, the user's stay.
old="$work/old"
mkdir -p "$old/lib/belvane" "$old/bin" "$old/share/applications" "$old/share/icons/hicolor/48x48/apps"
for f in belvane belvane-send Malarm.wav Salarm.wav README.md Belvane.acd Belvane.cfg; do
    echo "$f" >"$old/lib/belvane/$f"
done
ln -s "$old/lib/belvane/belvane" "$old/bin/belvane"
touch "$old/share/applications/belvane.desktop" "$old/share/icons/hicolor/48x48/apps/belvane.png"
"$source_dir/scripts/uninstall.sh" --prefix "$old" >/dev/null
left=$(cd "$old" && find . \( -type f -o -type l \) | sort | tr '\n' ' ')
[ "$left" = "./lib/belvane/Belvane.acd ./lib/belvane/Belvane.cfg " ] || fail "uninstall without a manifest left: $left"

# Manifests that name files outside the prefix: through `..`, through a link, outright. Only the
# prefix's own files go; links that lead elsewhere stay, and so does what they lead to.
outside="$work/outside"
mkdir -p "$outside/Documents"
echo keep >"$outside/victim.txt"
echo keep >"$outside/Documents/report.txt"
hostile="$work/hostile"
mkdir -p "$hostile/lib/belvane" "$hostile/share/belvane" "$hostile/bin"
ln -s "$outside/Documents" "$hostile/share/docs"
ln -s "$outside/victim.txt" "$hostile/bin/evil"
echo mine >"$hostile/lib/belvane/belvane"
echo list >"$hostile/lib/belvane/Belvane.acd"
printf '%s\n' "$hostile/../outside/victim.txt" "$hostile/lib/belvane/../../../outside/victim.txt" \
    "$hostile/share/docs/report.txt" "$hostile/share/docs/../victim.txt" "$outside/victim.txt" "$hostile/bin/evil" \
    "$hostile/share/docs" "$hostile/.." "outside/victim.txt" "$hostile/lib/belvane/belvane" \
    "$hostile/lib/belvane/Belvane.acd" "$hostile/lib/belvane" >"$hostile/share/belvane/install_manifest.txt"
before=$(find "$outside" -printf '%p %s %T@\n' | sort)
(cd "$work" && "$source_dir/scripts/uninstall.sh" --prefix "$hostile" >/dev/null)
[ "$(find "$outside" -printf '%p %s %T@\n' | sort)" = "$before" ] || fail "uninstall touched files outside the prefix"
left=$(cd "$hostile" && find . \( -type f -o -type l \) | sort | tr '\n' ' ')
[ "$left" = "./bin/evil ./lib/belvane/Belvane.acd ./share/docs " ] || fail "uninstall under a hostile manifest left: $left"

# The prefix / works like any other: in a root of its own, /usr an overlay on this system's.
if [ "$(id -u)" -eq 0 ]; then
    unshare --mount --propagation private bash -euo pipefail -s "$work/slash" "$source_dir" <<'EOF_SLASH' ||
r=$1
mkdir -p "$r"
mount -t tmpfs tmpfs "$r"
mkdir -p "$r/usr" "$r/.upper" "$r/.work" "$r/dev" "$r/home" "$r/scripts"
mount -t overlay overlay -o "lowerdir=/usr,upperdir=$r/.upper,workdir=$r/.work" "$r/usr"
mount --bind /dev "$r/dev"
for link in bin lib lib64 sbin; do ln -s "usr/$link" "$r/$link"; done
cp "$2/scripts/uninstall.sh" "$2/scripts/installed-files.sh" "$r/scripts/"
mkdir -p "$r/lib/belvane" "$r/share/belvane"
for f in belvane Malarm.wav Belvane.acd; do echo "$f" >"$r/lib/belvane/$f"; done
ln -s ../lib/belvane/belvane "$r/bin/belvane"
printf '%s\n' /lib/belvane/belvane /lib/belvane/Malarm.wav /bin/belvane >"$r/share/belvane/install_manifest.txt"
chroot "$r" /usr/bin/env -i PATH=/usr/bin HOME=/home bash /scripts/uninstall.sh --prefix / >/dev/null
left=$(cd "$r" && find lib/belvane/ share/ | sort | tr '\n' ' ')
[ "$left" = "lib/belvane/ lib/belvane/Belvane.acd share/ " ] && [ ! -L "$r/bin/belvane" ] ||
    { echo "uninstall --prefix / left: $left $(ls "$r/bin/belvane" 2>&1)" >&2; exit 1; }
EOF_SLASH
        fail "uninstall.sh with the prefix / does not remove its files"
fi

# Where packages cannot be installed, the set-up names them: no apt at all, or no root and no sudo.
stubs="$work/stubs"
mkdir -p "$stubs"
ln -s "$(command -v grep)" "$stubs/grep"
for missing in dpkg sudo; do
    if [ "$missing" = sudo ]; then
        printf '#!/bin/sh\necho "unknown ok not-installed"\n' >"$stubs/dpkg-query"
        printf '#!/bin/sh\necho 1000\n' >"$stubs/id"
        chmod +x "$stubs/dpkg-query" "$stubs/id"
    fi
    for mode in "" --test; do
        status=0
        said=$(PATH="$stubs" "$BASH" "$source_dir/scripts/setup.sh" $mode 2>&1) || status=$?
        [ "$status" -eq 1 ] || fail "setup.sh $mode without $missing ended with $status"
        grep -q "apt-get install --no-install-recommends .*qt6-base-dev" <<<"$said" ||
            fail "setup.sh $mode without $missing does not name the packages: $said"
        case "$mode:$said" in
            --test:*libgtest-dev*) ;;
            --test:*) fail "setup.sh --test does not name the test packages" ;;
            :*libgtest-dev*) fail "setup.sh names test packages for the run path" ;;
        esac
    done
done
echo "install scripts: all checks passed"
