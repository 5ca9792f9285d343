#!/usr/bin/env bash
# Fleet benchmark: N simulated printers on loopback in one simulator
# process. Measures the inventory of all of them, then a 1 MiB download to
# all of them with --jobs and --verify (each printer restarts for a few
# seconds and comes back with the package's version): the time to the
# first byte stored, the total time, and the ratio of the total to
# ceil(N / jobs) x one printer's time (the same download with --verify to
# one printer alone, measured in the same run; the goal is <= 1.3).
# --stuck: the batch's first printer never reports the new version (its
# verification runs into the timeout); the time at which the other
# printers' lines have all arrived is reported beside the total.
#   bench/fleet.sh [--stuck] [build-dir] [printers] [jobs] [restart-seconds]
set -euo pipefail
stuck=0
if [ "${1:-}" = "--stuck" ]; then stuck=1; shift; fi
cd "$(dirname "$0")/.."
build=${1:-build}
n=${2:-200}
jobs=${3:-16}
restart=${4:-3}
cli=$build/cli/quillon-cli
block=${FLEET_BLOCK:-127.0.9}  # FLEET_BLOCK: another /24 of loopback
work=$(mktemp -d)
cmake --build "$build" -j2 --target quillon-cli >/dev/null

# The printers 1..n for the batch, n+1 for the single-printer run.
config=()
if [ "$stuck" = 1 ]; then
  printf '{"%s.1": {"version_after": "2.00"}}\n' "$block" > "$work/config.json"
  config=(--printer-config "$work/config.json")
fi
/usr/bin/python3 tools/printer_sim.py --addresses "$block.1-$((n + 1))" --root "$work/printer" \
  --model-name "HALVORN CORVIA KV3" --version 2.00 --version-after 3.01 \
  --restart-seconds "$restart" --ready-file "$work/ready" --max-seconds 1800 --quiet \
  "${config[@]}" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 300); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { echo "simulator did not start" >&2; exit 1; }

# The program's own folders, apart from the user's.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run \
  TMPDIR=$work/tmp QUILLON_LOCK_DIR=$work/locks
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

/usr/bin/python3 - "$work/FW.RXF" <<'PY'
import os, sys
header = "\r\n".join(["[RX_DownLoad]", "FileFormat=RXF", "DownLoadDesc=Bench firmware",
                      "DownLoadVersion=3.01", "EnableCommand=1", "Reboot=1",
                      "DownLoadPrinter=KV3"]) + "\r\n"
with open(sys.argv[1], "wb") as f:
    f.write(header.encode("ascii") + b"\x1a" + os.urandom(1 << 20))
PY

now() { date +%s.%N; }
t0=$(now)
"$cli" inventory "$block.1-$n" --jobs "$jobs" --json --printers-out "$work/printers.txt" \
  > "$work/inventory.jsonl" || true
t1=$(now)
answered=$(grep -c '"reachable":true' "$work/inventory.jsonl" || true)

t2=$(now)
"$cli" download "$work/FW.RXF" --printer "ftp://$block.$((n + 1))/vesta0" --yes --init-items 1 --json \
  --verify --verify-timeout 60 > "$work/one.jsonl" 2>/dev/null || true
t3=$(now)

start=$(/usr/bin/python3 -c 'import time; print(time.time())')
t4=$(now)
# Each line with the seconds since the batch started, as it arrives.
{ "$cli" download "$work/FW.RXF" --printers-from "$work/printers.txt" --yes --init-items 1 --json \
    --jobs "$jobs" --verify --verify-timeout 120 2>/dev/null || true; } |
  /usr/bin/python3 -c '
import sys, time
start = float(sys.argv[1])
for line in sys.stdin:
    print("%.3f %s" % (time.time() - start, line), end="", flush=True)
' "$start" > "$work/batch.timed"
t5=$(now)
cut -d" " -f2- "$work/batch.timed" > "$work/batch.jsonl"
# The last line of a printer other than the stuck one.
others=$(grep -v "\"printer\":\"ftp://$block.1/vesta0\"" "$work/batch.timed" | tail -n 1 | cut -d" " -f1)
verified=$(grep -c '"verification":"verified"' "$work/batch.jsonl" || true)
first=$(/usr/bin/python3 - "$work/printer/reports.jsonl" "$start" "$block.$((n + 1))" <<'PY'
import json, sys
starts = [json.loads(l)["started"] for l in open(sys.argv[1])
          if json.loads(l)["address"] != sys.argv[3] and json.loads(l)["started"]]
print("%.1f" % (min(starts) - float(sys.argv[2])) if starts else "-")
PY
)

awk -v n="$n" -v j="$jobs" -v a="$answered" -v v="$verified" -v f="$first" \
  -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" -v t4="$t4" -v t5="$t5" \
  -v others="${others:--}" -v stuck="$stuck" 'BEGIN {
  inv = t1 - t0; one = t3 - t2; total = t5 - t4
  rounds = int((n + j - 1) / j)
  printf "printers %d, jobs %d\n", n, j
  printf "inventory:            %.1f s, %d of %d answered (%d rounds of one query)\n", inv, a, n, rounds
  printf "one printer, verify:  %.1f s\n", one
  printf "batch, verify:        %.1f s total, first byte after %s s, %d verified\n", total, f, v
  printf "lines of the other printers all in after %s s%s\n", others, stuck ? " (first printer stuck at its old version)" : ""
  printf "ratio total / (%d x one printer): %.2f (goal <= 1.3)\n", rounds, total / (rounds * one)
}'
