#!/usr/bin/env bash
# The Debian package tried as a user would, on a fresh Debian 12: a bare root made by mmdebstrap from
# this machine's apt sources (cached under BUILD/package-check/), where `apt install ./belvane_*.deb`
# must pull in run packages only; an ordinary user starts Belvane by the menu entry's Exec under Xvfb,
# the first start makes ~/.config/belvane/ with the default list, an alarm sent with belvane-send is
# shown and its sound played (SDL's disk audio); an upgrade, `apt remove` and `apt purge` leave the
# user's files.
# Needs root, mmdebstrap and the network to Debian's mirrors; where any is missing it fails, never skips.
#   scripts/package-check.sh [BUILD]     BUILD (default build/) is a configured and built tree
set -euo pipefail
self=$(realpath -- "$0")
fail() {
    echo "package check: FAIL: $*" >&2
    exit 1
}
say() { echo "package check: $*"; }

# In the private network of the run: Xvfb, the user's Belvane, an alarm.
if [ "${1:-}" = --run ]; then
    root=$2
    ip link set lo up
    inRoot() { chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"; }
    # Started by chroot itself (not through the function, whose subshell $! would name): chroot and
    # env exec it, so $! is Xvfb and the trap ends it.
    chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 Xvfb :7 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    for _ in $(seq 100); do
        [ -e "$root/tmp/.X11-unix/X7" ] && break
        sleep 0.1
    done
    home=/home/checker
    exec=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/belvane.desktop")
    eval "set -- $exec" # the entry's quoting, as a desktop would read it
    started=$(date +%s%N)
    chroot --userspec=1000:1000 --groups=1000 "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=$home \
        LANG=C.UTF-8 DISPLAY=:7 SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$home/sound.raw "$@" \
        >"$root$home/belvane.log" 2>&1 &
    belvane=$!
    trap 'kill $belvane $xvfb 2>/dev/null || true' EXIT
    log="$root$home/belvane.log"
    waitFor() { # PATTERN, what it shows
        for _ in $(seq 600); do
            grep -qF -- "$1" "$log" && return 0
            kill -0 $belvane 2>/dev/null || fail "Belvane ended before $2: $(cat "$log")"
            sleep 0.1
        done
        fail "no $2 within a minute: $(cat "$log")"
    }
    waitFor "ポート 9912 で受信しています" "start-up line"
    [ -f "$root$home/.config/belvane/Belvane.acd" ] || fail "the first start made no ~/.config/belvane/Belvane.acd"
    grep -qF /usr/lib/belvane/Malarm.wav "$root$home/.config/belvane/Belvane.acd" ||
        fail "the default list does not name the program folder's sound"
    inRoot belvane-send --port 9912 --sender "package check" --message "お茶の時間です" --level 0 ||
        fail "belvane-send did not deliver the alarm"
    waitFor "サウンドを再生しました: /usr/lib/belvane/Malarm.wav" "played alarm"
    shown=$(date +%s%N)
    grep -F "サウンドを再生しました" "$log" | grep -qF "package check" || fail "the played alarm is not the one sent: $(cat "$log")"
    inRoot env DISPLAY=:7 xwininfo -name Belvane | grep -q 'Map State: IsViewable' || fail "the alarm window is not shown"
    for _ in $(seq 50); do
        [ -s "$root$home/sound.raw" ] && break
        sleep 0.1
    done
    [ -s "$root$home/sound.raw" ] || fail "nothing was played"
    say "from the menu's command to a shown alarm, with its sound: $(((shown - started) / 1000000)) ms"
    kill $belvane
    wait $belvane || true
    exit 0
fi

# In a mount namespace of its own: the root unpacked, the package installed, run, removed, purged.
if [ "${1:-}" = --root ]; then
    root=$2 deb=$3 tarball=$4
    tar --zstd -xpf "$tarball" -C "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    cp "$deb" "$root/tmp/"
    inRoot() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"; }
    installed() { inRoot dpkg-query -W -f '${Package}\n' | sort; }
    inRoot apt-get update -qq
    before=$(installed)
    inRoot apt-get install -y -qq "/tmp/$(basename "$deb")" >/dev/null || fail "apt cannot install the package"
    added=$(comm -13 <(echo "$before") <(installed))
    building=$(grep -E -- '-dev$|-dev-bin$|^(gcc|g\+\+|clang|cmake|make|ninja-build|build-essential|pkg-config|pkgconf)(-[0-9]+)?$' <<<"$added" || true)
    [ -z "$building" ] || fail "installing the package pulls in build packages: $building"
    say "apt install pulled in $(wc -l <<<"$added") packages, none for building"
    [ -f "$root/etc/xdg/autostart/belvane.desktop" ] || fail "no autostart entry"
    # What the check itself uses, added after the package has been judged.
    inRoot apt-get install -y -qq --no-install-recommends xvfb x11-utils >/dev/null
    echo "checker:x:1000:1000:Package check:/home/checker:/bin/sh" >>"$root/etc/passwd"
    echo "checker:x:1000:" >>"$root/etc/group"
    mkdir -p "$root/home/checker"
    chown 1000:1000 "$root/home/checker"
    program=$(cd "$root/usr/lib/belvane" && ls)
    unshare --net "$self" --run "$root"
    [ "$(cd "$root/usr/lib/belvane" && ls)" = "$program" ] || fail "the run wrote into the program folder"
    config="$root/home/checker/.config/belvane"
    # An upgrade (the same package with a higher version) keeps the user's files, and the autostart
    # entry as the administrator changed it.
    next="$root/tmp/next"
    dpkg-deb -R "$deb" "$next"
    sed -i 's/^Version: .*/&+next/' "$next/DEBIAN/control"
    dpkg-deb -b --root-owner-group "$next" "$root/tmp/next.deb" >/dev/null
    cp -a "$config" "$root/tmp/config-before"
    echo "X-Changed-By-The-Administrator=true" >>"$root/etc/xdg/autostart/belvane.desktop"
    inRoot apt-get install -y -qq /tmp/next.deb >/dev/null || fail "apt cannot upgrade the package"
    inRoot dpkg-query -W -f '${Version}' belvane | grep -q '+next$' || fail "the package was not upgraded"
    diff -r "$root/tmp/config-before" "$config" >/dev/null || fail "the upgrade changed the user's files"
    grep -qx "X-Changed-By-The-Administrator=true" "$root/etc/xdg/autostart/belvane.desktop" ||
        fail "the upgrade replaced the administrator's autostart entry"
    inRoot apt-get remove -y -qq belvane >/dev/null
    [ -f "$config/Belvane.acd" ] || fail "apt remove took the user's action list"
    [ -f "$root/etc/xdg/autostart/belvane.desktop" ] || fail "apt remove took the autostart entry, a conffile"
    inRoot apt-get purge -y -qq belvane >/dev/null
    [ -f "$config/Belvane.acd" ] || fail "apt purge took the user's action list"
    [ ! -e "$root/etc/xdg/autostart/belvane.desktop" ] && [ ! -e "$root/usr/lib/belvane" ] ||
        fail "apt purge left the package's files"
    exit 0
fi

cd "$(dirname "$0")/.."
build=$(realpath -- "${1:-build}")
[ "$(id -u)" -eq 0 ] || fail "this check needs root (a chroot, mounts, a network namespace)"
for tool in mmdebstrap unshare chroot zstd ip cpack; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh --test installs it)"
done
[ -f "$build/CPackConfig.cmake" ] || fail "$build is no configured build folder"

work="$build/package-check"
mkdir -p "$work"
# The maintainer of a package made only to be tried.
export DEBFULLNAME=${DEBFULLNAME:-Belvane package check} DEBEMAIL=${DEBEMAIL:-package-check@example.org}
rm -rf "$work/deb"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null || fail "cpack -G DEB failed"
debs=("$work/deb"/belvane_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no package"
say "$(basename "${debs[0]}"): $(du -h "${debs[0]}" | cut -f1)"

# The bare root, made once for each set of apt sources.
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$file" ] && sources+=("$file")
done
[ ${#sources[@]} -gt 0 ] || fail "no apt sources are configured here"
tarball="$work/bookworm-$(cat "${sources[@]}" | sha256sum | cut -c1-12).tar.zst"
if [ ! -f "$tarball" ]; then
    say "making a bare Debian 12 root (once)"
    mmdebstrap --quiet --variant=apt --mode=root bookworm "$tarball.part.tar.zst" "${sources[@]}" ||
        fail "mmdebstrap cannot make a Debian 12 root here"
    mv "$tarball.part.tar.zst" "$tarball"
fi

root=$(mktemp -d /tmp/belvane-package-check.XXXXXX)
chmod 755 "$root"
status=0
unshare --mount --propagation private "$self" --root "$root" "${debs[0]}" "$tarball" || status=$?
# The namespace's mounts ended with it: only the unpacked root is left.
rm -rf --one-file-system -- "$root"
[ "$status" -eq 0 ] || exit "$status"
say "passed"
