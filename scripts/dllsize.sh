#!/bin/bash
# Prints the stripped size of the plug-in in bytes, then, from the linker's map,
# the largest contributors by output section and by object (archive members by
# member name). The build strips the DLL already; a copy is stripped again here so
# the figure holds whatever the link did.
# Usage: scripts/dllsize.sh [--check] [path-to-dll [path-to-map]]
#        (default build/win/vokcurrency.dll and the .map beside it; the 32-bit
#        DLL is build/win32/vokcurrency.dll)
# --check: fails when the stripped DLL exceeds the budget (102,400 bytes), its
# zeroed memory (.bss) exceeds 80 KiB, or it holds anything of the C++ library
# (its strings, symbols or DLLs).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
budget=102400
bssBudget=81920
check=0
if [ "${1:-}" = "--check" ]; then check=1; shift; fi
dll=${1:-$here/build/win/vokcurrency.dll}
map=${2:-${dll%.dll}.map}
top=${VOK_DLLSIZE_TOP:-15}
if [ ! -f "$dll" ]; then
    echo "dllsize: $dll is not built" >&2
    exit 1
fi
copy=$(mktemp --suffix=.dll)
trap 'rm -f "$copy"' EXIT
cp "$dll" "$copy"
x86_64-w64-mingw32-strip "$copy"
size=$(stat -c %s "$copy")
echo "vokcurrency.dll stripped: $size bytes"
if [ $check -eq 1 ]; then
    failed=0
    if [ "$size" -gt $budget ]; then
        echo "dllsize: $size bytes is over the budget of $budget" >&2
        failed=1
    fi
    bssHex=$(x86_64-w64-mingw32-objdump -h "$copy" | awk '$2 == ".bss" { print $3 }')
    bss=$((16#${bssHex:-0}))
    if [ "$bss" -gt $bssBudget ]; then
        echo "dllsize: $bss bytes of .bss are over the budget of $bssBudget" >&2
        failed=1
    fi
    # Strings and names that only libstdc++, its exception support or its DLLs bring.
    # The 32-bit start-up code names libgcc's DLL to ask whether it is already
    # loaded (it never loads it): that name counts only as an import.
    found=$( { strings -a "$copy" | grep -vx 'libgcc_s_dw2-1\.dll'; x86_64-w64-mingw32-objdump -p "$copy" | grep 'DLL Name'; } |
        grep -E 'terminate called|basic_string|__cxa_|__gxx_|St9exception|St9type_info|bad_alloc|_Unwind_|GLIBCXX|libstdc\+\+|libgcc_s|libwinpthread|std::' |
        sort -u | head -n 20 || true)
    if [ -n "$found" ]; then
        echo "dllsize: the C++ library is in the DLL:" >&2
        echo "$found" >&2
        failed=1
    fi
    exit $failed
fi
echo "sections (size; .bss takes memory only):"
x86_64-w64-mingw32-objdump -h "$copy" | awk 'function hex(h,   i, n, d) {
        n = 0; h = tolower(h); sub(/^0x/, "", h)
        for (i = 1; i <= length(h); ++i) { d = index("0123456789abcdef", substr(h, i, 1)) - 1; n = n * 16 + d }
        return n
    }
    $1 ~ /^[0-9]+$/ { printf "  %-8s %8d\n", $2, hex($3) }'
if [ ! -f "$map" ]; then
    echo "dllsize: no map file $map" >&2
    exit 0
fi
# Input sections of the memory map: " .text.name  0xADDR  0xSIZE  file", where a long
# name puts address, size and file on the next line. Debug sections don't ship.
awk -v top="$top" '
    function hex(h,   i, n, d) {
        n = 0; h = tolower(h); sub(/^0x/, "", h)
        for (i = 1; i <= length(h); ++i) { d = index("0123456789abcdef", substr(h, i, 1)) - 1; n = n * 16 + d }
        return n
    }
    /^Linker script and memory map/ { inMap = 1; next }
    !inMap { next }
    /^\.[A-Za-z]/ { out = $1; next }
    function take(name, size, file) {
        if (out ~ /^\.(debug|zdebug|stab)/ || size == 0) return
        sub(/.*\//, "", file)
        sub(/\.cpp\.obj/, "", file)
        bySection[out] += size
        if (out == ".bss") zeroed[file] += size; else byObject[file] += size
    }
    /^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ / { take($1, hex($3), $4); pending = ""; next }
    /^ \.[^ ]+$/ { pending = $1; next }
    pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ / { take(pending, hex($2), $3); pending = ""; next }
    { pending = "" }
    END {
        print "by output section (from the map):"
        for (s in bySection) printf "  %-10s %8d\n", s, bySection[s] | "sort -k2 -nr"
        close("sort -k2 -nr")
        print "largest objects in the file (from the map, top " top "):"
        cmd = "sort -k2 -nr | head -n " top
        for (o in byObject) printf "  %-44s %8d\n", o, byObject[o] | cmd
        close(cmd)
        print "zeroed memory (.bss, not in the file) by object:"
        cmd = "sort -k2 -nr | head -n 5"
        for (o in zeroed) printf "  %-44s %8d\n", o, zeroed[o] | cmd
        close(cmd)
    }' "$map"
