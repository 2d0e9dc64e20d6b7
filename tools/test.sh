#!/usr/bin/env bash
# Builds and runs every test: natively, again with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails), and as Windows programs
# under Wine; then one short pass of the benchmarks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/tools/setup.sh"
# The browser test's driver, exactly as package-lock.json pins it.
(cd "$root/tests/e2e" && npm ci --no-audit --no-fund --loglevel=error)

echo "== the 32-bit gauge files (the native tests check them as files)"
"$root/tools/build-win32.sh" -DGAUGES_TESTS=OFF

echo "== native build and tests (the live panel in Chromium among them)"
"$root/tools/build.sh" build/native -DGAUGES_E2E=ON
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs"
"$root/build/native/bin/gauge-check" "$root"/build/win32/gauges/*.gau "$root"/build/native/gauges/*.so

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/tools/build.sh" build/asan -DGAUGES_SANITIZE=ON -DGAUGES_BENCHMARKS=OFF -DGAUGES_E2E=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs"

echo "== the modules and their tests as Windows programs, under Wine"
"$root/tools/build.sh" build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
  -DGAUGES_BENCHMARKS=OFF
ctest --test-dir "$root/build/win64" --output-on-failure

echo "== benchmarks (one short pass: they must run and allocate nothing)"
"$root/build/native/bin/gauge_benchmarks" --benchmark_min_time=0.05
