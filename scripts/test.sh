#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Quillon and runs its tests.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan (leaks checked) in build-asan/
#   scripts/test.sh --tsan      ThreadSanitizer, the suites that run threads, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
quillon_install_deps

build=build
cmake_args=()
targets=()
ctest_args=()
case "${1:-}" in
  --sanitize)
    build=build-asan
    cmake_args+=(-DQUILLON_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
    ;;
  --tsan)
    # The output thread, the progress window, the CLI's batch and the
    # network library; the other suites run no threads of their own.
    build=build-tsan
    cmake_args+=(-DQUILLON_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    suites=(test_netlib test_core_spool test_gui test_cli)
    targets=(--target "${suites[@]}" quillon quillon-cli)
    ctest_args+=(-L "^($(IFS='|'; echo "${suites[*]}"))\$")
    export TSAN_OPTIONS=${TSAN_OPTIONS:-suppressions=$PWD/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1}
    ;;
  "") ;;
  *) echo "usage: $0 [--sanitize|--tsan]" >&2; exit 2 ;;
esac

# A compiler cache makes the second build of a tree (and CI after a
# session on the same machine) cost a fraction of the first; the build
# folder's own path is kept out of the cache keys.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
  cmake_args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" "${cmake_args[@]}" >/dev/null
cmake --build "$build" -j2 "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --timeout 300 "${ctest_args[@]}"
