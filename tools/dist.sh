#!/usr/bin/env bash
# Lays out dist/ as it goes into the simulator: the four gauge files, the
# click sounds, our sound library stand-in in a folder of its own, and
# INSTALL.txt saying where each goes. Needs the Windows build (build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$root/build/win32
dist=$root/dist
[ -f "$win/gauges.txt" ] || {
  echo "dist: $win/gauges.txt is missing: build the Windows tree first (tools/build-win32.sh)" >&2
  exit 1
}
mapfile -t gauges < "$win/gauges.txt"  # the panel's gauges: GAUGE_MODULES (CMakeLists.txt)
for gauge in "${gauges[@]}"; do
  [ -f "$win/gauges/$gauge.gau" ] || {
    echo "dist: $win/gauges/$gauge.gau is missing: build the Windows tree first (tools/build-win32.sh)" >&2
    exit 1
  }
done
# shellcheck source=/dev/null
. "$win/release.env"  # GAUGES_VERSION, GAUGES_PRODUCT: the project's (CMakeLists.txt)
rm -rf "$dist"
mkdir -p "$dist/Gauges" "$dist/sound" "$dist/GaugeSound"
for gauge in "${gauges[@]}"; do cp "$win/gauges/$gauge.gau" "$dist/Gauges/"; done
cp "$root/sound/orlaclick.wav" "$root/sound/vornqexclick.wav" "$dist/sound/"
cp "$win/bin/GaugeSound.dll" "$dist/GaugeSound/"
title="$GAUGES_PRODUCT $GAUGES_VERSION: what goes where"
{ echo "$title"; echo "${title//?/=}"; } > "$dist/INSTALL.txt"
cat >> "$dist/INSTALL.txt" <<'TEXT'

The simulator folder below is the folder that holds the simulator's program.

Gauges/*.gau
    VORN_Kestrel_FMC.gau  radio tuning display
    orlaaudio.gau         audio control panel
    orlapfdset.gau        PFD settings panel
    orlahyd.gau           hydraulics panel
  Copy them into the simulator's Gauges folder (or into the panel folder of
  the aircraft that lists them). A panel lists each gauge by its name, for
  example "orlahyd".

sound/*.wav
    orlaclick.wav, vornqexclick.wav: the click of a button press.
  Copy them into the folder named "sound" in the simulator folder (create it
  if there is none). The gauges ask for "sound\orlaclick.wav" and
  "sound\vornqexclick.wav", relative to the simulator folder.

GaugeSound/GaugeSound.dll
  The gauges play their clicks through a sound library named GaugeSound,
  which they look for beside the simulator's program. Most installations
  already have one. Only if the simulator folder holds no GaugeSound.dll,
  copy this one there. Never replace a GaugeSound.dll that is already there:
  other gauges rely on it. Without any GaugeSound.dll the gauges work, only
  silently.
TEXT
cat >> "$dist/INSTALL.txt" <<TEXT

The installer, business-jet-gauges-$GAUGES_VERSION-setup.exe, does all of this
for you, keeps a GaugeSound.dll that is already there, and registers an
uninstaller that removes exactly what it installed.
TEXT
# The text above names each gauge with what it is; a gauge added to the
# panel without its line there would go out unexplained.
for gauge in "${gauges[@]}"; do
  grep -q "^    $gauge\.gau " "$dist/INSTALL.txt" || {
    echo "dist: INSTALL.txt does not say what $gauge.gau is: add its line in tools/dist.sh" >&2
    exit 1
  }
done
echo "dist: laid out $dist"
