#!/bin/bash
# Makes the README's pictures anew in docs/: today.png (the demo's Today screen),
# history.png, converter.png and chart.png (the rates dialog's three views) and options.png (the
# four option pages and the item editor side by side). Everything runs under Xvfb in
# the run command's prefix, with the pinned fonts; ImageMagick takes and joins the
# pictures. Look at the results before committing them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

# Inside one Xvfb (the script runs itself there with --capture FOLDER): the tests
# hold each window on screen and write NAME.ready (its rectangle) until the picture
# is taken; the history test saves its views itself.
if [ "${1:-}" = --capture ]; then
    shots=$2
    (cd build/win && wine winetests.exe \
        --gtest_filter='Options.EveryTextFitsItsControlAndNothingOverlaps:RatesDialog.ScreenshotsOfBothViews' \
        >"$shots/tests.log" 2>&1) &
    tests=$!
    while kill -0 $tests 2>/dev/null; do
        for ready in "$shots"/*.ready; do
            [ -e "$ready" ] || continue
            read -r x y w h <"$ready"
            import -window root -crop "${w}x${h}+${x}+${y}" "${ready%.ready}.png"
            rm -f "$ready"
        done
        sleep 0.2
    done
    wait $tests || status=$?
    wineserver -k || true
    exit "${status:-0}"
fi
"$here/scripts/setup.sh"
if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
cmake -S "$here" -B build/win -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh" >/dev/null
cmake --build build/win -j2 --target winetests

# The Today screen: the demo's own screenshot.
rm -rf build/shots-demo
scripts/run.sh --demo --headless --data build/shots-demo >/dev/null
cp build/shots-demo/screenshot.png docs/today.png

shots="$here/build/shots"
rm -rf "$shots"
mkdir -p "$shots"
export WINEPREFIX="$here/build/wineprefix-x11" WINEDEBUG=-all
export VOK_SCREENSHOT_DIR="Z:${shots//\//\\}"

timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --capture "$shots" || {
    tail -n 30 "$shots/tests.log"
    exit 1
}

convert "$shots/history.bmp" docs/history.png
convert "$shots/converter.bmp" docs/converter.png
convert "$shots/chart.bmp" docs/chart.png
convert "$shots"/options-items.png "$shots"/options-update.png "$shots"/options-misc.png \
        "$shots"/options-about.png "$shots"/editor.png -background white -gravity east -splice 6x0 +append \
        -gravity east -chop 6x0 docs/options.png
echo "screenshots: docs/today.png docs/history.png docs/converter.png docs/chart.png docs/options.png"
