#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Quillon and runs its tests.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
quillon_install_deps

build=build
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  cmake_args+=(-DQUILLON_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j2
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300
