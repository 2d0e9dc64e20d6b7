#!/usr/bin/env bash
# make-installer.sh <tree> <version> <setup.exe>: makes the installer
# (installer/setup.nsi, NSIS) of a release tree laid out as dist/ is. Used by
# tools/release.sh, and by tools/installer-test.sh for an older version to
# install over. Its output depends only on its input (no build time).
# INSTALLER_TARGET=amd64-unicode makes it a 64-bit program (tests only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "$1" && pwd) version=$2 out=$(realpath -m "$3")
. "$root/build/win32/release.env"  # GAUGES_PRODUCT
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The files the installer puts in place, with their hashes, as an include.
{
  echo "; Made by tools/make-installer.sh: the files the installer puts in place."
  echo "!macro OUR_FILES DO"
  (cd "$tree" && LC_ALL=C sha256sum Gauges/* sound/*) | while read -r sha path; do
    echo "  !insertmacro \${DO} \"${path%%/*}\" \"${path#*/}\" \"$sha\""
  done
  echo "!macroend"
  echo "!define GAUGESOUND_SHA256 \"$(sha256sum < "$tree/GaugeSound/GaugeSound.dll" | cut -d' ' -f1)\""
} > "$work/files.nsh"
makensis -V2 -INPUTCHARSET UTF8 ${INSTALLER_TARGET:+-DTARGET="$INSTALLER_TARGET"} -DVERSION="$version" -DPRODUCT="$GAUGES_PRODUCT" \
  -DPAYLOAD="$tree" -DFILES="$work/files.nsh" -DOUTFILE="$out" "$root/installer/setup.nsi"
