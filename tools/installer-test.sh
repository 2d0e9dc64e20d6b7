#!/usr/bin/env bash
# installer-test.sh: the release's installer (build/release, tools/release.sh)
# under Wine, one row per case, each in a fresh Wine prefix with a fresh fake
# simulator folder (C:\Sim: the simulator's program and an empty Gauges
# folder).
#   installer-test.sh [row...]   (default: every row)
# The release's installer is a 32-bit program: it runs under 32-bit Wine
# where this machine runs 32-bit programs. Elsewhere that is skipped, saying
# so, and the rows run the same installer script built as a 64-bit program
# under 64-bit Wine instead: the same logic, not the same file.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/build/win32/release.env"
name=business-jet-gauges-$GAUGES_VERSION
setup=$root/build/release/$name-setup.exe
dist=$root/dist
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\business-jet-gauges'
[ -f "$setup" ] || { echo "installer-test: $setup is missing: run tools/release.sh" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

if why=$("$root/tools/can-run-32bit.sh" --wine); then
  loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 arch=win32 package=wine32
  echo "the release's installer ($name-setup.exe, 32-bit) under 32-bit Wine"
else
  echo "SKIPPED: the release's 32-bit installer under 32-bit Wine: $why."
  loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 arch=win64 package=wine64
  export INSTALLER_TARGET=amd64-unicode
  setup=$work/$name-setup-64bit.exe
  "$root/tools/make-installer.sh" "$dist" "$GAUGES_VERSION" "$setup" >/dev/null ||
    { echo "installer-test: the 64-bit build of the installer failed" >&2; exit 1; }
  echo "Instead: the same installer script built as a 64-bit program, under 64-bit Wine."
fi
[ -x "$loader" ] && [ -x "$server" ] ||
  { echo "installer-test: $package is missing: run tools/setup.sh (as root)" >&2; exit 1; }

# Wine runs as an ordinary user, so that a read-only folder is read-only.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

# The row's prefix and simulator folder; wine runs a program there and
# waits for every process of the prefix (an uninstaller hands over to a copy
# of itself) before it returns the program's exit code.
row_dir=
sim=
wine_run() {
  local code=0
  env HOME="$row_dir" WINEPREFIX="$row_dir/prefix" WINEARCH=$arch WINEDEBUG=-all \
      WINEDLLOVERRIDES=mscoree,mshtml= WINELOADER=$loader WINESERVER=$server "${as_user[@]}" \
      "$loader" "$@" </dev/null 2>>"$row_dir/wine.log" || code=$?
  env WINEPREFIX="$row_dir/prefix" "${as_user[@]}" "$server" -w
  return "$code"
}
new_row() {
  row_dir=$work/$1
  mkdir -p "$row_dir"
  [ ${#as_user[@]} -eq 0 ] || chown nobody:nogroup "$row_dir"
  wine_run wineboot --init >/dev/null 2>&1
  sim=$row_dir/prefix/drive_c/Sim
  "${as_user[@]}" mkdir -p "$sim/Gauges"
  "${as_user[@]}" sh -c 'echo "the simulator" > "$1/sim.exe"' - "$sim"
}
run_setup() { wine_run "$1" /S '/D=C:\Sim'; }
run_uninstaller() { wine_run 'C:\Sim\business-jet-gauges\uninstall.exe' /S; }
# Every file and folder of the simulator folder, with the files' hashes.
listing() {
  (cd "$sim" && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort |
    while read -r type path; do
      if [ "$type" = f ]; then echo "$(sha256sum < "$path" | cut -c1-64) $path"; else echo "dir $path"; fi
    done)
}
registered() { wine_run reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | grep -q "$2"; }
entries() { wine_run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null |
              tr -d '\r' | grep -c 'business-jet-gauges$'; }

failures=0
problem() { echo "  FAILED: $*"; failures=$((failures + 1)); }
expect_same() { cmp -s "$1" "$2" || problem "$2 differs from $1"; }
expect_installed() {
  for file in "$dist"/Gauges/*.gau; do expect_same "$file" "$sim/Gauges/$(basename "$file")"; done
  for file in "$dist"/sound/*.wav; do expect_same "$file" "$sim/sound/$(basename "$file")"; done
}

row_clean_install() {
  run_setup "$setup" || problem "the install exited with $?"
  expect_installed
  expect_same "$dist/GaugeSound/GaugeSound.dll" "$sim/GaugeSound.dll"
  registered DisplayVersion "$GAUGES_VERSION" || problem "no uninstall entry with version $GAUGES_VERSION"
  registered UninstallString 'C:\\Sim\\business-jet-gauges\\uninstall.exe' ||
    problem "the uninstall entry does not name our uninstaller"
  [ -f "$sim/business-jet-gauges/uninstall.exe" ] || problem "no uninstaller"
}

row_existing_sound_library_kept() {
  "${as_user[@]}" sh -c 'echo "another sound library" > "$1/GaugeSound.dll"' - "$sim"
  cp "$sim/GaugeSound.dll" "$row_dir/theirs"
  run_setup "$setup" || problem "the install exited with $?"
  expect_installed
  expect_same "$row_dir/theirs" "$sim/GaugeSound.dll"
  run_uninstaller || problem "the uninstall exited with $?"
  expect_same "$row_dir/theirs" "$sim/GaugeSound.dll"
}

row_uninstall_leaves_the_folder_as_before() {
  listing > "$row_dir/before"
  run_setup "$setup" || problem "the install exited with $?"
  run_uninstaller || problem "the uninstall exited with $?"
  listing > "$row_dir/after"
  diff -u "$row_dir/before" "$row_dir/after" || problem "the folder is not as before the install (above)"
  ! registered DisplayName . || problem "the uninstall entry is still there"
}

row_older_version_then_this() {
  # The older release: the same installer with the version before, and
  # gauge files that differ from ours.
  local older=$row_dir/older
  mkdir -p "$older"
  cp -R "$dist/." "$older/"
  for file in "$older"/Gauges/*.gau; do printf 'older' >> "$file"; done
  "$root/tools/make-installer.sh" "$older" 0.9.0 "$row_dir/older-setup.exe" >/dev/null ||
    { problem "the older installer was not made"; return; }
  chmod 644 "$row_dir/older-setup.exe"
  run_setup "$row_dir/older-setup.exe" || problem "the older install exited with $?"
  registered DisplayVersion 0.9.0 || problem "the older install is not registered"
  run_setup "$setup" || problem "the install over it exited with $?"
  expect_installed
  expect_same "$dist/GaugeSound/GaugeSound.dll" "$sim/GaugeSound.dll"
  registered DisplayVersion "$GAUGES_VERSION" || problem "the entry does not name version $GAUGES_VERSION"
  [ "$(entries)" = 1 ] || problem "$(entries) uninstall entries, not one"
  run_uninstaller || problem "the uninstall exited with $?"
  [ ! -e "$sim/GaugeSound.dll" ] || problem "GaugeSound.dll, ours since the older install, was left"
}

row_read_only_gauges_folder() {
  chmod 555 "$sim/Gauges"
  listing > "$row_dir/before"
  local code=0
  run_setup "$setup" || code=$?
  [ "$code" -ne 0 ] || problem "the install into a read-only Gauges folder exited with 0"
  listing > "$row_dir/after"
  diff -u "$row_dir/before" "$row_dir/after" || problem "the install left something behind (above)"
  ! registered DisplayName . || problem "a failed install registered an uninstaller"
}

row_changed_file_left_by_the_uninstaller() {
  run_setup "$setup" || problem "the install exited with $?"
  "${as_user[@]}" sh -c 'printf "changed by the user" >> "$1/Gauges/orlahyd.gau"' - "$sim"
  cp "$sim/Gauges/orlahyd.gau" "$row_dir/changed"
  run_uninstaller || problem "the uninstall exited with $?"
  expect_same "$row_dir/changed" "$sim/Gauges/orlahyd.gau"
  [ ! -e "$sim/Gauges/orlaaudio.gau" ] || problem "an unchanged file we installed was left"
  grep -q 'Gauges\\orlahyd.gau: changed since it was installed' "$sim/business-jet-gauges/left.txt" 2>/dev/null ||
    problem "the uninstaller did not say it left Gauges\\orlahyd.gau"
}

rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(clean_install existing_sound_library_kept
  uninstall_leaves_the_folder_as_before older_version_then_this read_only_gauges_folder
  changed_file_left_by_the_uninstaller)
passed=0 failed=0
for row in "${rows[@]}"; do
  before=$failures
  new_row "$row"
  "row_$row"
  if [ "$failures" -eq "$before" ]; then
    echo "ok: $row"; passed=$((passed + 1))
  else
    echo "FAILED: $row (Wine's log: kept in $root/build/installer-test/$row.log)"
    mkdir -p "$root/build/installer-test"
    cp "$row_dir/wine.log" "$root/build/installer-test/$row.log" 2>/dev/null
    failed=$((failed + 1))
  fi
done
echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
