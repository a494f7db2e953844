#!/bin/bash
# House rules for the sources: the portable core includes no Win32 header, and
# nothing uses an unbounded string call. Prints each offence; fails on any.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

core_files=$(ls data/* update/* plugin/core/* dialogs/core/* platform/text16.* platform/fileio.h platform/lock.h 2>/dev/null | grep -v "_win32\.cpp$" || true)
if [ -n "$core_files" ]; then
    hits=$(grep -n -E '#[[:space:]]*include[[:space:]]*<(windows|winbase|windef|winuser|wingdi|winsock2?|wininet|commctrl|shellapi|objbase|ole2|winnt|winerror|mmsystem|gdiplus[a-z]*)\.h>' $core_files)
    if [ -n "$hits" ]; then
        echo "checksrc: a portable core file includes a Win32 header:"
        echo "$hits" | sed 's/^/    /'
        status=1
    fi
fi

sources=$(git ls-files -co --exclude-standard -- '*.c' '*.cpp' '*.cc' '*.h' 2>/dev/null)
hits=$(grep -n -E '(^|[^_a-zA-Z0-9])(sprintf|swprintf|strcpy|wcscpy|strcat|wcscat|gets|lstrcpyW?|lstrcatW?|wsprintfW?)[[:space:]]*\(' $sources \
       | grep -v -E 'checksrc: allow' || true)
# swprintf is allowed when it carries a size: the standard form swprintf(buf, n, fmt, ...).
hits=$(echo "$hits" | grep -v -E 'swprintf[[:space:]]*\([^,]+,[[:space:]]*[^,"]+,' || true)
if [ -n "$hits" ]; then
    echo "checksrc: unbounded string calls (use the bounded forms):"
    echo "$hits" | sed 's/^/    /'
    status=1
fi
[ $status -eq 0 ] && echo "checksrc: clean"
exit $status
