#!/usr/bin/env bash
# installer-test.sh: the release's installer (build/release, tools/release.sh)
# under Wine, one row per case, each in a fresh Wine prefix with a fresh fake
# simulator folder (C:\Sim: the simulator's program and an empty Gauges
# folder).
#   installer-test.sh [row...]   (default: every row)
# A silent run prints its details on the standard output and a failure's
# message on the standard error: each row keeps the one in its out.txt, the
# other in its wine.log (with Wine's own).
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
# The machine's uninstall entries (ours), and the user's (earlier versions').
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
user_uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
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
# run_setup <setup.exe> [folder], run_uninstaller [folder]: silent, into or
# from the row's simulator folder unless told another (as Windows names it).
run_setup() { wine_run "$1" /S "/D=${2:-C:\Sim}" >>"$row_dir/out.txt"; }
run_uninstaller() { wine_run "${1:-C:\Sim}\business-jet-gauges\uninstall.exe" /S >>"$row_dir/out.txt"; }
# said <text>: the installer or uninstaller printed it, as a detail or a message.
said() { cat "$row_dir/out.txt" "$row_dir/wine.log" 2>/dev/null | grep -qF -- "$1"; }
# Every file and folder of the simulator folder, with the files' hashes.
listing() {
  (cd "$sim" && find . -mindepth 1 -printf '%y %P\n' | LC_ALL=C sort |
    while read -r type path; do
      if [ "$type" = f ]; then echo "$(sha256sum < "$path" | cut -c1-64) $path"; else echo "dir $path"; fi
    done)
}
# Our uninstall entries, one line each: key, then every value as name=value
# (the machine's, or with `user` the user's own).
entries_listed() {
  wine_run reg query "$([ "${1:-}" = user ] && echo "$user_uninstall" || echo "$uninstall")" /s 2>/dev/null | tr -d '\r' | awk -F '    ' '
    /^HKEY_/ { if (line != "") print line; line = ""
               if ($0 ~ /\\business-jet-gauges[^\\]*$/) line = $0; next }
    line != "" && NF >= 4 { line = line "\t" $2 "=" $4 }
    END { if (line != "") print line }' | sed 's/$/\t/'
}
entries() { entries_listed | wc -l; }
# registered <name> <pattern> [folder]: the entry of the folder (C:\Sim
# unless told another) holds the value and it matches the pattern.
registered() {
  entries_listed | grep -F "$(printf '\tInstallLocation=%s\t' "${3:-C:\Sim}")" |
    tr '\t' '\n' | grep "^$1=" | grep -q -- "$2"
}
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
  [ "$(entries)" = 0 ] || problem "the uninstall entry is still there"
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

row_earlier_per_user_entry_replaced() {
  # An earlier version registered itself for the user only, one entry for
  # every folder: an install into its folder takes that entry's place.
  wine_run reg add "$user_uninstall\\business-jet-gauges" /v InstallLocation /d 'C:\Sim' /f >/dev/null ||
    { problem "the earlier entry could not be made"; return; }
  [ "$(entries_listed user | wc -l)" = 1 ] || problem "the earlier entry is not there to replace"
  run_setup "$setup" || problem "the install exited with $?"
  [ "$(entries_listed user | wc -l)" = 0 ] || problem "the user's earlier entry for C:\Sim is still there"
  [ "$(entries)" = 1 ] || problem "$(entries) uninstall entries for the machine, not one"
  registered DisplayVersion "$GAUGES_VERSION" || problem "no uninstall entry with version $GAUGES_VERSION"
}

row_read_only_gauges_folder() {
  chmod 555 "$sim/Gauges"
  listing > "$row_dir/before"
  local code=0
  run_setup "$setup" || code=$?
  [ "$code" -ne 0 ] || problem "the install into a read-only Gauges folder exited with 0"
  listing > "$row_dir/after"
  diff -u "$row_dir/before" "$row_dir/after" || problem "the install left something behind (above)"
  [ "$(entries)" = 0 ] || problem "a failed install registered an uninstaller"
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

row_tampered_record_names_a_file_outside() {
  run_setup "$setup" || problem "the install exited with $?"
  # A file and an empty folder outside the simulator folder, named by lines
  # added to the record (with the file's true hash).
  local drive=$row_dir/prefix/drive_c
  "${as_user[@]}" sh -c 'echo "not theirs" > "$1/outside.txt" && mkdir "$1/outside"' - "$drive"
  cp "$drive/outside.txt" "$row_dir/outside"
  "${as_user[@]}" sh -c 'printf "file %s ..\\\\outside.txt\r\nfolder ..\\\\outside\r\n" "$2" >> "$1"' - \
    "$sim/business-jet-gauges/installed.txt" "$(sha256sum < "$drive/outside.txt" | cut -c1-64)"
  run_uninstaller || problem "the uninstall exited with $?"
  expect_same "$row_dir/outside" "$drive/outside.txt"
  [ -d "$drive/outside" ] || problem "the uninstaller removed C:\\outside, a folder it never made"
  for file in "$dist"/Gauges/*.gau "$dist"/sound/*.wav; do
    [ ! -e "$sim/$(basename "$(dirname "$file")")/$(basename "$file")" ] ||
      problem "$(basename "$file"), which we installed, was left"
  done
  [ ! -e "$sim/GaugeSound.dll" ] || problem "GaugeSound.dll, which we installed, was left"
  grep -F 'Ignored a line of installed.txt that names nothing this installer writes: file ' \
    "$row_dir/out.txt" | grep -qF '..\outside.txt' ||
    problem "the uninstall's details do not say it ignored the line naming ..\\outside.txt"
  grep -qF '..\outside.txt' "$sim/business-jet-gauges/left.txt" 2>/dev/null ||
    problem "left.txt does not say the uninstaller ignored ..\\outside.txt"
  [ "$(entries)" = 0 ] || problem "the uninstall entry is still there"
}

# Two simulator folders, each with its own entry; uninstall_two_folders
# <first> <second> removes them in that order.
second='C:\Sim2'
uninstall_two_folders() {
  local sim2=$row_dir/prefix/drive_c/Sim2
  "${as_user[@]}" mkdir -p "$sim2/Gauges"
  run_setup "$setup" || problem "the install into C:\\Sim exited with $?"
  run_setup "$setup" "$second" || problem "the install into $second exited with $?"
  [ "$(entries)" = 2 ] || problem "$(entries) uninstall entries, not one for each folder"
  registered DisplayName 'C:\\Sim)' || problem "the entry of C:\\Sim does not name the folder"
  registered DisplayName 'C:\\Sim2)' "$second" || problem "the entry of $second does not name the folder"
  registered UninstallString 'C:\\Sim2\\business-jet-gauges\\uninstall.exe' "$second" ||
    problem "the entry of $second does not name its own uninstaller"
  local folder other other_dir
  for folder in "$1" "$2"; do
    if [ "$folder" = 'C:\Sim' ]; then other=$second other_dir=$sim2; else other='C:\Sim' other_dir=$sim; fi
    run_uninstaller "$folder" || problem "the uninstall of $folder exited with $?"
    ! registered DisplayName . "$folder" || problem "the entry of $folder is still there"
    [ "$folder" = "$2" ] && break
    registered DisplayName . "$other" || problem "uninstalling $folder removed the entry of $other"
    [ -f "$other_dir/Gauges/orlahyd.gau" ] && [ -f "$other_dir/business-jet-gauges/uninstall.exe" ] ||
      problem "uninstalling $folder removed files of $other"
  done
  [ ! -e "$sim/Gauges/orlahyd.gau" ] && [ ! -e "$sim2/Gauges/orlahyd.gau" ] ||
    problem "a gauge file was left after both uninstalls"
  [ "$(entries)" = 0 ] || problem "$(entries) uninstall entries left after both uninstalls"
}
row_two_folders_first_uninstalled_first() { uninstall_two_folders 'C:\Sim' "$second"; }
row_two_folders_last_uninstalled_first() { uninstall_two_folders "$second" 'C:\Sim'; }

row_gauges_is_a_file() {
  "${as_user[@]}" sh -c 'rmdir "$1/Gauges" && echo "not a folder" > "$1/Gauges"' - "$sim"
  listing > "$row_dir/before"
  local code=0
  run_setup "$setup" || code=$?
  [ "$code" -ne 0 ] || problem "the install beside a file named Gauges exited with 0"
  said 'C:\Sim\Gauges is a file, not a folder' || problem "the message does not say Gauges is a file"
  listing > "$row_dir/after"
  diff -u "$row_dir/before" "$row_dir/after" || problem "the install left something behind (above)"
  [ "$(entries)" = 0 ] || problem "a failed install registered an uninstaller"
}

row_path_over_the_windows_limit() {
  # A simulator folder of 240 characters: paths of files the installer writes
  # there are longer than Windows allows (259 characters), though Wine takes
  # them.
  local parts=(C: "$(printf 'a%.0s' {1..100})" "$(printf 'b%.0s' {1..100})" "$(printf 'c%.0s' {1..35})")
  local long
  # shellcheck disable=SC2141  # joined by Windows' separator, the backslash
  long=$(IFS='\'; echo "${parts[*]}")
  [ ${#long} -eq 240 ] || { problem "the test's folder is ${#long} characters, not 240"; return; }
  sim=$row_dir/prefix/drive_c/${parts[1]}/${parts[2]}/${parts[3]}
  "${as_user[@]}" mkdir -p "$sim/Gauges"
  listing > "$row_dir/before"
  local code=0
  run_setup "$setup" "$long" || code=$?
  [ "$code" -ne 0 ] || problem "the install into a folder of 240 characters exited with 0"
  said 'longer than Windows allows' || problem "the message does not say the path is too long"
  ! said 'disk may be full' || problem "the message blames the disk"
  listing > "$row_dir/after"
  diff -u "$row_dir/before" "$row_dir/after" || problem "the install left something behind (above)"
  [ "$(entries)" = 0 ] || problem "a failed install registered an uninstaller"
}

rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(clean_install existing_sound_library_kept
  uninstall_leaves_the_folder_as_before older_version_then_this earlier_per_user_entry_replaced
  read_only_gauges_folder
  changed_file_left_by_the_uninstaller tampered_record_names_a_file_outside
  two_folders_first_uninstalled_first two_folders_last_uninstalled_first gauges_is_a_file
  path_over_the_windows_limit)
passed=0 failed=0
for row in "${rows[@]}"; do
  before=$failures
  new_row "$row"
  "row_$row"
  if [ "$failures" -eq "$before" ]; then
    echo "ok: $row"; passed=$((passed + 1))
  else
    echo "FAILED: $row (what it printed and Wine's log: kept in $root/build/installer-test/$row.log)"
    mkdir -p "$root/build/installer-test"
    cat "$row_dir/out.txt" "$row_dir/wine.log" > "$root/build/installer-test/$row.log" 2>/dev/null
    failed=$((failed + 1))
  fi
done
echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
