#!/bin/bash
# House rules for the sources: the portable core includes no Win32 header; data/
# and update/ include nothing from plugin/ or dialogs/, and dialogs/ nothing from
# plugin/ (what they need of the panel comes through their seams); every folder
# includes only from the layers below it and no two modules include each other
# (scripts/includegraph.py); the host includes nothing of the plug-in but the Today
# shell's own header; every source folder is named in docs/architecture.md; nothing
# uses an unbounded string call. Prints each offence; fails on any.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

core_files=$(ls data/* update/* plugin/core/* dialogs/core/* platform/text16.* platform/fileio.h platform/lock.h 2>/dev/null | grep -v -E "_win32\.(cpp|h)$" || true)
if [ -n "$core_files" ]; then
    hits=$(grep -n -E '#[[:space:]]*include[[:space:]]*<(windows|winbase|windef|winuser|wingdi|winsock2?|wininet|commctrl|shellapi|objbase|ole2|winnt|winerror|mmsystem|gdiplus[a-z]*)\.h>' $core_files)
    if [ -n "$hits" ]; then
        echo "checksrc: a portable core file includes a Win32 header:"
        echo "$hits" | sed 's/^/    /'
        status=1
    fi
fi

# The include graph: every folder includes only from the layers below it (so data/ and
# update/ nothing from plugin/ or dialogs/, and dialogs/ nothing from plugin/), and no two
# modules (a header with its source) include each other, however long the way round.
python3 scripts/includegraph.py layers || status=1
python3 scripts/includegraph.py cycles || status=1

hits=$(grep -n -E '#[[:space:]]*include[[:space:]]*"' host/* 2>/dev/null | grep -v -E '"platform/today\.h"' || true)
if [ -n "$hits" ]; then
    echo "checksrc: the host includes the plug-in's code (it knows only platform/today.h):"
    echo "$hits" | sed 's/^/    /'
    status=1
fi

folders=$(git ls-files -co --exclude-standard -- '*.c' '*.cpp' '*.cc' '*.h' 2>/dev/null | xargs -n1 dirname | sort -u)
for folder in $folders; do
    if ! grep -q -F "\`$folder/" docs/architecture.md; then
        echo "checksrc: docs/architecture.md does not name the source folder $folder/"
        status=1
    fi
done

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
