#!/usr/bin/env bash
# can-run-32bit.sh [--wine]: exits 0 if this machine runs 32-bit x86 programs
# (then 32-bit Wine can load our 32-bit gauge files); otherwise prints one
# line saying why not and exits 1. Finds out by running a tiny 32-bit program.
# With --wine, 32-bit Wine must be installed too (tools/setup.sh installs it
# where the machine runs 32-bit programs and the package mirror lets it).
set -uo pipefail
[ "$(uname -m)" = x86_64 ] || [ "$(uname -m)" = i686 ] ||
  { echo "this is a $(uname -m) machine, not x86"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n  movl $1, %%eax\n  xorl %%ebx, %%ebx\n  int $0x80\n' >"$work/exit.s"
as --32 -o "$work/exit.o" "$work/exit.s" 2>/dev/null && ld -m elf_i386 -o "$work/exit" "$work/exit.o" 2>/dev/null ||
  { echo "binutils cannot make a 32-bit program here (as --32, ld -m elf_i386)"; exit 1; }
"$work/exit" 2>/dev/null ||
  { echo "this kernel does not run 32-bit programs (no 32-bit support built in or enabled)"; exit 1; }
if [ "${1:-}" = --wine ] && ! { [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wineserver32 ]; }; then
  echo "32-bit Wine (wine32:i386) is not installed: tools/setup.sh could not install it" \
       "(it said why: a package mirror mid-sync, say); run tools/setup.sh test again later"
  exit 1
fi
exit 0
