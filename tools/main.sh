#!/usr/bin/env bash
# The main job: builds what it uses (the native tree without tests or
# benchmarks, the 32-bit gauge files), lays out dist/ for the simulator and
# writes the release (build/release: the archive and the installer), draws the
# whole panel by day and at night into PNG files, runs the demo scenarios,
# says where the release, the pictures and the results are, and then serves
# the live panel on this machine until Ctrl-C (NO_SERVE=1 stops after the
# scenarios). tools/test.sh builds and runs the tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh" main
"$root/tools/build.sh" build/native -DGAUGES_TESTS=OFF -DGAUGES_BENCHMARKS=OFF
echo "== the release: dist/, the archive and the installer"
"$root/tools/release.sh"
echo "== the gauge files we ship, against the frame contract"; "$root/build/native/bin/gauge-check" "$root"/dist/Gauges/*.gau

bench=$root/build/native/bin/panel-bench
pictures=$root/build/pictures
results=$root/build/results
mkdir -p "$pictures" "$results"

echo "== the whole panel, by day and at night"
"$bench" render --state day --out "$pictures"
"$bench" render --state night --out "$pictures"
"$bench" render --state night --scale 2 --out "$pictures"
"$bench" render --state day --overlay --out "$pictures"

echo "== the demo scenarios (scenarios/*.scn)"
status=0
(cd "$root" && "$bench" run scenarios --out "$pictures/scenarios" \
  --junit "$results/scenarios.xml" --json "$results/scenarios.json") || status=$?

. "$root/build/win32/release.env"
cat <<TEXT

The release ($GAUGES_PRODUCT $GAUGES_VERSION), in $root/build/release:
  business-jet-gauges-$GAUGES_VERSION.zip        what goes into the simulator folder, with INSTALL.txt
  business-jet-gauges-$GAUGES_VERSION-setup.exe  the installer (Windows), with an uninstaller
  business-jet-gauges-$GAUGES_VERSION-tools.zip  the bench and the checker for Windows, to try the gauges
  SHA256SUMS
Pictures of the panel:
  $pictures/panel-day.png        by day (powered, engines running)
  $pictures/panel-night.png      at night (panel lights on)
  $pictures/panel-night-2x.png   at night, twice the size
  $pictures/panel-day-areas.png  by day, every mouse area outlined with its key event
  $pictures/scenarios/           the scenarios' snapshots
Scenario results:
  $results/scenarios.xml (JUnit), $results/scenarios.json
TEXT
[ "$status" -eq 0 ] || echo "Some scenarios failed: see the results above." >&2
[ "${NO_SERVE:-0}" = 1 ] && exit "$status"

echo "== the live panel"
exec "$bench" serve
