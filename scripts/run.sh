#!/bin/bash
# Builds the plug-in for Windows and says where it is.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
"$here/scripts/setup.sh"
cmake -S "$here" -B build/win -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh" >/dev/null
cmake --build build/win -j2 --target vokcurrency
echo
echo "vokcurrency.dll is at $here/build/win/vokcurrency.dll"
