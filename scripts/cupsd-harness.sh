#!/usr/bin/env bash
# A private cupsd for the tests, living entirely in one folder.
#   cupsd-harness.sh start DIR                      configure, check and start it
#   cupsd-harness.sh stop DIR                       stop it and remove DIR
#   cupsd-harness.sh addqueue DIR NAME URI [PPD]    raw queue (abort-job policy)
#   cupsd-harness.sh addclass DIR NAME MEMBER...    class of existing queues
#   cupsd-harness.sh ppd MODEL FILE                 write a tiny raw PPD
# The clients reach it through CUPS_SERVER=DIR/cups.sock.
# Runs as root (cupsd drops to the lp user for its jobs).
set -euo pipefail

die() { echo "cupsd-harness: $*" >&2; exit 1; }

# Writes a minimal PPD whose printer-make-and-model is MODEL and which passes
# the job through untouched (and skips the SNMP supply probe).
write_ppd() {
  local model=$1 file=$2
  cat >"$file" <<EOF
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "QTEST.PPD"
*Manufacturer: "Test"
*Product: "($model)"
*ModelName: "$model"
*ShortNickName: "$model"
*NickName: "$model"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsSNMPSupplies: False
*cupsFilter: "application/vnd.cups-raw 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
EOF
}

pid_of() { [ -f "$1/cupsd.pid" ] && cat "$1/cupsd.pid" || true; }

alive() { local p; p=$(pid_of "$1"); [ -n "$p" ] && kill -0 "$p" 2>/dev/null; }

do_stop() {
  local dir=$1 real="" p i
  [ -L "$dir" ] && real=$(readlink "$dir")
  p=$(pid_of "$dir")
  if [ -n "$p" ] && kill -0 "$p" 2>/dev/null; then
    kill -TERM "$p" 2>/dev/null || true
    for i in $(seq 1 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null || true
  fi
  # Backends of jobs still running belong to the same process group.
  if [ -n "$p" ]; then kill -KILL -- "-$p" 2>/dev/null || true; fi
  rm -rf "$dir"
  case "$real" in /tmp/quillon-cupsd.*) rm -rf "$real" ;; esac
}

do_start() {
  local dir=$1
  command -v cupsd >/dev/null || PATH=$PATH:/usr/sbin
  command -v cupsd >/dev/null || die "cupsd not installed (Debian package cups)"
  [ "$(id -u)" -eq 0 ] || die "must run as root"
  do_stop "$dir"
  # The backends run as lp and open the spooled files themselves, so the
  # server lives where lp can reach it (a build folder under a private home
  # is not); DIR becomes a link to it.
  mkdir -p "$(dirname "$dir")"
  local real
  real=$(mktemp -d /tmp/quillon-cupsd.XXXXXX)
  chmod 755 "$real"
  ln -s "$real" "$dir"
  local link=$dir
  dir=$real
  mkdir -p "$dir/spool/temp" "$dir/cache" "$dir/state/certs" "$dir/log" "$dir/ppd"
  chown root:lp "$dir/spool" "$dir/spool/temp" "$dir/cache" "$dir/state" "$dir/state/certs"
  chmod 0710 "$dir/spool"
  chmod 01770 "$dir/spool/temp"
  chmod 0770 "$dir/cache"
  chmod 0755 "$dir/state"
  chmod 0511 "$dir/state/certs"
  [ ${#dir} -lt 100 ] || die "socket path too long: $dir/cups.sock"

  cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/temp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
User lp
Group lp
SystemGroup root lpadmin
FileDevice No
EOF
  cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
DefaultAuthType None
DefaultEncryption Never
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
LogLevel info
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  chmod 0644 "$dir/cupsd.conf" "$dir/cups-files.conf"

  cupsd -t -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/check.log" 2>&1 \
    || { cat "$dir/log/check.log" >&2; do_stop "$link"; die "configuration rejected"; }

  # Its own session, so that stop can end cupsd and its backends together.
  setsid cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" \
    </dev/null >"$dir/log/stdout.log" 2>&1 &
  echo $! >"$dir/cupsd.pid"

  local i
  for i in $(seq 1 150); do
    alive "$dir" || { cat "$dir/log/error_log" "$dir/log/stdout.log" >&2 2>/dev/null || true; do_stop "$link"; die "cupsd exited"; }
    if [ -S "$dir/cups.sock" ] && CUPS_SERVER="$dir/cups.sock" timeout 5 lpstat -r >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  do_stop "$link"
  die "cupsd did not answer within 15 seconds"
}

do_addqueue() {
  local dir=$1 name=$2 uri=$3 ppd=${4:-}
  local args=(-p "$name" -E -v "$uri" -o printer-error-policy=abort-job)
  [ -n "$ppd" ] && args+=(-P "$ppd")
  CUPS_SERVER="$dir/cups.sock" timeout 30 lpadmin "${args[@]}" 2>"$dir/log/lpadmin.log" \
    || { cat "$dir/log/lpadmin.log" >&2; die "lpadmin -p $name failed"; }
}

do_addclass() {
  local dir=$1 name=$2 m; shift 2
  for m in "$@"; do
    CUPS_SERVER="$dir/cups.sock" timeout 30 lpadmin -p "$m" -c "$name" 2>"$dir/log/lpadmin.log" \
      || { cat "$dir/log/lpadmin.log" >&2; die "lpadmin -c $name failed"; }
  done
  CUPS_SERVER="$dir/cups.sock" timeout 30 cupsenable "$name" 2>/dev/null || true
  CUPS_SERVER="$dir/cups.sock" timeout 30 cupsaccept "$name" 2>/dev/null || true
}

cmd=${1:-}
case "$cmd" in
  start)    [ $# -eq 2 ] || die "usage: start DIR"; do_start "$2" ;;
  stop)     [ $# -eq 2 ] || die "usage: stop DIR"; do_stop "$2" ;;
  addqueue) [ $# -ge 4 ] || die "usage: addqueue DIR NAME URI [PPD]"; do_addqueue "$2" "$3" "$4" "${5:-}" ;;
  addclass) [ $# -ge 4 ] || die "usage: addclass DIR NAME MEMBER..."; c=$2; n=$3; shift 3; do_addclass "$c" "$n" "$@" ;;
  ppd)      [ $# -eq 3 ] || die "usage: ppd MODEL FILE"; write_ppd "$2" "$3" ;;
  *) die "usage: start|stop|addqueue|addclass|ppd ..." ;;
esac
