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
# Written with Unix line ends here, given Windows ones below (Notepad and
# every Windows editor show it as it is meant).
{ echo "$title"; echo "${title//?/=}"; } > "$dist/INSTALL.txt"
cat >> "$dist/INSTALL.txt" <<TEXT

This archive holds one folder, business-jet-gauges-$GAUGES_VERSION. Unzip it
anywhere (your Downloads folder will do), then either run the installer or
copy the files by hand as below. "The simulator folder" is the folder that
holds the simulator's program (often under C:\Program Files).

Check the download (optional)
  SHA256SUMS in this folder lists the SHA-256 of every file. In a command
  prompt in this folder:
      certutil -hashfile Gauges\orlahyd.gau SHA256
  or in PowerShell:
      Get-FileHash Gauges\orlahyd.gau
  and compare with the file's line in SHA256SUMS (letter case aside).

With the installer
  Run business-jet-gauges-$GAUGES_VERSION-setup.exe (a separate download beside
  this zip) and choose the simulator folder. It copies the files below into
  place, keeps a GaugeSound.dll that is already there, and makes a folder
  named business-jet-gauges in the simulator folder holding its record and
  its uninstaller. It appears among the installed programs (Settings, Apps)
  as "$GAUGES_PRODUCT (<the simulator folder>)", once for each
  simulator folder you install into. Uninstalling there removes the files
  it installed; a file you changed since, or one in use, stays, and the
  uninstaller says which. The installer and the uninstaller ask for an
  administrator's permission as they start (Windows shows the question):
  simulators often live under C:\Program Files, where only an
  administrator may change files.
TEXT
cat >> "$dist/INSTALL.txt" <<'TEXT'

By hand
  Gauges\*.gau: copy them into the folder named "Gauges" in the simulator
  folder (or into the panel folder of the aircraft that lists them). A
  panel lists each gauge by its name, for example "orlahyd"; the simulator
  finds a gauge by its file name, so keep the names as they are.

    file                  what it is            size (pixels)
    VORN_Kestrel_FMC.gau  radio tuning display  380 x 495
    orlaaudio.gau         audio control panel   140 x 247
    orlapfdset.gau        PFD settings panel     64 x 263
    orlahyd.gau           hydraulics panel      287 x 112

  What they need from the other gauges of the panel:
    VORN_Kestrel_FMC and orlaaudio need nothing but the aircraft's power
      (battery and avionics) and radios.
    orlapfdset sets the PFD's "temp", "millibars", "dhset" and "ratest"
      (temperature unit, baro unit, decision height, altitude test): its
      buttons and knobs act on a PFD gauge of the panel that has these. On
      a panel without such a PFD it still works, and nothing shows them.
    orlahyd lights its dials at the brightness that a dimmer gauge's
      "dimbrtb" selects (1 bright, 2 dim). On a panel without such a dimmer
      its dials stay unlit; the needle still shows the pressure.

  sound\*.wav (orlaclick.wav, vornqexclick.wav: the click of a button
  press): copy them into the folder named "sound" in the simulator folder
  (create it if there is none). The gauges ask for "sound\orlaclick.wav"
  and "sound\vornqexclick.wav", relative to the simulator folder.

  GaugeSound\GaugeSound.dll: the gauges play their clicks through a sound
  library named GaugeSound, which they look for beside the simulator's
  program. Most installations already have one. Only if the simulator
  folder holds no GaugeSound.dll, copy this one there. Never replace a
  GaugeSound.dll that is already there: other gauges rely on it. Without
  any GaugeSound.dll the gauges work, only silently.

  To undo an install by hand, delete the four .gau files from the Gauges
  folder and the two .wav files from the sound folder, and GaugeSound.dll
  only if you copied it there yourself.
TEXT
sed -i 's/$/\r/' "$dist/INSTALL.txt"
# The text above names each gauge with what it is; a gauge added to the
# panel without its line there would go out unexplained.
for gauge in "${gauges[@]}"; do
  grep -q "^    $gauge\.gau " "$dist/INSTALL.txt" || {
    echo "dist: INSTALL.txt does not say what $gauge.gau is: add its line in tools/dist.sh" >&2
    exit 1
  }
done
echo "dist: laid out $dist"
