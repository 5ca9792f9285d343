#!/usr/bin/env bash
# Refreshing the local printer list over 200 raw queues on a private cupsd:
# the one-pass read against the earlier per-row questions and against
# `lpstat -l -p`, with time and spooler requests (counted in the spooler
# layer) per refresh.
#   bench/printer_list.sh [build-dir] [queues] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
queues=${2:-200}
runs=${3:-3}
work=$(mktemp -d)
cmake --build "$build" -j2 --target bench_printer_list >/dev/null
trap 'scripts/cupsd-harness.sh stop "$work/cupsd" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
scripts/cupsd-harness.sh start "$work/cupsd" >/dev/null
# Four kinds of row: a model with the command flag, one that needs a
# parallel port (on a network port and on a parallel one), an unknown model.
models=("HALVORN KV3" "HALVORN RX-140" "HALVORN RX-140" "ACME Laser 9")
for m in 0 1 2 3; do
  scripts/cupsd-harness.sh ppd "${models[$m]}" "$work/model$m.ppd"
done
for ((i = 0; i < queues; i++)); do
  m=$((i % 4))
  uri="socket://127.0.0.1:9"
  [ $m -eq 2 ] && uri="parallel:/dev/lp$((i % 8))"
  scripts/cupsd-harness.sh addqueue "$work/cupsd" "bench_q$i" "$uri" "$work/model$m.ppd" >/dev/null
done
CUPS_SERVER="$work/cupsd/cups.sock" TMPDIR="$work" "$build/bench/bench_printer_list" "$runs"
