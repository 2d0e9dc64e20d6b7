#!/usr/bin/env bash
# setup.sh [main|test]: installs the Debian packages that are missing.
#   main  what tools/main.sh uses: the native build without tests, the 32-bit
#         gauge files and the release (zip, NSIS)
#   test  (the default) everything tools/test.sh uses besides: the test
#         libraries, the Windows test builds and Wine, clang for the fuzz
#         targets, Chromium for the browser test, a comma locale
# Safe to run again; does nothing when everything is there.
set -euo pipefail
job=${1:-test}
case $job in
  main|test) ;;
  *) echo "setup: unknown job '$job': say main or test" >&2; exit 2 ;;
esac

packages=(cmake ninja-build g++ binutils pkg-config ccache git
          # the bench's drawing: stb (glyphs, PNG), zlib (its deflate), the fonts
          libstb-dev zlib1g-dev fonts-liberation
          # the art converter (tools/make-art.sh) reads PNG with libpng
          libpng-dev
          libboost1.81-dev nlohmann-json3-dev libcli11-dev
          # the 32-bit gauge files the simulator loads, and the tools for
          # Windows (posix threads: the live panel's server needs them; zlib
          # for their pictures)
          g++-mingw-w64-i686-posix libz-mingw-w64-dev
          # the release: the archive and the installer
          zip nsis)
here=$(cd "$(dirname "$0")" && pwd)
i386=0
locale_wanted=0
if [ "$job" = test ]; then
  packages+=(libgtest-dev libgmock-dev googletest libbenchmark-dev
             # the same sources and tests as 64-bit Windows programs, under Wine
             g++-mingw-w64-x86-64-posix wine64
             # the fuzz targets (libFuzzer)
             clang libclang-rt-14-dev
             # the live panel's test in a browser
             chromium
             # a C locale with a decimal comma, for the gauges' locale tests
             locales
             # the release's archive, unpacked and listed against dist/
             unzip)
  locale_wanted=1
  # Node.js and npm come with the machine; Debian's are the fallback.
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
  # 32-bit Wine loads the 32-bit gauge files we ship and runs the installer,
  # where the kernel runs 32-bit programs; elsewhere it cannot start, and the
  # tests say so.
  if why=$("$here/can-run-32bit.sh"); then
    i386=1
    packages+=(wine32:i386)
  else
    echo "setup: not installing 32-bit Wine: $why"
  fi
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
locale_missing=0
[ $locale_wanted -eq 0 ] || locale -a 2>/dev/null | grep -qx 'de_DE.utf8' || locale_missing=1
[ ${#missing[@]} -eq 0 ] && [ $locale_missing -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: run as root, or install them with apt-get, then try again" >&2
    exit 1
  }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
# A package mirror can be mid-sync: an index whose size does not match its
# release file fails the update for a while. Try the update a few times, and
# then go on with the indexes the machine already has.
update_indexes() {
  local try
  for try in 1 2 3 4; do
    $sudo apt-get update -qq && return 0
    [ $try -lt 4 ] || break
    echo "setup: apt-get update failed (try $try of 4); trying again in $((try * 15)) s"
    sleep $((try * 15))
  done
  echo "setup: apt-get update still fails (the package mirror looks mid-sync);" \
       "going on with the package indexes this machine already has"
}
# Installs the packages named; on failure names each that cannot be installed.
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
install_or_name() {
  $sudo apt-get install -y -qq --no-install-recommends "$@" >"$apt_log" 2>&1 && return 0
  local package stuck=()
  for package in "$@"; do
    $sudo apt-get install -s -qq --no-install-recommends "$package" >/dev/null 2>&1 || stuck+=("$package")
  done
  [ ${#stuck[@]} -gt 0 ] || stuck=("$@")
  echo "setup: cannot install ${stuck[*]}: the package mirror looks mid-sync; try again later" \
       "(apt-get said: $(grep -m1 '^E:' "$apt_log" || tail -n1 "$apt_log"))" >&2
  return 1
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ $i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  update_indexes
  # 32-bit Wine apart: its i386 libraries can lag their amd64 twins on a
  # mirror mid-sync. Without it the 32-bit parts of the tests say they were
  # skipped and why, as on a machine that cannot run 32-bit programs.
  others=() wine32=0
  for package in "${missing[@]}"; do
    if [ "$package" = wine32:i386 ]; then wine32=1; else others+=("$package"); fi
  done
  [ ${#others[@]} -eq 0 ] || install_or_name "${others[@]}" || exit 1
  if [ $wine32 -eq 1 ] && ! $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    echo "setup: cannot install 32-bit Wine (wine32:i386): the package mirror looks mid-sync;" \
         "the 32-bit parts of the tests will say they were skipped (run tools/setup.sh again later)"
  fi
fi
if [ $locale_missing -eq 1 ]; then
  echo "setup: generating the de_DE.UTF-8 locale"
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
