#!/usr/bin/env bash
# windows-benchmarks.sh [benchmark args...]: the picture benchmark as a
# Windows program under Wine and natively, back to back on this machine, and
# how much longer the whole panel takes to draw under Wine than natively.
# The 32-bit build (build/win32-tests) under 32-bit Wine where the machine
# can, else the 64-bit build (build/win64) under 64-bit Wine; it says which.
# A build without the benchmark (no Google Benchmark source was to be had:
# tools/benchmark-source.sh) is skipped, saying so. Figures are printed, not
# judged: speed is never a pass or a fail here.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/native/bin/picture_benchmarks
if "$root/tools/can-run-32bit.sh" --wine >/dev/null; then
  exe=$root/build/win32-tests/bin/picture_benchmarks.exe bits=32-bit
else
  exe=$root/build/win64/bin/picture_benchmarks.exe bits=64-bit
fi
[ -x "$native" ] || { echo "windows-benchmarks: $native is missing: build build/native with benchmarks" >&2; exit 1; }
if [ ! -f "$exe" ]; then
  echo "SKIPPED the picture benchmark under Wine: $exe was not built (no Google Benchmark source" \
       "for Windows: tools/benchmark-source.sh says why)"
  exit 0
fi
args=(--benchmark_filter='DrawPanel' --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
      "$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each from the source folder, with its own build's gauges (the defaults).
echo "native:"
(cd "$root" && "$native" "${args[@]}" --benchmark_format=csv) 2>/dev/null | tee "$work/native.csv" |
  grep -E '_median' | cut -d, -f1,3,5
echo "$bits Windows under Wine:"
(cd "$root" && "$root/tools/wine-run.sh" "$exe" "${args[@]}" --benchmark_format=csv) 2>/dev/null |
  tr -d '\r' | tee "$work/wine.csv" | grep -E '_median' | cut -d, -f1,3,5
# The ratio of the medians' real times, row by row.
join -t, <(grep _median "$work/native.csv" | cut -d, -f1,3 | sort) \
         <(grep _median "$work/wine.csv" | cut -d, -f1,3 | sort) |
  awk -F, '{ gsub(/"/, "", $1); printf "%s: Wine %.2f ms, native %.2f ms: %.2fx\n", $1, $3, $2, $3 / $2 }'
