#!/usr/bin/env bash
# The main job: builds everything (the native tree and the 32-bit gauge
# files), lays out dist/ for the simulator, draws the whole panel by day and
# at night into PNG files, runs the demo scenarios, says where the pictures
# and the results are, and then serves the live panel on this machine until
# Ctrl-C (NO_SERVE=1 stops after the scenarios).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" build/native
"$root/tools/build-win32.sh" -DGAUGES_TESTS=OFF
"$root/tools/dist.sh"
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

cat <<TEXT

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
