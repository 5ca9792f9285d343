#!/usr/bin/env bash
# One libFuzzer campaign: scripts/fuzz.sh TARGET SECONDS [libFuzzer options]
#   TARGET: a name from fuzz/ without .cpp (fuzz_package_cabinet, ...), or
#           "list" to print them. Builds the fuzz tree in build-fuzz/ (clang).
# The checked-in seeds in fuzz/corpus/TARGET/ are read (written only by
# "merge" below); new inputs go to build-fuzz/corpus/TARGET/, crashes to
# build-fuzz/artifacts/.
# The last lines of the output are libFuzzer's final statistics.
#   scripts/fuzz.sh merge TARGET: folds the inputs of build-fuzz/corpus/TARGET
#           that add coverage into the checked-in seeds, so that a campaign
#           carries on from a clean checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
if [ "$target" = list ]; then
  ls fuzz/fuzz_*.cpp | sed 's|fuzz/||; s|\.cpp$||'
  exit 0
fi
merge=
if [ "$target" = merge ]; then
  merge=1
  target=${2:?usage: scripts/fuzz.sh merge TARGET}
else
  seconds=${2:?usage: scripts/fuzz.sh TARGET SECONDS}
fi
shift 2
[ -f "fuzz/$target.cpp" ] || { echo "no such target: $target" >&2; exit 2; }

bash scripts/fuzz-build.sh "$target"
work=$root/build-fuzz
mkdir -p "$work/corpus/$target" "$work/artifacts/$target" "$work/tmp"
dict=()
[ -f "fuzz/dict/$target.dict" ] && dict=(-dict="fuzz/dict/$target.dict")
seeds=()
[ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
# The targets write only below their own folder in TMPDIR; in memory where
# the machine has it (several times faster for the file-handling targets).
tmp=$work/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  tmp=$(mktemp -d -p /dev/shm quillon-fuzz-tmp.XXXXXX)
  trap 'rm -rf "$tmp"' EXIT
fi
limits=(-timeout=10 -rss_limit_mb=2048 -max_len=65536)
export TMPDIR=$tmp ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
if [ -n "$merge" ]; then
  [ -n "$(ls -A "$work/corpus/$target")" ] || { echo "nothing kept in build-fuzz/corpus/$target" >&2; exit 2; }
  mkdir -p "fuzz/corpus/$target"
  "$work/fuzz/$target" -merge=1 "fuzz/corpus/$target" "$work/corpus/$target" "${limits[@]}" "$@"
  exit
fi
"$work/fuzz/$target" "$work/corpus/$target" "${seeds[@]}" "${dict[@]}" \
  -max_total_time="$seconds" "${limits[@]}" \
  -artifact_prefix="$work/artifacts/$target/" -print_final_stats=1 "$@"
