#!/usr/bin/env bash
# release-check.sh: checks the release that tools/release.sh wrote into
# build/release/: the archive holds exactly dist/ and a SHA256SUMS that
# matches it; then (unless --no-rebuild) builds the release of the current
# commit twice, in two fresh clones in two folders, and compares every file
# we ship byte for byte. Exits 1 on any difference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/build/win32/release.env"
name=business-jet-gauges-$GAUGES_VERSION
release=$root/build/release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "release-check: $*" >&2; exit 1; }

echo "== the archive against dist/"
zip=$release/$name.zip
[ -f "$zip" ] || fail "$zip is missing: run tools/release.sh"
# One folder named as the archive, holding dist/ and SHA256SUMS.
unzip -Z1 "$zip" | sed -n "s|^$name/||p" > "$work/listing"
[ "$(wc -l < "$work/listing")" -eq "$(unzip -Z1 "$zip" | wc -l)" ] ||
  fail "the archive has files outside its folder $name/"
(cd "$root/dist" && find . -type f -printf '%P\n'; echo SHA256SUMS) | LC_ALL=C sort > "$work/expected"
diff -u "$work/expected" "$work/listing" || fail "the archive's files (+) are not dist/'s (-)"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
ln -s "$work/zip/$name" "$work/unpacked"
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the archive"
while read -r file; do
  cmp -s "$root/dist/$file" "$work/unpacked/$file" || fail "$file in the archive differs from dist/$file"
done < <(grep -vx SHA256SUMS "$work/listing")
[ "$(wc -l < "$work/unpacked/SHA256SUMS")" -eq "$(($(wc -l < "$work/listing") - 1))" ] ||
  fail "SHA256SUMS does not list every file of the archive"
grep -q "^$GAUGES_PRODUCT $GAUGES_VERSION: what goes where" "$work/unpacked/INSTALL.txt" ||
  fail "INSTALL.txt does not name version $GAUGES_VERSION"
[ "$(grep -c $'\r$' "$work/unpacked/INSTALL.txt")" -eq "$(wc -l < "$work/unpacked/INSTALL.txt")" ] ||
  fail "INSTALL.txt does not have Windows line ends on every line"
echo "the archive holds dist/ and a SHA256SUMS that matches it"

echo "== the tools zip"
tools=$release/$name-tools.zip
[ -f "$tools" ] || fail "$tools is missing: run tools/release.sh"
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "build/release/SHA256SUMS does not match the files"
grep -q " $name-tools.zip\$" "$release/SHA256SUMS" || fail "build/release/SHA256SUMS does not list $name-tools.zip"
unzip -Z1 "$tools" > "$work/tools-listing"
top=$name-tools
{
  printf '%s\n' panel-bench.exe gauge-check.exe GaugeSound.dll README-tools.txt fonts/LICENCE.txt
  (cd "$root/dist" && find Gauges sound -type f)
  (cd "$root" && ls viewer/web | sed 's|^|web/|'; ls scenarios/*.scn)
} | sed "s|^|$top/|" | LC_ALL=C sort > "$work/tools-expected"
# Every file the zip must hold, and nothing outside its one top folder.
missing=$(LC_ALL=C comm -23 "$work/tools-expected" <(LC_ALL=C sort "$work/tools-listing"))
[ -z "$missing" ] || fail "the tools zip lacks: $missing"
! grep -v "^$top/" "$work/tools-listing" || fail "the tools zip has files outside $top/ (above)"
grep -q "^$top/fonts/.*\.ttf$" "$work/tools-listing" || fail "the tools zip has no fonts"
mkdir "$work/tools"
unzip -q "$tools" -d "$work/tools"
for file in $(cd "$root/dist" && find Gauges sound GaugeSound -type f); do
  cmp -s "$root/dist/$file" "$work/tools/$top/${file#GaugeSound/}" ||
    fail "$file in the tools zip differs from dist/$file"
done
grep -q "^$GAUGES_PRODUCT $GAUGES_VERSION: the tools" "$work/tools/$top/README-tools.txt" ||
  fail "README-tools.txt does not name version $GAUGES_VERSION"
[ "$(grep -c $'\r$' "$work/tools/$top/README-tools.txt")" -eq "$(wc -l < "$work/tools/$top/README-tools.txt")" ] ||
  fail "README-tools.txt does not have Windows line ends on every line"
echo "the tools zip holds the programs, the gauges as dist/ has them, the fonts, the page and the scenarios"

[ "${1:-}" = --no-rebuild ] && exit 0

commit=$(git -C "$root" rev-parse HEAD)
echo "== the release of $commit, built in two fresh clones in two folders"
git -C "$root" diff --quiet HEAD || echo "(the work tree has changes that are not committed: they are not in this check)"
for clone in one two; do
  git clone -q --no-hardlinks "$root" "$work/$clone"
  git -C "$work/$clone" checkout -q --detach "$commit"
  # Compiled afresh in each: an object from ccache would carry the other
  # folder's paths across and hide a difference.
  (export CCACHE_DISABLE=1
   "$work/$clone/tools/release.sh" > "$work/$clone.log" 2>&1) ||
    { tail -20 "$work/$clone.log" >&2; fail "the release did not build in $work/$clone"; }
done
shipped() {
  (cd "$1" && sha256sum build/win32/gauges/*.gau build/win32/bin/GaugeSound.dll \
     build/win32/bin/panel-bench.exe build/win32/bin/gauge-check.exe build/release/*)
}
diff -u <(shipped "$work/one") <(shipped "$work/two") ||
  fail "two builds of $commit in two folders differ (above)"
shipped "$work/one" | sed 's/^/  /'
echo "two builds of $commit in two folders are byte-identical"
