#!/usr/bin/env bash
# windows-bench-test.sh: panel-bench.exe under Wine against the native
# panel-bench, command by command: the text of show, areas (each gauge) and a
# few clicks (line ends and paths aside), the pictures of render in each state
# (pixel for pixel, or within the golden pictures' tolerance), and run on
# scenarios/ (the same results, the snapshots the same pictures); and the
# browser test against its live panel (serve).
#
# The files we ship are the 32-bit ones (build/win32/bin/panel-bench.exe with
# build/win32/gauges), run under 32-bit Wine where the machine can; elsewhere
# it says so and runs the same checks on the 64-bit build of the same code
# (build/win64, with its own gauges) under 64-bit Wine. With no Wine at all
# it says SKIPPED and why. Needs build/native (with its tests: picture-compare)
# and the Windows tree it runs; tools/test.sh builds them first.
#
# A difference fails the script, saying what differed: a diff of the text,
# or for a picture the expected (native) one, the actual one and a
# difference picture beside it, under build/windows-bench/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/native/bin/panel-bench
compare=$root/build/native/bin/picture-compare
work=$root/build/windows-bench

for tool in "$native" "$compare"; do
  [ -x "$tool" ] || {
    echo "windows-bench-test: $tool is missing: build build/native with tests first" >&2
    exit 1
  }
done

if why32=$("$root/tools/can-run-32bit.sh" --wine); then
  bits=32-bit
  exe=$root/build/win32/bin/panel-bench.exe
  build=build/win32
else
  echo "SKIPPED panel-bench.exe 32-bit (build/win32) under 32-bit Wine: $why32."
  echo "        The same checks run on the 64-bit build (build/win64) under 64-bit Wine."
  bits=64-bit
  exe=$root/build/win64/bin/panel-bench.exe
  build=build/win64
  if ! [ -x /usr/lib/wine/wine64 ] || ! [ -x /usr/lib/wine/wineserver64 ]; then
    echo "SKIPPED panel-bench.exe 64-bit (build/win64) under 64-bit Wine: wine64 is not" \
         "installed (tools/setup.sh installs it)."
    exit 0
  fi
fi
[ -f "$exe" ] || {
  echo "windows-bench-test: $exe is missing: build $build first (tools/test.sh does)" >&2
  exit 1
}
echo "panel-bench.exe ($bits, $build) under Wine against the native panel-bench"

# Each program with the defaults of its own build tree: its gauges, its sound
# library, the pictures it draws. What each prints on its standard output is
# compared (tools/wine-run.sh sends a Windows program's standard error, with
# Wine's own messages, to build/wine.log).
unset GAUGES_DIR
win() { (cd "$root" && "$root/tools/wine-run.sh" "$exe" "$@"); }
nat() { (cd "$root" && "$native" "$@"); }

# Line ends, the modules' paths after a gauge's name (.so natively, .gau on
# Windows), paths into the source tree (Z:\work\... under Wine) as
# <root>/... and the bench's own relative paths (scenarios\x.scn) with
# forward slashes; nothing else (a gauge's "sound\orlaclick.wav" stays).
normalise() {
  ROOT=$root perl -pe '
    BEGIN { $r = quotemeta($ENV{ROOT}); ($w = $ENV{ROOT}) =~ s{/}{\\}g; $w = quotemeta($w); }
    s/\r$//;
    s/  \([^()]*\.(so|gau)\)$//;
    s{(?:[A-Za-z]:)?(?:$r|$w)([\\/][^\s"]*)?}{ my $p = $1 // ""; $p =~ tr{\\}{/}; "<root>$p" }ge;
    s{\b((?:scenarios|build)\\[^\s"]*)}{ my $p = $1; $p =~ tr{\\}{/}; $p }ge;'
}

rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# Text: one row per command line.
text_rows=(
  "show"
  "areas VORN_Kestrel_FMC"
  "areas orlaaudio"
  "areas orlapfdset"
  "areas orlahyd"
  "click VORN_Kestrel_FMC area 6"
  "click orlaaudio 94 79"
  "click orlapfdset area 5 --hold 3"
  "click orlaaudio area 5 --state night"
  "click orlapfdset area 1 --state dark --updates 3"
)
n=0
for row in "${text_rows[@]}"; do
  n=$((n + 1))
  read -ra words <<<"$row"
  nat "${words[@]}" 2>"$work/text-$n.native.err" | normalise >"$work/text-$n.native.txt"
  win "${words[@]}" | normalise >"$work/text-$n.windows.txt"
  if diff -u --label "native: panel-bench $row" --label "$bits Windows: panel-bench.exe $row" \
       "$work/text-$n.native.txt" "$work/text-$n.windows.txt" >"$work/text-$n.diff"; then
    echo "same text: panel-bench $row"
  else
    cat "$work/text-$n.diff" >&2
    fail "panel-bench.exe $row printed other text than the native bench (diff above)"
  fi
done

# Pictures: the whole panel and each gauge, in each state.
for state in dark day dusk night; do
  for side in native windows; do
    mkdir -p "$work/render-$side"
    if [ $side = native ]; then
      nat render panel VORN_Kestrel_FMC orlaaudio orlapfdset orlahyd --state $state \
        --out "$work/render-$side" >"$work/render-$state.$side.txt" 2>&1
    else
      win render panel VORN_Kestrel_FMC orlaaudio orlapfdset orlahyd --state $state \
        --out "build/windows-bench/render-$side" >"$work/render-$state.$side.txt" 2>&1
    fi || fail "panel-bench render --state $state ($side) failed: $(tail -3 "$work/render-$state.$side.txt")" \
               "(panel-bench.exe's messages are in build/wine.log)"
  done
done
for expected in "$work"/render-native/*.png; do
  name=$(basename "$expected")
  actual=$work/render-windows/$name
  if [ ! -f "$actual" ]; then
    fail "panel-bench.exe render drew no $name (expected as $expected)"
  elif "$compare" "$expected" "$actual"; then
    echo "same picture: $name"
  else
    fail "panel-bench.exe render: $name differs from the native picture (above)"
  fi
done

# Scenarios: the same results (times aside) and the same snapshots.
timing() { sed -E -e 's/ in real time \([0-9.]+ s\)$//' -e 's/, [0-9.]+ s$//'; }
nat run scenarios --seed 1 --out "$work/run-native" 2>"$work/run.native.err" | normalise | timing \
  >"$work/run.native.txt"
native_status=${PIPESTATUS[0]}
win run scenarios --seed 1 --out build/windows-bench/run-windows | normalise | timing \
  >"$work/run.windows.txt"
windows_status=${PIPESTATUS[0]}
if [ "$windows_status" -ne 0 ] || ! grep -q "scenarios: .* 0 failed, 0 could not run" "$work/run.windows.txt"; then
  tail -20 "$work/run.windows.txt" >&2
  fail "panel-bench.exe run scenarios did not pass every scenario (exit status $windows_status;" \
       "its messages are in build/wine.log)"
fi
[ "$native_status" -eq 0 ] || fail "the native panel-bench run scenarios failed (exit status $native_status)"
if diff -u --label "native: panel-bench run scenarios" --label "$bits Windows: panel-bench.exe run scenarios" \
     <(sed -e 's#/run-native#/run-#' "$work/run.native.txt") \
     <(sed -e 's#/run-windows#/run-#' "$work/run.windows.txt") >"$work/run.diff"; then
  echo "same results: panel-bench run scenarios"
else
  cat "$work/run.diff" >&2
  fail "panel-bench.exe run scenarios printed other results than the native bench (diff above)"
fi
for expected in "$work"/run-native/*.png; do
  [ -f "$expected" ] || continue
  name=$(basename "$expected")
  if [ ! -f "$work/run-windows/$name" ]; then
    fail "panel-bench.exe run scenarios took no snapshot $name"
  elif "$compare" "$expected" "$work/run-windows/$name"; then
    echo "same snapshot: $name"
  else
    fail "panel-bench.exe run scenarios: snapshot $name differs from the native one (above)"
  fi
done

# serve: the browser test drives panel-bench.exe's live panel under Wine
# (a press on a key changes what the radio page reads, and the rest of it).
e2e=$root/tests/e2e
if ! command -v node >/dev/null || [ ! -x /usr/bin/chromium ] || [ ! -d "$e2e/node_modules/playwright-core" ]; then
  echo "SKIPPED the browser test against panel-bench.exe serve: it needs node, /usr/bin/chromium" \
       "and tests/e2e/node_modules (tools/setup.sh test, then npm ci in tests/e2e)"
elif node "$e2e/live_panel_test.mjs" "$exe" "$work/e2e" >"$work/e2e.txt" 2>&1; then
  grep -E '^click to picture' "$work/e2e.txt"
  echo "same browser test passes: panel-bench.exe serve (screenshot $work/e2e/live-panel.png)"
else
  cat "$work/e2e.txt" >&2
  fail "the browser test against panel-bench.exe serve failed (above)"
fi

if [ "$failures" -ne 0 ]; then
  echo "panel-bench.exe ($bits) under Wine: $failures check(s) failed; the files are in $work" >&2
  exit 1
fi
echo "panel-bench.exe ($bits) under Wine: every command the same as the native bench"
