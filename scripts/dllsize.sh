#!/bin/bash
# Prints the stripped size of the plug-in in bytes. The build strips it already;
# a copy is stripped again here so the figure holds whatever the link did.
# Usage: scripts/dllsize.sh [path-to-dll]   (default build/win/vokcurrency.dll)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dll=${1:-$here/build/win/vokcurrency.dll}
if [ ! -f "$dll" ]; then
    echo "dllsize: $dll is not built" >&2
    exit 1
fi
copy=$(mktemp --suffix=.dll)
trap 'rm -f "$copy"' EXIT
cp "$dll" "$copy"
x86_64-w64-mingw32-strip "$copy"
echo "vokcurrency.dll stripped: $(stat -c %s "$copy") bytes"
