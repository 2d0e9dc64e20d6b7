#!/usr/bin/env bash
# build.sh <dir> [cmake options...]: configures (once) and builds one tree;
# only the targets named in BUILD_TARGETS (separated by spaces) if it is set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086  # the targets are words
cmake --build "$root/$dir" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
