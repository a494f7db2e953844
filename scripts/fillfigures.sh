#!/bin/bash
# The history fill's figures against the sample rates service: a year on a
# one-day store, and ten years (3660 days). Prints requests, bytes received
# (and what the day-by-day way would receive), seconds and bytes written to the
# history file. Takes about five minutes, most of it the fill's one-second
# spacing. Usage: scripts/fillfigures.sh [CAPACITY...]   (default 365 3660)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
capacities=("$@")
[ ${#capacities[@]} -eq 0 ] && capacities=(365 3660)
cmake -S "$here" -B build/bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
      -DVOK_BENCH=ON >/dev/null
cmake --build build/bench -j2 --target fill_figures >/dev/null
work=$(mktemp -d)
python3 tools/sample_rates_service.py --port-file "$work/port" --weeks 800 2>/dev/null &
service=$!
trap 'kill $service 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
for capacity in "${capacities[@]}"; do
    build/bench/fill_figures "$(cat "$work/port")" "$capacity" "$work"
done
