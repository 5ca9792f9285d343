#!/usr/bin/env bash
# A 64 MiB raw job through the output thread's spooler route against
# `lp -o raw` of the same job file to the same queue, on a private cupsd,
# one run each: time until the printer has every byte, and their ratio.
#   bench/spool_vs_lp.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
cmake --build "$build" -j2 --target bench_spool >/dev/null
trap 'scripts/cupsd-harness.sh stop "$work/cupsd" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
scripts/cupsd-harness.sh start "$work/cupsd" >/dev/null
head -c $((64 << 20)) /dev/urandom > "$work/dwnbench.tmp"
CUPS_SERVER="$work/cupsd/cups.sock" TMPDIR="$work" "$build/bench/bench_spool" "$work/dwnbench.tmp"
