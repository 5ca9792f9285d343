#!/usr/bin/env bash
# Configures (once) and builds the fuzz tree in build-fuzz/ with clang;
# arguments: the targets to build (default: all of fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f build-fuzz/CMakeCache.txt ]; then
  # libmspack's own source from Debian's archive, built instrumented with the
  # targets; without it (no archive to reach) the system's library is used.
  mspack=()
  if src=$(bash scripts/fetch-debian-source.sh libmspack build-fuzz/mspack-src); then
    mspack=(-DQUILLON_FUZZ_MSPACK_SOURCE="$src")
  else
    echo "fuzz-build: libmspack's source not available; its decoders stay uninstrumented" >&2
  fi
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQUILLON_BUILD_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${mspack[@]}" >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"
