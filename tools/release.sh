#!/usr/bin/env bash
# release.sh: builds the release into build/release/ and prints the SHA-256
# of each file:
#   business-jet-gauges-<version>.zip        dist/ with SHA256SUMS, in one folder
#                                            of that name (INSTALL.txt says where
#                                            each file goes)
#   business-jet-gauges-<version>-setup.exe  the installer (NSIS, installer/setup.nsi)
#   business-jet-gauges-<version>-tools.zip  the bench, the checker and the gauges, to try
#                                            them on Windows (tools/make-tools-zip.sh)
#   SHA256SUMS                               of the three
# The version is the project's (CMakeLists.txt). The same commit gives the
# same bytes in any folder: every time stamp is the commit's
# (SOURCE_DATE_EPOCH, which the caller may set), every order and mode fixed.
# Builds the Windows files it ships; needs zip and makensis (tools/setup.sh main).
# One release build at a time in a checkout: a second one waits for the first
# (they share build/win32 and dist/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The lock is held by this shell and every process it starts, until all have
# ended; a release.sh started under one that holds it goes on without waiting.
if [ "${GAUGES_RELEASE_LOCK_HELD:-}" != "$root" ]; then
  lock=$root/build/release.lock
  mkdir -p "$root/build"
  exec 9>>"$lock" ||
    { echo "release: cannot open $lock: make $root/build writable" >&2; exit 1; }
  if ! flock -n 9; then
    holder=$(cat "$lock" 2>/dev/null) || true
    echo "release: another release build is running in this checkout (pid ${holder:-unknown}): waiting for it" >&2
    flock 9
  fi
  echo $$ > "$lock"
  export GAUGES_RELEASE_LOCK_HELD=$root
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
    echo "release: $root is not a git checkout: set SOURCE_DATE_EPOCH to the release's date" \
         "(seconds since 1970)" >&2
    exit 1
  }
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
for tool in zip makensis; do
  command -v "$tool" >/dev/null ||
    { echo "release: $tool is missing: run tools/setup.sh main (as root)" >&2; exit 1; }
done

# The Windows files the release ships (the whole tree: tools/build-win32.sh);
# gauge_modules is every gauge of the panel (GAUGE_MODULES, CMakeLists.txt).
BUILD_TARGETS="gauge_modules GaugeSound panel-bench gauge-check" \
  "$root/tools/build-win32.sh" -DGAUGES_TESTS=OFF
"$root/tools/dist.sh"
# shellcheck source=/dev/null
. "$root/build/win32/release.env"
name=business-jet-gauges-$GAUGES_VERSION
out=$root/build/release
work=$(mktemp -d "$root/build/release-work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The archive's tree: dist/ with SHA256SUMS in one folder named as the
# archive, fixed modes and times.
tree=$work/$name
cp -R "$root/dist" "$tree"
(cd "$tree" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort | xargs -d '\n' sha256sum) \
  > "$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$tree/SHA256SUMS"
find "$tree" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$work/out"
(cd "$work" && find "$name" -type f | LC_ALL=C sort |
  zip -X -D -q -9 "$work/out/$name.zip" -@)

# The installer.
"$root/tools/make-installer.sh" "$tree" "$GAUGES_VERSION" "$work/out/$name-setup.exe"

# The tools zip.
"$root/tools/make-tools-zip.sh" "$tree" "$GAUGES_VERSION" "$work/out/$name-tools.zip"

(cd "$work/out" && sha256sum "$name.zip" "$name-setup.exe" "$name-tools.zip" > SHA256SUMS)
rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$work/out" "$out"
echo "release: $out (version $GAUGES_VERSION)"
sed 's/^/  /' "$out/SHA256SUMS"
