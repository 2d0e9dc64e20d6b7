#!/usr/bin/env bash
# make-tools-zip.sh <tree> <version> <tools.zip>: makes the tools zip of a
# release tree laid out as dist/ is, with the 32-bit Windows programs of
# build/win32. Everything sits in one top folder, laid out as the programs
# look for their files (beside themselves):
#   panel-bench.exe, gauge-check.exe   the bench and the checker
#   GaugeSound.dll                     the sound library the gauges play through
#   Gauges/*.gau, sound/*.wav          the gauges and their clicks
#   fonts/                             the fonts the pictures are drawn with, and their licence
#   web/                               the live panel's page
#   scenarios/*.scn                    the demo scenarios
#   README-tools.txt                   how to use them (Windows line ends)
# Used by tools/release.sh. Its output depends only on its input: every time
# is SOURCE_DATE_EPOCH (the caller's), every order and mode fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "$1" && pwd) version=$2 out=$(realpath -m "$3")
: "${SOURCE_DATE_EPOCH:?set SOURCE_DATE_EPOCH (tools/release.sh does)}"
bin=$root/build/win32/bin
font_dir=${GAUGES_FONT_DIR:-/usr/share/fonts/truetype/liberation}
# Their licence: Debian's statement of it, and the GNU GPL v2 it refers to.
font_licence=${GAUGES_FONT_LICENCE:-/usr/share/doc/fonts-liberation/copyright}
gpl=/usr/share/common-licenses/GPL-2
# The faces the bench draws with (bench/drawing/fonts.cpp).
fonts=(LiberationSans-Regular.ttf LiberationSans-Bold.ttf
       LiberationSansNarrow-Regular.ttf LiberationSansNarrow-Bold.ttf)
fail() { echo "make-tools-zip: $*" >&2; exit 1; }
for program in panel-bench.exe gauge-check.exe; do
  [ -f "$bin/$program" ] || fail "$bin/$program is missing: build the Windows tree first (tools/build-win32.sh)"
done
for font in "${fonts[@]}"; do
  [ -f "$font_dir/$font" ] || fail "$font_dir/$font is missing: install fonts-liberation (tools/setup.sh main)"
done
[ -f "$font_licence" ] || fail "$font_licence (the fonts' licence) is missing: install fonts-liberation"
[ -f "$gpl" ] || fail "$gpl (the licence the fonts' refers to) is missing: install base-files"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
top=business-jet-gauges-$version-tools
dir=$work/$top
mkdir -p "$dir/fonts" "$dir/web" "$dir/scenarios"
# The programs as built (linked without symbols, as the modules are).
cp "$bin/panel-bench.exe" "$bin/gauge-check.exe" "$tree/GaugeSound/GaugeSound.dll" "$dir/"
cp -R "$tree/Gauges" "$tree/sound" "$dir/"
for font in "${fonts[@]}"; do cp "$font_dir/$font" "$dir/fonts/"; done
{ cat "$font_licence"; printf '\n\n'; cat "$gpl"; } | sed 's/$/\r/' > "$dir/fonts/LICENCE.txt"
cp "$root"/viewer/web/* "$dir/web/"
cp "$root"/scenarios/*.scn "$dir/scenarios/"

first_gauge=$(find "$tree/Gauges" -name '*.gau' -printf '%f\n' | LC_ALL=C sort | head -n1)
# shellcheck source=/dev/null
. "$root/build/win32/release.env"  # GAUGES_PRODUCT
title="$GAUGES_PRODUCT $version: the tools"
{
  echo "$title"
  echo "${title//?/=}"
  cat <<TEXT

With these you can try the gauges on Windows before you install them into
the simulator: see them in your browser, press their keys, check a gauge
file, and run a scenario. Nothing here needs installing; keep the files
together in this folder (the programs look for Gauges, sound, fonts, web
and GaugeSound.dll beside themselves). Open a command prompt in this folder
(in Explorer, type cmd in the address bar and press Enter).

Try the gauges in your browser
    panel-bench.exe serve
  then open the address it prints (http://127.0.0.1:8018/) in your browser.
  The four gauges run as in the simulator: tick the switches to power the
  aircraft, click the gauges' keys and knobs. Ctrl-C in the command prompt
  stops it. --port N serves on another port.

Check a gauge file
    gauge-check.exe Gauges\\$first_gauge
  checks that a gauge file loads and behaves as the simulator expects; it
  prints one line per check and exits 0 if none failed. Give any .gau file,
  or several.

Run a scenario
    panel-bench.exe run scenarios
  runs every scenario in the scenarios folder (or name one file), prints
  what each expected and found, and writes the pictures it took (it says
  where; --out DIR chooses). A scenario is a text file of steps;
  panel-bench.exe help run says how to write one.

More
    panel-bench.exe render --state night   a picture of the whole panel
    panel-bench.exe show                   what each gauge shows, as text
    panel-bench.exe --help                 every command
    gauge-check.exe --help

What is here
    panel-bench.exe, gauge-check.exe   the bench and the gauge checker
    Gauges\\*.gau, sound\\*.wav          the gauges and their click sounds,
                                       the same files the installer puts in
                                       the simulator folder
    GaugeSound.dll                     the sound library the gauges play
                                       their clicks through
    fonts\\                             Liberation fonts for the pictures
                                       (licence in fonts\\LICENCE.txt)
    web\\                               the live panel's page
    scenarios\\                         the demo scenarios
TEXT
} | sed 's/$/\r/' > "$dir/README-tools.txt"

find "$dir" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$work" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$(dirname "$out")"
rm -f "$out"
(cd "$work" && find "$top" -type f -printf '%p\n' | LC_ALL=C sort | zip -X -D -q -9 "$out" -@)
