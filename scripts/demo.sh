#!/usr/bin/env bash
# The main job, end to end, on a machine with or without a display:
# installs what it lacks, builds, starts the printer simulator on a loopback
# address and a private cupsd with a raw queue to the simulator's RAW port,
# makes a sample firmware package, downloads it unattended (/NM /NO) once to
# the printer's FTP server and once through the CUPS queue, and shows what
# the printer understood of each job and the download log.
# Touches none of the user's files (own XDG folders) and leaves nothing
# running. Exit code 0 when both jobs arrived intact.
#   scripts/demo.sh            build in build/
#   QUILLON_BUILD_DIR=dir scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/deps.sh
quillon_install_deps

build=${QUILLON_BUILD_DIR:-build}
echo "== Building in $build"
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target quillon >/dev/null
program=$build/gui/quillon

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# A loopback address of its own, so that a printer on the usual ports of
# 127.0.0.1 (or another demo) is not disturbed.
addr=127.0.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))
work=$(mktemp -d /tmp/quillon-demo.XXXXXX)
chmod 755 "$work"
sim_pid=""

cleanup() {
  set +e
  if [ -n "$sim_pid" ]; then
    as_root kill "$sim_pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
    as_root kill -KILL "$sim_pid" 2>/dev/null
  fi
  as_root "$root/scripts/cupsd-harness.sh" stop "$work/cupsd" >/dev/null 2>&1
  as_root rm -rf "$work"
}
trap cleanup EXIT

# The program's own folders, away from the user's.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work/tmp
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
# No display needed: the unattended runs use Qt's offscreen platform, where
# every box that is not silenced goes to the error stream.
export QT_QPA_PLATFORM=offscreen

echo "== Printer simulator on $addr (FTP 21, console 23, RAW 9100)"
as_root /usr/bin/python3 tools/printer_sim.py --address "$addr" --root "$work/printer" \
  --ready-file "$work/printer.ready" --max-seconds 600 --quiet --model-name "HALVORN CORVIA KV3" \
  >"$work/printer.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do [ -f "$work/printer.ready" ] && break; sleep 0.1; done
[ -f "$work/printer.ready" ] || { cat "$work/printer.log" >&2; echo "simulator did not start" >&2; exit 1; }
sim_pid=$(awk '{print $2}' "$work/printer.ready")

echo "== Private cupsd with the raw queue DEMO_KV3 -> socket://$addr:9100"
as_root scripts/cupsd-harness.sh start "$work/cupsd"
export CUPS_SERVER=$work/cupsd/cups.sock
as_root scripts/cupsd-harness.sh ppd "HALVORN CORVIA KV3" "$work/kv3.ppd"
as_root env CUPS_SERVER="$CUPS_SERVER" scripts/cupsd-harness.sh addqueue "$work/cupsd" DEMO_KV3 \
  "socket://$addr:9100/?snmp=false" "$work/kv3.ppd"

echo "== Sample package"
mkdir -p "$work/packages"
package=$work/packages/DEMO.RXF
/usr/bin/python3 - "$package" "$work/data.bin" <<'PY'
import sys
data = bytes((i * 131 + 7) & 0xFF for i in range(200 * 1024))
header = ("[RX_DownLoad]\r\nFileFormat=RXF\r\n"
          "DownLoadDesc=デモ用ﾌｧｰﾑｳｪｱ\r\nDownLoadVersion=1.23\r\n"
          "DownLoadPrinter=HALVORN CORVIA KV3\r\n").encode("cp932")  # header texts are CP932
open(sys.argv[1], "wb").write(header + b"\x1a" + data)
open(sys.argv[2], "wb").write(data)
PY
echo "$package ($(stat -c %s "$work/data.bin") data bytes)"

status=0
run() {
  echo "== quillon $*"
  local rc=0
  timeout 120 "$program" "$@" 2>"$work/quillon.err" || rc=$?
  echo "exit code $rc"
  [ "$rc" -eq 0 ] || { cat "$work/quillon.err" >&2; status=1; }
}
run "$package" "/HN=$addr" "/M=HALVORN CORVIA KV3" /NM /NO
run "$package" /PR=DEMO_KV3 /NM /NO

echo "== What the printer understood"
for _ in $(seq 1 100); do
  [ "$(wc -l <"$work/printer/reports.jsonl" 2>/dev/null || echo 0)" -ge 2 ] && break
  sleep 0.1
done
/usr/bin/python3 - "$work/printer/reports.jsonl" "$work/data.bin" <<'PY' || status=1
import hashlib, json, sys
want = hashlib.sha256(open(sys.argv[2], "rb").read()).hexdigest()
try:
    lines = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
except FileNotFoundError:
    lines = []
ok = len(lines) == 2
for r in lines:
    same = r.get("data_sha256") == want
    ok = ok and r.get("verdict") == "ok" and same
    print("%-4s job of %d bytes: download command %s, length field %s, data %s, restart %s "
          "(initialisation items %s), verdict: %s" % (
              r.get("route"), r.get("size", 0), "yes" if r.get("preamble") else "no",
              r.get("length_field"), "identical to the package" if same else "DIFFERENT",
              r.get("restart"), r.get("init_items"), r.get("verdict")))
if len(lines) != 2:
    print("expected 2 jobs, the printer has %d" % len(lines))
sys.exit(0 if ok else 1)
PY

echo "== DownLoad.log"
log=$XDG_DATA_HOME/quillon/DownLoad.log
if [ -f "$log" ]; then cat "$log"; else echo "(no log)"; status=1; fi

if [ "$status" -eq 0 ]; then echo "== Both downloads arrived intact"; else echo "== FAILED"; fi
exit "$status"
