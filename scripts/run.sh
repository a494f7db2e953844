#!/bin/bash
# Builds everything and starts the Today-screen host with the plug-in under Wine.
#
#   scripts/run.sh            the plug-in with the bank's live service
#   scripts/run.sh --demo     offline: a local sample rates service, reached through
#                             the plug-in's own proxy setting, and a separate data folder
#   --headless                no real window even when a display exists (Xvfb)
#   --holiday FROM..TO        the demo's service publishes nothing in those days
#                             (dates, or days from today: --holiday=-4..+3)
#   --data DIR                another data folder (the tests use their own)
#
# With a display the host opens in a real window. Without one it runs under Xvfb,
# and the run command's helper (todayshot) saves a screenshot of the Today screen
# after the first update and closes it. The demo's settings (proxy, panel font) are
# written with vokfiles, the native tool for the data files. The data folder (DLL,
# icon strips, vokCurrency.set, vokCurrency.his) persists.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
demo=0
headless=0
data=""
while [ $# -gt 0 ]; do
    case "$1" in
        --demo) demo=1 ;;
        --headless) headless=1 ;;
        --holiday) export VOK_DEMO_HOLIDAY=$2; shift ;;
        --holiday=*) export VOK_DEMO_HOLIDAY=${1#--holiday=} ;;
        --data) data=$(mkdir -p "$2" && cd "$2" && pwd); shift ;;
        *) echo "usage: scripts/run.sh [--demo] [--headless] [--data DIR] [--holiday FROM..TO]" >&2; exit 2 ;;
    esac
    shift
done
[ -n "${DISPLAY:-}" ] || headless=1

"$here/scripts/setup.sh"
cmake -S "$here" -B build/win -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh" >/dev/null
cmake --build build/win -j2 --target vokcurrency todayhost todayshot package_zip
# vokfiles, in a plain native tree of its own (no sanitizer, no fuzzer).
cmake -S "$here" -B build/tools -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/tools -j2 --target vokfiles
vokfiles="$here/build/tools/vokfiles"

if [ -z "$data" ]; then
    data="$here/build/today"
    [ $demo -eq 1 ] && data="$here/build/demo"
fi
mkdir -p "$data"
for f in vokcurrency.dll todayhost.exe vokCurrency.png vokCurrencyHIDPI.png; do
    cp -f "build/win/$f" "$data/"
done

# A prefix of its own with the ordinary graphics driver: this one shows windows.
# Set-up made it, with the pinned fonts.
export WINEPREFIX="$here/build/wineprefix-x11" WINEDEBUG=-all

args=()
service_pid=""
cleanup() {
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
if [ $demo -eq 1 ]; then
    port_file="$data/service.port"
    rm -f "$port_file"
    # Ten years of tables for the history's fill; tomorrow's table out already on a
    # working day, as the bank's is in the afternoon, so the first update shows how
    # the panel still gets today's rates with their arrows.
    python3 tools/sample_rates_service.py --port-file "$port_file" --weeks 530 --publish-hour 0 \
        2>"$data/service.log" &
    service_pid=$!
    for _ in $(seq 1 100); do [ -s "$port_file" ] && break; sleep 0.1; done
    [ -s "$port_file" ] || { echo "run: the sample rates service did not start" >&2; exit 1; }
    port=$(cat "$port_file")
    echo "run: sample rates service on 127.0.0.1:$port"
    # The plug-in reaches the sample service through its own proxy setting. Today's
    # three-digit rouble rates and their arrows overrun a 240-pixel line in the
    # default 15-pixel font; the demo's panel font is 13 pixels so the three default
    # items show whole.
    "$vokfiles" settings "$data/vokCurrency.set" useProxy=1 "proxy=127.0.0.1:$port" panelFont.lfHeight=13
    # The dollar (the third item) with an upper limit of 99 roubles, which the
    # sample rates (about 100) cross: the first update draws it in alert and raises
    # its notification. A limits file the demo already has is left as it is.
    [ -f "$data/vokCurrency.lim" ] || python3 -c 'import struct, sys
slots = [bytes(12)] * 16
slots[2] = struct.pack("<BBxxff", 1, 0, 99.0, 0.0)  # upper limit, inside so far
open(sys.argv[1], "wb").write(b"vokL" + bytes([1, 12, 16, 0]) + b"".join(slots))' "$data/vokCurrency.lim"
    args+=(--update-at-start)
fi

# The plug-in tells each download's outcome in the debugger output. The first one,
# after the first update, is put into one line here; other debugger lines are
# dropped, and whatever else Wine says passes through.
export WINEDEBUG=-all,warn+debugstr
tell_outcome() {
    local said=0 line text
    while IFS= read -r line; do
        case "$line" in
            *':debugstr:OutputDebugStringA "vokCurrency: '*) ;;
            *:debugstr:*) continue ;;
            *) printf '%s\n' "$line" >&2; continue ;;
        esac
        [ $said -eq 0 ] || continue
        said=1
        text=${line#*\"vokCurrency: }
        text=${text%\\n\"}
        case "$text" in
            stored*) echo "run: the plug-in $text" ;;
            *"could not be reached"*) echo "run: the bank's service couldn't be reached (${text#*reached: }); scripts/run.sh --demo works offline" ;;
            *) echo "run: no day was stored: $text; scripts/run.sh --demo works offline" ;;
        esac
    done
}

if [ $headless -eq 0 ]; then
    echo "run: starting the Today screen from $data"
    { wine "$data/todayhost.exe" "${args[@]}" 2>&1 1>&3 | tell_outcome; } 3>&1
else
    shot="$data/screenshot.png"
    rm -f "$shot"
    # Nobody is there to tap: the first update starts at once.
    [[ " ${args[*]-} " == *" --update-at-start "* ]] || args+=(--update-at-start)
    echo "run: no display: the Today screen runs under Xvfb"
    # The history file as it was before the run: the helper waits for a newer one.
    since=$(date -r "$data/vokCurrency.his" +%s%N 2>/dev/null || echo 0)
    # The helper beside the host in the same display; it closes the host once the
    # picture is taken. Wine's own processes end before Xvfb does, so none of them
    # loses its display.
    { timeout "${VOK_RUN_TIMEOUT:-180}" xvfb-run -a -s "-screen 0 800x600x24" \
        sh -c 'helper=$1 shot=$2 his=$3 since=$4; shift 4
               wine "$helper" --screenshot "$shot" --history "$his" --history-ns "$since" &
               wine "$@"; rc=$?; wait; wineserver -k; exit $rc' host \
        "$here/build/win/todayshot.exe" "Z:${shot//\//\\}" "Z:${data//\//\\}\\vokCurrency.his" "$since" \
        "$data/todayhost.exe" "${args[@]}" --exit-after-ms 120000 2>&1 1>&3 | tell_outcome; } 3>&1 || true
    if [ -f "$shot" ]; then echo "run: screenshot of the Today screen: $shot"; else echo "run: no screenshot was taken" >&2; exit 1; fi
fi
echo "run: Windows package: $here/build/win/vokcurrency-win64.zip"
