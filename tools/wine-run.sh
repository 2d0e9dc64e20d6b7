#!/usr/bin/env bash
# wine-run.sh <program.exe> [args...]: runs a Windows program under Wine with
# a project-owned prefix and returns its exit status: a 64-bit program with
# 64-bit Wine, a 32-bit one with 32-bit Wine (which needs a kernel that runs
# 32-bit programs: tools/can-run-32bit.sh). The program's output passes
# through; Wine's own goes to build/wine.log.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
log=$root/build/wine.log
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$root/build"
# The PE machine field: 0x014c is i386, 0x8664 x86-64.
machine=$(od -An -tx2 -j "$(( $(od -An -tu4 -j 60 -N 4 "$1" 2>/dev/null) + 4 ))" -N 2 "$1" 2>/dev/null | tr -d ' ')
if [ "$machine" = 014c ]; then
  # A prefix of its own, for 32-bit programs only; straight to the 32-bit
  # loader and server.
  export WINEPREFIX=${WINEPREFIX32:-$root/build/wine-prefix32} WINEARCH=win32
  loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 package=wine32
else
  # Straight to the 64-bit loader and server: the launchers try the 32-bit
  # ones first, which need a kernel that runs 32-bit programs.
  export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix}
  loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 package=wine64
fi
[ -x "$loader" ] && [ -x "$server" ] || {
  echo "wine-run: $package is missing (tools/setup.sh installs it where the machine can run it)" >&2
  exit 127
}
export WINELOADER=$loader WINESERVER=$server
# A server started by the program would keep our caller's output pipe open:
# start it here with its output sent to the log (a no-op when it runs).
"$server" -p >>"$log" 2>&1 </dev/null
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$loader" wineboot --init >>"$log" 2>&1 </dev/null
fi
# Replaced by the program, so that a signal sent to this script (Ctrl-C)
# reaches it.
exec "$loader" "$@" 2>>"$log" </dev/null
