#!/usr/bin/env bash
# Upload benchmark of the network library: 64 MiB to the printer simulator
# through QUILLON_FileTransfer (no notify target; a callback answered on
# another thread) against curl -T in active mode, all in one run. Each
# figure is the file's size over the whole call or command (connection,
# login, directory change and transfer), best of the runs.
#   bench/net_upload.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
addr=127.0.7.1
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

best() { sort -g | tail -1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
curl_rates=$(for _ in $(seq "$runs"); do
  curl -s -u ":" --interface "$addr" -P - -T "$work/dwnbench.tmp" \
    -w '%{time_total}\n' -o /dev/null "ftp://$addr/vesta0/"
done | awk -v s="$size" '{ printf "%.1f\n", s / $1 / 1048576 }')
none_rates=$("$build/bench/bench_net_upload" "$addr" "$work/dwnbench.tmp" none "$runs" | awk '{print $4}')
thread_rates=$("$build/bench/bench_net_upload" "$addr" "$work/dwnbench.tmp" thread "$runs" | awk '{print $4}')

curl_best=$(echo "$curl_rates" | best)
none_best=$(echo "$none_rates" | best)
thread_best=$(echo "$thread_rates" | best)
echo "curl -T (active):            $(echo $curl_rates) MiB/s, best $curl_best"
echo "library, no notify target:  $(echo $none_rates) MiB/s, best $none_best"
echo "library, callback on thread: $(echo $thread_rates) MiB/s, best $thread_best"
awk -v c="$curl_best" -v n="$none_best" -v t="$thread_best" \
  'BEGIN { printf "best:   no target / curl %.2f, threaded callback / curl %.2f\n", n / c, t / c }'
awk -v c="$(echo "$curl_rates" | median)" -v n="$(echo "$none_rates" | median)" \
  -v t="$(echo "$thread_rates" | median)" \
  'BEGIN { printf "median: no target / curl %.2f, threaded callback / curl %.2f\n", n / c, t / c }'
