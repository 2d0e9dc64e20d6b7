#!/usr/bin/env bash
# Builds and runs every test: natively, again with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails), as Windows programs under
# Wine (the 32-bit gauge files we ship under 32-bit Wine, where the machine
# can run it), panel-bench.exe command by command against the native bench
# (tools/windows-bench-test.sh), the release (the archive, reproducible builds, the installer
# under 32-bit Wine where the machine can run it), each fuzz target for a
# short fixed number of runs; then one short pass of the benchmarks, and the
# picture benchmark natively and under Wine side by side.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/tools/setup.sh" test
# The browser test's driver, exactly as package-lock.json pins it.
(cd "$root/tests/e2e" && npm ci --no-audit --no-fund --loglevel=error)

# The picture benchmark as a Windows program (tools/windows-benchmarks.sh),
# with Google Benchmark built from Debian's source of it, in the Windows
# tree whose programs this machine runs: the 32-bit test tree under 32-bit
# Wine, else the 64-bit tree.
no_benchmarks=(-DGAUGES_BENCHMARKS=OFF)
windows_benchmarks=("${no_benchmarks[@]}")
why_file=$(mktemp)
if source=$("$root/tools/benchmark-source.sh" 2>"$why_file"); then
  windows_benchmarks=(-DGAUGES_BENCHMARKS=ON "-DGAUGES_BENCHMARK_SOURCE=$source")
else
  echo "SKIPPED: the picture benchmark as a Windows program: Google Benchmark's source: $(cat "$why_file")"
fi
rm -f "$why_file"
if "$root/tools/can-run-32bit.sh" --wine >/dev/null; then
  win32_benchmarks=("${windows_benchmarks[@]}") win64_benchmarks=("${no_benchmarks[@]}")
else
  win32_benchmarks=("${no_benchmarks[@]}") win64_benchmarks=("${windows_benchmarks[@]}")
fi

echo "== the 32-bit gauge files (the native tests check them as files) and their test programs"
"$root/tools/build-win32.sh" -DGAUGES_TESTS=OFF
"$root/tools/build.sh" build/win32-tests \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32-tests.cmake" "${win32_benchmarks[@]}"

echo "== the release (the native tests check the installer's version resource)"
"$root/tools/release.sh"

echo "== native build and tests (the live panel in Chromium among them)"
# Tests and benchmarks on, whatever tools/main.sh left in the tree's settings.
"$root/tools/build.sh" build/native -DGAUGES_TESTS=ON -DGAUGES_BENCHMARKS=ON -DGAUGES_E2E=ON
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs"
echo "== gauge-check on the gauge files we ship and the native modules"
"$root/build/native/bin/gauge-check" "$root"/build/win32/gauges/*.gau "$root"/build/native/gauges/*.so

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
"$root/tools/build.sh" build/asan -DGAUGES_SANITIZE=ON -DGAUGES_BENCHMARKS=OFF -DGAUGES_E2E=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs"

echo "== the modules and their tests as Windows programs, under Wine"
"$root/tools/build.sh" build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
  "${win64_benchmarks[@]}"
ctest --test-dir "$root/build/win64" --output-on-failure

echo "== the module suites against the 32-bit gauge files we ship, under 32-bit Wine"
if why=$("$root/tools/can-run-32bit.sh" --wine); then
  # The test programs load the gauge files of build/win32, the ones we ship:
  # each suite at the default x87 precision, at 24 bits, and in a C locale
  # with a decimal comma (the test names say which).
  GAUGES_DIR=$root/build/win32/gauges ctest --test-dir "$root/build/win32-tests" --output-on-failure
  # gauge-check's own 32-bit build, with its running checks of the files: its
  # summary must be there and clean (a crash under Wine may still exit 0).
  checked=$(cd "$root" && tools/wine-run.sh build/win32/bin/gauge-check.exe build/win32/gauges/*.gau) || true
  echo "$checked"
  grep -q "passed, 0 failed, .* in 4 files" <<<"$checked" ||
    { echo "gauge-check.exe under 32-bit Wine did not pass the four gauge files" >&2; exit 1; }
else
  echo "SKIPPED: the 32-bit suites and gauge-check.exe under 32-bit Wine: $why."
  echo "SKIPPED: they are built (build/win32) and run on a machine that runs 32-bit programs."
fi

echo "== panel-bench.exe under Wine against the native panel-bench, command by command"
# The 32-bit files we ship under 32-bit Wine where the machine can, else the
# 64-bit build under 64-bit Wine (it says which, and why).
"$root/tools/windows-bench-test.sh"

echo "== the release: the archive against dist/, and two builds in two folders byte-identical"
"$root/tools/release-check.sh"
echo "== the installer under 32-bit Wine (a fresh prefix and simulator folder for each case)"
"$root/tools/installer-test.sh"

echo "== fuzz targets (a short, fixed number of runs from each seed corpus)"
"$root/tools/fuzz.sh" --smoke 2000

echo "== benchmarks (one short pass: they must run and allocate nothing)"
"$root/build/native/bin/gauge_benchmarks" --benchmark_min_time=0.05
echo "== the whole panel drawn natively and as a Windows program under Wine (figures, not judged)"
"$root/tools/windows-benchmarks.sh" --benchmark_min_time=0.2
