#!/usr/bin/env bash
# End to end: `quillon-cli download` of a 64 MiB package against what an
# admin would do by hand with standard tools, in one run, on loopback:
#   FTP route:     curl -T of the job file (the bytes the download sends)
#                  plus one console query (`quillon-cli query`, what the
#                  download asks the printer first);
#   spooler route: lp -o raw of the job file to the same private cupsd queue,
#                  until the printer (the simulator's RAW port) has every byte,
#                  plus the same console query (the download asks the console
#                  behind the queue's network device for its version).
# The tools take turns run by run; figures are medians of the runs.
#   [BENCH_ADDR=127.x.y.z] bench/download_vs_tools.sh [build-dir] [runs] [MiB]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
mib=${3:-64}
addr=${BENCH_ADDR:-127.0.7.2}
cli=$build/cli/quillon-cli
work=$(mktemp -d)
cmake --build "$build" -j2 --target quillon-cli >/dev/null
command -v lp >/dev/null || { echo "lp not installed (Debian package cups-client)" >&2; exit 1; }

cleanup() {
  [ -n "${sim:-}" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; }
  scripts/cupsd-harness.sh stop "$work/cupsd" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

/usr/bin/python3 tools/printer_sim.py --address "$addr" --root "$work/printer" --raw-port 9100 \
  --model-name "HALVORN CORVIA KV3" --version 2.00 \
  --ready-file "$work/ready" --max-seconds 1800 --quiet &
sim=$!
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { echo "simulator did not start" >&2; exit 1; }

scripts/cupsd-harness.sh start "$work/cupsd" >/dev/null
scripts/cupsd-harness.sh ppd "HALVORN CORVIA KV3" "$work/kv3.ppd"
scripts/cupsd-harness.sh addqueue "$work/cupsd" BENCH_KV3 "socket://$addr:9100" "$work/kv3.ppd" >/dev/null
export CUPS_SERVER=$work/cupsd/cups.sock
# The program's own folders, apart from the user's.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run \
  TMPDIR=$work/tmp QUILLON_LOCK_DIR=$work/locks
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"

/usr/bin/python3 - "$work/FW.RXF" "$mib" <<'PY'
import os, sys
header = "\r\n".join(["[RX_DownLoad]", "FileFormat=RXF", "DownLoadDesc=Bench firmware",
                      "DownLoadVersion=2.00", "EnableCommand=1", "Reboot=1",
                      "DownLoadPrinter=KV3"]) + "\r\n"
with open(sys.argv[1], "wb") as f:
    f.write(header.encode("ascii") + b"\x1a" + os.urandom(int(sys.argv[2]) << 20))
PY
"$cli" job "$work/FW.RXF" --printer "ftp://$addr/vesta0" -o "$work/ftp.job" >/dev/null
"$cli" job "$work/FW.RXF" --printer BENCH_KV3 -o "$work/raw.job" >/dev/null

now() { date +%s.%N; }
# Waits for the simulator's report of a RAW job begun after $1; prints when
# that job ended. (An FTP job's report may come after its client is done.)
raw_ended_after() {
  /usr/bin/python3 - "$work/printer/reports.jsonl" "$1" <<'PY'
import json, os, sys, time
path, since = sys.argv[1], float(sys.argv[2])
deadline = time.time() + 120
while time.time() < deadline:
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                r = json.loads(line)
                if r["route"] == "raw" and r["started"] and r["started"] >= since:
                    print(r["ended"])
                    sys.exit(0)
    time.sleep(0.02)
sys.exit("no RAW job arrived")
PY
}
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

: > "$work/times"
for _ in $(seq "$runs"); do
  curl_s=$(curl -s -u ":" --interface "$addr" -P - -T "$work/ftp.job" \
    -w '%{time_total}\n' -o /dev/null "ftp://$addr/vesta0/")
  t0=$(now); "$cli" query "$addr" >/dev/null; t1=$(now)
  query_s=$(elapsed "$t0" "$t1")
  t0=$(now); "$cli" download "$work/FW.RXF" --printer "ftp://$addr/vesta0" --yes --init-items 1 -q >/dev/null 2>&1; t1=$(now)
  ftp_s=$(elapsed "$t0" "$t1")

  t0=$(now); lp -s -o raw -d BENCH_KV3 "$work/raw.job"
  lp_s=$(elapsed "$t0" "$(raw_ended_after "$t0")")
  t0=$(now); "$cli" download "$work/FW.RXF" --printer BENCH_KV3 --yes --init-items 1 -q >/dev/null 2>&1; t1=$(now)
  spool_s=$(elapsed "$t0" "$t1")
  spool_printer_s=$(elapsed "$t0" "$(raw_ended_after "$t0")")
  echo "$curl_s $query_s $ftp_s $lp_s $spool_s $spool_printer_s" >> "$work/times"
done

median() {
  awk "{ print $1 }" "$work/times" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'
}
echo "${mib} MiB package, $runs runs, medians in seconds"
echo "curl -T job file:                          $(median '$1')"
echo "quillon-cli query (one console query):     $(median '$2')"
echo "quillon-cli download, FTP:                 $(median '$3')"
echo "  ratio to curl + query:                   $(median '$3 / ($1 + $2)')"
echo "lp -o raw job file, until the printer has it: $(median '$4')"
echo "quillon-cli download, spooler, until exit: $(median '$5')"
echo "  until the printer has it:                $(median '$6')"
echo "  ratio (printer has it) to lp + query:    $(median '$6 / ($4 + $2)')"
# lp returns once the job is queued; the download also waits until the
# print server has marked the job completed (the backend ends when the
# printer closes the connection), so this ratio carries that wait too.
echo "  ratio (exit) to lp + query:              $(median '$5 / ($4 + $2)')"
