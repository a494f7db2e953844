#!/bin/bash
# The update rules' figures over a simulated year (2026): the real core on a
# simulated clock, against a model of the bank (tables out at 15:45 or 18:00
# Moscow time on each working day of the production calendar), for devices in
# UTC+2, +3, +7, +10 and +12. Prints a table per bank model and one line per
# zone and bank model for the fresh defaults; judges nothing. About half a
# minute for everything. The options pick rows (each may repeat):
#   scripts/pollfigures.sh [--bank 15:45|18:00] [--zone 2|3|7|10|12] [--rules NAME]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
cmake -S "$here" -B build/bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
      -DVOK_BENCH=ON >/dev/null
cmake --build build/bench -j1 --target poll_figures >/dev/null
timeout 600 build/bench/poll_figures "$@"
