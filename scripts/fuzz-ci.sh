#!/usr/bin/env bash
# CI's fuzzing: builds every target of fuzz/ (clang, libFuzzer) and runs each
# from its checked-in corpus for a short fixed budget, two at a time. Fails
# on the first crash, leak, time-out or memory blow-up.
#   FUZZ_SECONDS  budget per target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-30}
bash scripts/fuzz-build.sh

# In memory where the machine has it: the file-handling targets create and
# remove folders on every input, several times faster on tmpfs than on disk.
shm=()
[ -d /dev/shm ] && [ -w /dev/shm ] && shm=(-p /dev/shm)
work=$(mktemp -d "${shm[@]}")
trap 'rm -rf "$work"' EXIT
targets=()
for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done

run_one() {
  local t=$1 dict=()
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$work/$t/corpus/"
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  if TMPDIR=$work/$t/tmp ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
      "$root/build-fuzz/fuzz/$t" "$work/$t/corpus" "${dict[@]}" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$work/$t/" \
      -print_final_stats=1 >"$work/$t.log" 2>&1; then
    echo "$t: $(grep -E '^stat::number_of_executed_units' "$work/$t.log" | awk '{print $2}') runs, ok"
  else
    echo "$t: FAILED" >&2
    tail -40 "$work/$t.log" >&2
    return 1
  fi
}

status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do
    run_one "$t" & pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || status=1; done
done
exit $status
