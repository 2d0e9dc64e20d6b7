#!/usr/bin/env bash
# wine-run.sh <program.exe> [args...]: runs a 64-bit Windows program under
# Wine with a project-owned prefix and returns its exit status. The
# program's output passes through; Wine's own goes to build/wine.log.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
log=$root/build/wine.log
export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$root/build"
# Straight to the 64-bit loader and server: the launchers try the 32-bit ones
# first, which need a kernel that runs 32-bit programs.
loader=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
[ -x "$loader" ] && [ -x "$server" ] || {
  echo "wine-run: 64-bit Wine is missing: apt-get install wine64" >&2
  exit 127
}
export WINELOADER=$loader WINESERVER=$server
# A server started by the program would keep our caller's output pipe open:
# start it here with its output sent to the log (a no-op when it runs).
"$server" -p >>"$log" 2>&1 </dev/null
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$loader" wineboot --init >>"$log" 2>&1 </dev/null
fi
"$loader" "$@" 2>>"$log" </dev/null
