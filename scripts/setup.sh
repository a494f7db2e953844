#!/bin/bash
# Everything a fresh Debian machine needs for building, testing and running:
# the packages, and a project-local Wine prefix with the null graphics driver.
# Quick when it has nothing to do.
#
#   scripts/setup.sh              packages and both Wine prefixes
#   scripts/setup.sh --packages   the packages only
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev libpugixml-dev
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine64 fonts-wine xvfb xauth tinyproxy python3 zip)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo_cmd apt-get update -qq
    $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# `--packages`: the packages alone (the native tests need no Wine prefix).
[ "${1:-}" = --packages ] && exit 0

# Two prefixes: the tests' (null graphics driver, nothing on screen) and the run
# command's (the ordinary driver, under Xvfb when there is no display). Both draw with
# one pinned font set, the fonts Wine ships (fonts-wine): Wine does not offer them to a
# new prefix by itself, and would draw "Tahoma" with whatever the machine has. A
# prefix made before the fonts were pinned, or whose fonts differ, is mended in place.
export WINEDEBUG=-all
pinned_fonts=/usr/share/wine/fonts

pin_fonts() {  # pin_fonts PREFIX
    local fonts="$1/drive_c/windows/Fonts" changed=0 f
    mkdir -p "$fonts"
    for f in "$pinned_fonts"/*; do
        cmp -s "$f" "$fonts/$(basename "$f")" && continue
        cp -f "$f" "$fonts/" && changed=1
    done
    if [ $changed -eq 1 ]; then
        echo "setup: pinned Wine's fonts in $1"
        WINEPREFIX="$1" wineserver -k 2>/dev/null || true
    fi
}

make_prefix() {  # make_prefix PREFIX null|x11
    local prefix=$1 driver=$2
    if [ ! -f "$prefix/.vok-ready" ]; then
        echo "setup: creating the Wine prefix in $prefix"
        mkdir -p "$prefix"
        if [ "$driver" = null ]; then
            WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1 || true
            WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        elif [ -n "${DISPLAY:-}" ]; then
            WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1 || true
        else
            WINEPREFIX="$prefix" xvfb-run -a wineboot -i >/dev/null 2>&1 || true
        fi
        WINEPREFIX="$prefix" wineserver -w
        touch "$prefix/.vok-ready"
    fi
    # Without a window manager (Xvfb) Wine draws the title bars itself.
    if [ "$driver" = x11 ] && [ ! -f "$prefix/.vok-undecorated" ]; then
        WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 &&
            WINEPREFIX="$prefix" wineserver -w && touch "$prefix/.vok-undecorated"
    fi
    pin_fonts "$prefix"
}

make_prefix "$here/build/wineprefix" null
make_prefix "$here/build/wineprefix-x11" x11
