#!/bin/bash
# Runs the tests: set-up, source check, native core under ASan+UBSan (and the
# thread tests under TSan, the fuzzer for a bounded time, the benchmarks once),
# the Win32 build with its Wine tests, the demo end to end. Prints a summary; fails
# when anything fails.
#
#   scripts/test.sh [native|tsan|fuzz|bench|wine|e2e|all]
#
# One group alone, or every group (the default, and what CI runs). `native` is the
# loop to run while working: the source check, the core and vokfiles under
# ASan+UBSan, the sample service's tests; it needs the packages only, no Wine prefix.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
what=${1:-all}
case "$what" in
    native|tsan|fuzz|bench|wine|e2e|all) ;;
    *) echo "usage: scripts/test.sh [native|tsan|fuzz|bench|wine|e2e|all]" >&2; exit 2 ;;
esac
want() { [ "$what" = all ] || [ "$what" = "$1" ]; }
if want wine || want e2e; then
    "$here/scripts/setup.sh" || { echo "setup failed"; exit 1; }
else
    "$here/scripts/setup.sh" --packages || { echo "setup failed"; exit 1; }
fi

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
jobs=2
declare -a summary
failed=0
step() {  # step NAME COMMAND...
    local name=$1; shift
    echo "=== $name"
    if "$@"; then summary+=("PASS  $name"); else summary+=("FAIL  $name"); failed=1; fi
}

native_tree() {  # [targets="T..."] native_tree DIR CMAKE-ARGS...: every target unless named
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
          -DCMAKE_CXX_COMPILER=clang++ "$@" >/dev/null && cmake --build "$dir" -j$jobs ${targets:+--target $targets}
}
asan_args=(-DVOK_SANITIZE=ON -DVOK_FUZZ=ON)  # one tree for the tests and the fuzzer

if want native; then
step "source check" scripts/checksrc.sh
targets="coretests vokfiles" step "native build (ASan+UBSan)" native_tree build/asan "${asan_args[@]}"
step "native tests (ASan+UBSan)" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --test-dir build/asan --output-on-failure
step "sample rates service" python3 -m unittest tests/tools/test_sample_rates_service.py
fi
if want tsan; then
targets=coretests step "native build (TSan)" native_tree build/tsan -DVOK_TSAN=ON
step "thread tests (TSan)" env TSAN_OPTIONS=halt_on_error=1 build/tsan/coretests --gtest_filter='*Threads*'
fi

fuzz_rates() {  # the reader's fuzzer for a bounded time, on a scratch copy of the seed corpus
    local corpus log=build/asan/fuzz_rates.log rc
    corpus=$(mktemp -d) || return 1
    cp tests/fixtures/*.xml "$corpus"/
    mkdir -p build/asan/fuzz-artifacts
    ASAN_OPTIONS=detect_leaks=1 timeout 300 build/asan/fuzz_rates -max_total_time=60 -timeout=10 \
        -max_len=16384 -print_final_stats=1 -artifact_prefix="$here/build/asan/fuzz-artifacts/" \
        "$corpus" >"$log" 2>&1
    rc=$?
    rm -rf "$corpus"
    if [ $rc -eq 0 ]; then tail -n 6 "$log"; else tail -n 80 "$log"; echo "fuzz_rates: finding kept in build/asan/fuzz-artifacts/"; fi
    return $rc
}
if want fuzz; then
targets=fuzz_rates step "native build (fuzzer)" native_tree build/asan "${asan_args[@]}"
step "fuzzer, daily-rates reader (60 s)" fuzz_rates
fi

bench_once() {  # Release tree without sanitizers; prints the figures, never judges them
    cmake -S "$here" -B build/bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc \
          -DCMAKE_CXX_COMPILER=g++ -DVOK_BENCH=ON >/dev/null &&
        cmake --build build/bench -j$jobs --target bench_reader bench_store bench_panel &&
        build/bench/bench_reader --benchmark_min_time=0.05 &&
        build/bench/bench_store --benchmark_min_time=0.05 &&
        build/bench/bench_panel --benchmark_min_time=0.05
}
if want bench; then
step "benchmarks (once, figures only)" bench_once
fi

win_tree() {
    cmake -S "$here" -B build/win -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh" >/dev/null &&
        cmake --build build/win -j$jobs
}
if want wine; then
step "Win32 build (mingw-w64)" win_tree
scripts/dllsize.sh || true
step "DLL size budget, no C++ library in it" scripts/dllsize.sh --check

win32_tree() {  # the DLL and its package for 32-bit Windows (i686); its static_asserts hold there too
    cmake -S "$here" -B build/win32 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null &&
        cmake --build build/win32 -j$jobs --target package_zip
}
step "32-bit Win32 build (mingw-w64 i686), vokcurrency-win32.zip" win32_tree
step "32-bit DLL size budget, no C++ library in it" scripts/dllsize.sh --check build/win32/vokcurrency.dll

core_arm32() {  # the portable core compiled (not linked) for 32-bit ARM Windows, the devices' processor
    # clang brings no C or C++ library for that target: the i686 cross compiler's
    # headers stand in (32-bit too, and mingw-w64's headers know ARM).
    local gcc f failed=0
    gcc=$(ls -d /usr/lib/gcc/i686-w64-mingw32/*-posix | sort -V | tail -n 1)
    for f in data/*.cpp update/*.cpp plugin/core/*.cpp dialogs/core/*.cpp platform/text16.cpp; do
        case $f in *_win32.cpp) continue ;; esac
        clang++ --target=armv7-w64-windows-gnu -std=c++17 -Os -fno-exceptions -fno-rtti -Wall -Werror \
            -nostdinc++ -isystem $gcc/include/c++ -isystem $gcc/include/c++/i686-w64-mingw32 \
            -isystem /usr/i686-w64-mingw32/include -I"$here" -c "$f" -o /dev/null || failed=1
    done
    return $failed
}
step "portable core for 32-bit ARM Windows (clang, compile only)" core_arm32
step "Wine tests" ctest --test-dir build/win --output-on-failure
wineserver -k 2>/dev/null || true
fi

demo_end_to_end() {  # the run command's own path: host under Xvfb, sample service, first update
    rm -rf build/e2e-demo
    mkdir -p build/e2e-demo
    VOK_RUN_TIMEOUT=150 scripts/run.sh --demo --headless --data build/e2e-demo | tee build/e2e-demo/run.out &&
        grep -q "^run: the plug-in stored the rates of " build/e2e-demo/run.out &&
        grep -q "^todayhost: notification: USD выше 99" build/e2e-demo/run.out &&
        python3 tests/e2e/check_demo.py build/e2e-demo &&
        echo "screenshot kept in build/e2e-demo/screenshot.png"
}
if want e2e; then
step "end to end: run command --demo under Xvfb" demo_end_to_end
fi

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
[ $failed -eq 0 ] && echo "all passed" || echo "SOME FAILED"
exit $failed
