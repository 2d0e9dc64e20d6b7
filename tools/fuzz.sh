#!/usr/bin/env bash
# fuzz.sh TARGET [SECONDS]: builds the fuzz targets (clang, ASan/UBSan) in
# build/fuzz and runs fuzz_TARGET for SECONDS (default 60) from its seed
# corpus. New inputs go to build/fuzz/corpus/TARGET; a crash, leak or
# timeout is written to build/fuzz/findings/TARGET/ and fails the run.
# fuzz.sh --list names the targets; fuzz.sh --smoke RUNS runs every target
# for RUNS inputs from its seed corpus (what tools/test.sh does).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

usage() { echo "usage: tools/fuzz.sh TARGET [SECONDS] | --list | --smoke RUNS" >&2; exit 2; }
[ $# -ge 1 ] || usage

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DGAUGES_FUZZ=ON -DGAUGES_SANITIZE=ON \
  -DGAUGES_TESTS=OFF -DGAUGES_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzzers >/dev/null

shopt -s nullglob
targets=()
for corpus in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run() {  # run TARGET libFuzzer-options...
  local target=$1; shift
  local binary=$build/bin/fuzz_$target
  [ -x "$binary" ] || { echo "fuzz: no target '$target' (tools/fuzz.sh --list)" >&2; exit 2; }
  local findings=$build/findings/$target
  mkdir -p "$findings"
  "$binary" -artifact_prefix="$findings/" -timeout=10 -rss_limit_mb=2048 "$@"
}

case $1 in
  --list) printf '%s\n' "${targets[@]}" ;;
  --smoke)
    [ $# -eq 2 ] || usage
    for target in "${targets[@]}"; do
      echo "fuzz: $target, $2 runs from fuzz/corpus/$target"
      # New inputs go to the first folder given: a scratch one, so the
      # committed seeds stay as they are.
      scratch=$build/smoke/$target
      rm -rf "$scratch"; mkdir -p "$scratch"
      run "$target" -runs="$2" "$scratch" "$root/fuzz/corpus/$target" 2>"$build/$target.smoke.log" ||
        { tail -40 "$build/$target.smoke.log" >&2; exit 1; }
    done ;;
  -*) usage ;;
  *)
    target=$1 seconds=${2:-60}
    work=$build/corpus/$target
    mkdir -p "$work"
    run "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "$root/fuzz/corpus/$target" ;;
esac
