#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, if any is missing.
# Safe to run again; does nothing when everything is there.
set -euo pipefail

packages=(cmake ninja-build g++ binutils pkg-config ccache
          libgtest-dev libgmock-dev googletest libbenchmark-dev libpng-dev
          libfreetype-dev libfontconfig-dev fonts-liberation
          libcpp-httplib-dev nlohmann-json3-dev libcli11-dev
          # the 32-bit gauge files the simulator loads
          g++-mingw-w64-i686-win32
          # the same sources and tests as 64-bit Windows programs, under Wine
          g++-mingw-w64-x86-64-posix wine64
          # the fuzz targets (libFuzzer)
          clang libclang-rt-14-dev
          # the live panel's test in a browser
          chromium)
# Node.js and npm come with the machine; Debian's are the fallback.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
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
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
