#!/usr/bin/env bash
# Runs a Windows program under Wine with a project-owned prefix, quietly, and
# returns its exit status. Wine's own chatter goes to build/wine.log.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$root/build"
# A wine server started here would keep our caller's output pipe open: start
# it with its output sent to the log (a no-op when it already runs).
wineserver -p >>"$root/build/wine.log" 2>&1 </dev/null
if [ ! -d "$WINEPREFIX" ]; then
  wineboot --init >>"$root/build/wine.log" 2>&1 </dev/null
fi
# The program's own output passes through; only Wine's goes to the log.
wine "$@" 2>>"$root/build/wine.log" </dev/null
