#!/usr/bin/env bash
# Upload benchmark of the network library: 64 MiB to the printer simulator
# through QUILLON_FileTransfer against curl -T in active mode, all in one
# run: no notify target; a callback that answers from an atomic flag and
# posts progress to another thread without waiting (what the program
# does); and, for comparison, a callback that waits for another thread's
# answer each time. Each figure is the file's size over the whole call or
# command (connection, login, directory change and transfer); best and
# median of the runs.
#   [BENCH_ADDR=127.x.y.z] bench/net_upload.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
addr=${BENCH_ADDR:-127.0.7.1}
work=$(mktemp -d)
cmake --build "$build" -j2 --target bench_net_upload >/dev/null

/usr/bin/python3 tools/printer_sim.py --address "$addr" --root "$work/printer" \
  --ready-file "$work/ready" --max-seconds 900 --quiet --console-port 0 --raw-port 0 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { echo "simulator did not start" >&2; exit 1; }

head -c $((64 << 20)) /dev/urandom > "$work/dwnbench.tmp"
size=$(stat -c %s "$work/dwnbench.tmp")

# The tools take turns run by run, so a busy machine slows each alike; the
# ratios are taken per run, then their best and median.
rate() { awk -v s="$size" '{ printf "%.1f\n", s / $1 / 1048576 }'; }
lib() { "$build/bench/bench_net_upload" "$addr" "$work/dwnbench.tmp" "$1" 1 | awk '{print $3}'; }
: > "$work/rates"
for _ in $(seq "$runs"); do
  c=$(curl -s -u ":" --interface "$addr" -P - -T "$work/dwnbench.tmp" \
    -w '%{time_total}\n' -o /dev/null "ftp://$addr/vesta0/" | rate)
  echo "$c $(lib none | rate) $(lib thread | rate) $(lib roundtrip | rate)" >> "$work/rates"
done
column() { awk -v k="$1" '{ print $k }' "$work/rates" | tr '\n' ' '; }
echo "MiB/s per run (size $size bytes, $runs runs)"
echo "curl -T (active):           $(column 1)"
echo "library, no notify target:  $(column 2)"
echo "library, posting callback:  $(column 3)"
echo "library, waiting callback:  $(column 4)"
summary() {
  awk -v k="$1" '{ print $k / $1 }' "$work/rates" | sort -g |
    awk '{ v[NR] = $1 } END { printf "best %.2f, median %.2f", v[NR], v[int((NR + 1) / 2)] }'
}
echo "no target / curl:        $(summary 2)"
echo "posting callback / curl: $(summary 3)"
echo "waiting callback / curl: $(summary 4)"
