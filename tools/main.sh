#!/usr/bin/env bash
# Builds everything (the native tree and the 32-bit gauge files), lays out
# dist/ for the simulator, then runs the main job: the four gauges loaded
# into the host core with an example aircraft state, a few clicks, and what
# each gauge shows and sends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" build/native
"$root/tools/build-win32.sh" -DGAUGES_TESTS=OFF
"$root/tools/dist.sh"
"$root/build/native/bin/panel-bench" show
