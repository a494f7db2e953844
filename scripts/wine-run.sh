#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix, with no display.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
