#!/bin/bash
# Everything a fresh Debian machine needs for building, testing and running:
# the packages, and a project-local Wine prefix with the null graphics driver.
# Quick when it has nothing to do.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev libpugixml-dev
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 xvfb xauth tinyproxy python3 zip)
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

export WINEPREFIX="$here/build/wineprefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.vok-ready" ]; then
    echo "setup: creating the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vok-ready"
fi
