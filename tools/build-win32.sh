#!/usr/bin/env bash
# Builds the 32-bit Windows tree: the .gau files, GaugeSound.dll, the host
# programs and (with tests) the test programs that run under Wine. What it
# ships is linked without symbols, so it is compiled without debug
# information (the same code, in less time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh" build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  -DGAUGES_BENCHMARKS=OFF -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" "$@"
