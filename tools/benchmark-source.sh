#!/usr/bin/env bash
# benchmark-source.sh: prints the folder of Google Benchmark's source, as
# Debian packages it (the source package of the libbenchmark-dev the native
# build uses), for building the benchmarks as Windows programs. Fetched once
# into build/benchmark-source with apt's own checks (the signed Sources
# index, each file's hash); nothing of the system's apt state is touched.
# Exits 1 with the reason on stderr if it cannot be had (no network, a
# mirror mid-sync): the caller then says what it skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/benchmark-source
version=$(dpkg-query -W -f '${source:Version}' libbenchmark-dev 2>/dev/null) ||
  { echo "libbenchmark-dev is not installed (tools/setup.sh test installs it)" >&2; exit 1; }
upstream=${version%-*}
upstream=${upstream#*:}
source=$dir/benchmark-$upstream
if [ -f "$source/CMakeLists.txt" ]; then
  echo "$source"
  exit 0
fi
mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial"
. /etc/os-release
echo "deb-src http://deb.debian.org/debian $VERSION_CODENAME main" > "$dir/apt/sources.list"
apt=(apt-get -qq -o Dir::Etc::SourceList="$dir/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o Dir::State::Lists="$dir/apt/lists" -o Dir::Cache="$dir/apt/cache"
     -o APT::Sandbox::User=root)
log=$dir/apt/log
if ! "${apt[@]}" update >"$log" 2>&1; then
  echo "cannot read Debian's source index ($(grep -m1 '^E:' "$log" || tail -n1 "$log"))" >&2
  exit 1
fi
work=$(mktemp -d "$dir/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && "${apt[@]}" source --download-only "benchmark=$version") >"$log" 2>&1; then
  echo "cannot fetch the source of benchmark $version ($(grep -m1 '^E:' "$log" || tail -n1 "$log"))" >&2
  exit 1
fi
tar -xzf "$work/benchmark_$upstream.orig.tar.gz" -C "$work"
[ -f "$work/benchmark-$upstream/CMakeLists.txt" ] ||
  { echo "benchmark_$upstream.orig.tar.gz does not hold benchmark-$upstream/" >&2; exit 1; }
mv "$work/benchmark-$upstream" "$source"
echo "$source"
