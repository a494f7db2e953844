#!/bin/bash
# Stops the tinyproxy that tinyproxy-start.sh started in DIR, by its pid file.
set -uo pipefail
dir=$1
pidfile="$dir/tinyproxy.pid"
[ -s "$pidfile" ] || exit 0
pid=$(cat "$pidfile")
# Only a tinyproxy that runs with this folder's config is ours.
if [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "tinyproxy -c $dir/tinyproxy.conf"; then
    kill "$pid"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
fi
rm -f "$pidfile"
exit 0
