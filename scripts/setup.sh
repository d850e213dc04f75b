#!/usr/bin/env bash
# Installs the Debian 12 packages Belvane needs; only what is missing.
#   scripts/setup.sh          what building and running the program needs (scripts/run.sh, install.sh)
#   scripts/setup.sh --test   that and the test toolchain (scripts/test.sh)
# Without apt, or without root and sudo, it stops and names the packages to install.
set -euo pipefail

# Building and running the program.
run_packages=(
    cmake
    ninja-build
    g++
    pkg-config
    qt6-base-dev
    qt6-svg-dev
    libgl-dev
    libxcb1-dev
    libxcb-shape0-dev
    libsdl2-dev
    libfluidsynth-dev
    timgm6mb-soundfont
    fonts-ipafont-gothic
    xdg-utils
    qt6-translations-l10n
    qt6-wayland
)

# The tests, sanitizers, fuzzing, benchmarks, the formatting and naming checks; the packaging test
# validates the menu entry and metainfo, renders the manual pages and loads the shell completion; the
# pure Wayland sessions (weston, sway) and the desktop's sound server (PipeWire with its PulseAudio
# service) are real ones; the sound bench renders its MIDI yardstick with the fluidsynth program, with
# the small soundfont and with the large one; the Debian package is made (dpkg-shlibdeps), judged by
# lintian and tried on a bare Debian 12 root made by mmdebstrap (scripts/package-check.sh).
test_packages=(
    clang-format
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    clang-14
    clang-tidy-14
    libclang-rt-14-dev
    xvfb
    xauth
    trayer
    x11-utils
    xdotool
    sox
    netcat-openbsd
    desktop-file-utils
    appstream
    man-db
    groff-base
    bash-completion
    openbox
    dbus
    tint2
    weston
    sway
    pipewire
    pipewire-pulse
    wireplumber
    pulseaudio-utils
    at-spi2-core
    orca
    gir1.2-atspi-2.0
    python3-gi
    python3
    dpkg-dev
    lintian
    mmdebstrap
    zstd
    iproute2
    fluidsynth
    fluid-soundfont-gm
)

packages=("${run_packages[@]}")
case "${1:-}" in
    --test) packages+=("${test_packages[@]}") ;;
    "") ;;
    *) echo "usage: $0 [--test]" >&2; exit 2 ;;
esac

stop() {
    echo "$1" >&2
    echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
}

missing=()
if ! command -v dpkg-query >/dev/null; then
    missing=("${packages[@]}")
    stop "This is no Debian system (dpkg-query is missing). Belvane needs these Debian 12 packages or their equivalents:"
fi
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        stop "Belvane needs packages that are not installed, and there is no sudo here. As root, run:"
    fi
    sudo=(sudo)
fi
if ! command -v apt-get >/dev/null; then
    stop "Belvane needs packages that are not installed, and apt-get is missing. Install the packages:"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
