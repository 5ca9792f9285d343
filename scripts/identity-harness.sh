#!/usr/bin/env bash
# Standard-speaking printers for the identity tests, living in one folder:
#   identity-harness.sh start DIR   start them and write DIR/peers.env
#   identity-harness.sh stop DIR    stop them and remove DIR
# The peers: ippeveprinter (cups-ipp-utils) as an IPP-only HALVORN KV3 on
# 127.0.0.1 and a free port (it needs DNS-SD, so a private D-Bus and an
# Avahi daemon in a mount namespace of its own, whose pid and socket
# folder are ours); two snmpd on loopback addresses and free ports, one
# answering a v2c community (an RX-140), one a v3 user only (a KV3); and a
# TCP port that takes connections and never answers (a silent IPP peer).
# For the downloads, each on a loopback address of its own where a test
# puts a printer simulator without a console: an IPP-only KV3 and an
# IPP-only RX-140 (ippeveprinter), and an snmpd KV3 whose uptime, firmware,
# serial and model come from DIR/restart.state, which a test rewrites to
# play the printer's restart.
# Runs as root (the mount namespace, snmpd's own files).
set -euo pipefail

die() { echo "identity-harness: $*" >&2; exit 1; }

free_port() {  # $1 tcp|udp, $2 address
  python3 - "$1" "$2" <<'EOF'
import socket, sys
kind = socket.SOCK_STREAM if sys.argv[1] == "tcp" else socket.SOCK_DGRAM
s = socket.socket(socket.AF_INET, kind)
s.bind((sys.argv[2], 0))
print(s.getsockname()[1])
EOF
}

# A loopback address 127.0.66-69.N that no process listens on.
free_address() {
  local a
  for _ in $(seq 1 200); do
    a="127.0.$((66 + RANDOM % 4)).$((2 + RANDOM % 250))"
    if ! ss -Hlnu "src $a" | grep -q . && ! ss -Hlnt "src $a" | grep -q .; then
      echo "$a"
      return 0
    fi
  done
  die "no free loopback address"
}

wait_for() {  # $1 seconds, then a command that succeeds once ready
  local limit=$1
  shift
  for _ in $(seq 1 $((limit * 10))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Alive and not a zombie (the peers outlive the start, so nobody here
# reaps them).
running() {
  local s
  s=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $s != Z* ]]
}

kill_pidfile() {
  local f=$1 p
  [ -f "$f" ] || return 0
  p=$(cat "$f" 2>/dev/null || true)
  if [ -n "$p" ] && running "$p"; then
    kill "$p" 2>/dev/null || true
    for _ in $(seq 1 50); do running "$p" || break; sleep 0.1; done
    running "$p" && kill -9 "$p" 2>/dev/null
  fi
  rm -f "$f"
}

do_stop() {
  local dir=$1
  [ -d "$dir" ] || return 0
  for f in ippeveprinter ipp-kv3 ipp-rx140 silent snmpd-v2c snmpd-v3 snmpd-restart avahi dbus; do
    kill_pidfile "$dir/$f.pid"
  done
  rm -rf "$dir"
}

start_snmpd() {  # name address port then config lines on stdin
  local dir=$1 name=$2 address=$3 port=$4
  mkdir -p "$dir/$name/persist"
  {
    echo "agentAddress udp:$address:$port"
    cat
  } >"$dir/$name/snmpd.conf"
  # -C: no system configuration; the host resources' device table is left
  # out so that the Printer MIB overrides own hrDeviceDescr.1.
  SNMP_PERSISTENT_DIR="$dir/$name/persist" MIBS="" \
    setsid snmpd -f -Lf "$dir/$name/log" -C -c "$dir/$name/snmpd.conf" -p "$dir/$name.pidfile" \
    -I -hr_device,hr_system </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/$name.pid"
}

do_start() {
  local dir=$1
  do_stop "$dir"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  for tool in dbus-daemon avahi-daemon ippeveprinter snmpd unshare python3 ss; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/deps.sh installs it)"
  done

  # D-Bus and Avahi for ippeveprinter's DNS-SD registration, on loopback
  # only, publishing nothing else.
  mkdir -p "$dir/avahi-run"
  cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/bus.sock</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
  cat >"$dir/avahi.conf" <<EOF
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
disallow-other-stacks=no
[publish]
publish-addresses=no
publish-hinfo=no
publish-workstation=no
[wide-area]
enable-wide-area=no
EOF
  dbus-daemon --config-file="$dir/bus.conf" --fork --print-pid >"$dir/dbus.pid"
  wait_for 5 test -S "$dir/bus.sock" || die "the private D-Bus did not start"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/bus.sock"
  mkdir -p /run/avahi-daemon
  setsid unshare -m --propagation private sh -c \
    'mount --bind "$1/avahi-run" /run/avahi-daemon && exec avahi-daemon -f "$1/avahi.conf" --no-drop-root --no-chroot --no-rlimits --no-proc-title' \
    sh "$dir" </dev/null >"$dir/avahi.log" 2>&1 &
  echo $! >"$dir/avahi.pid"
  wait_for 10 grep -q "Server startup complete" "$dir/avahi.log" || die "avahi-daemon did not start: $(tail -3 "$dir/avahi.log")"

  # The IPP-only printer: make-and-model, device ID, UUID and the
  # firmware's parallel lists (a boot loader first, the main firmware
  # second). ippeveprinter listens on IPv4 and IPv6 of its host name, so
  # localhost.
  local ipp_port uuid="urn:uuid:6f1e2d3c-1111-4222-8333-444455556666"
  ipp_port=$(free_port tcp 127.0.0.1)
  cat >"$dir/kv3.conf" <<EOF
ATTR text printer-make-and-model "HALVORN KV3"
ATTR text printer-device-id "MFG:HALVORN;MDL:KV3;CMD:PJL;"
ATTR uri printer-uuid $uuid
ATTR name printer-firmware-name "Boot","Firmware"
ATTR text printer-firmware-string-version "1.00","3.05"
ATTR octetString printer-firmware-version "1","3"
EOF
  mkdir -p "$dir/ipp-spool"
  setsid ippeveprinter -n localhost -p "$ipp_port" -d "$dir/ipp-spool" -a "$dir/kv3.conf" kv3 \
    </dev/null >"$dir/ippeveprinter.log" 2>&1 &
  echo $! >"$dir/ippeveprinter.pid"
  wait_for 10 sh -c "ss -Hltn 'sport = :$ipp_port' | grep -q ." || die "ippeveprinter did not listen: $(tail -3 "$dir/ippeveprinter.log")"

  # The IPP-only printers of the download tests, each on an address of its
  # own (a simulator without a console takes the same address for FTP).
  local kv3_addr rx_addr kv3_port rx_port kv3_uuid="urn:uuid:0b7c5d2e-2222-4333-8444-555566667777"
  kv3_addr=$(free_address)
  rx_addr=$(free_address)
  [ "$rx_addr" != "$kv3_addr" ] || rx_addr=$(free_address)
  kv3_port=$(free_port tcp "$kv3_addr")
  rx_port=$(free_port tcp "$rx_addr")
  sed "s|$uuid|$kv3_uuid|" "$dir/kv3.conf" >"$dir/ipp-kv3.conf"
  cat >"$dir/ipp-rx140.conf" <<EOF
ATTR text printer-make-and-model "HALVORN RX-140"
ATTR text printer-device-id "MFG:HALVORN;MDL:RX-140;CMD:PJL;"
ATTR uri printer-uuid urn:uuid:9a8b7c6d-3333-4444-8555-666677778888
ATTR name printer-firmware-name "Firmware"
ATTR text printer-firmware-string-version "2.10"
ATTR octetString printer-firmware-version "2"
EOF
  # ippeveprinter listens on the first IPv4 and IPv6 address of its host
  # name: a name of its own, resolved in its mount namespace alone by a
  # hosts file (the address, and ::1) and an address order that puts the
  # address ahead of the 127.0.0.1 glibc makes of ::1.
  local name addr port
  for name in ipp-kv3 ipp-rx140; do
    if [ "$name" = ipp-kv3 ]; then addr=$kv3_addr port=$kv3_port; else addr=$rx_addr port=$rx_port; fi
    mkdir -p "$dir/$name-spool"
    printf '127.0.0.1 localhost\n%s %s.test\n::1 %s.test\n' "$addr" "$name" "$name" >"$dir/$name.hosts"
    printf 'precedence ::ffff:%s/128 100\nprecedence ::1/128 50\nprecedence ::/0 40\nprecedence 2002::/16 30\nprecedence ::/96 20\nprecedence ::ffff:0:0/96 10\n' \
      "$addr" >"$dir/$name.gai"
    setsid unshare -m --propagation private sh -c \
      'mount --bind "$1.hosts" /etc/hosts && mount --bind "$1.gai" /etc/gai.conf &&
       exec ippeveprinter -n "$2.test" -p "$3" -d "$1-spool" -a "$1.conf" "$2"' \
      sh "$dir/$name" "$name" "$port" </dev/null >"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
  done
  for name in ipp-kv3 ipp-rx140; do
    if [ "$name" = ipp-kv3 ]; then addr=$kv3_addr port=$kv3_port; else addr=$rx_addr port=$rx_port; fi
    wait_for 10 sh -c "ss -Hltn 'src $addr and sport = :$port' | grep -q ." ||
      die "$name did not listen on $addr:$port: $(tail -3 "$dir/$name.log")"
  done

  # A silent IPP peer: takes every connection and keeps it, never reads.
  local silent_port
  silent_port=$(free_port tcp 127.0.0.1)
  setsid python3 -c '
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(64)
held = []
while True:
    held.append(s.accept()[0])' "$silent_port" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/silent.pid"

  # The SNMP printers.
  local v2_addr v2_port v3_addr v3_port
  v2_addr=$(free_address)
  v2_port=$(free_port udp "$v2_addr")
  start_snmpd "$dir" snmpd-v2c "$v2_addr" "$v2_port" <<'EOF'
sysDescr HALVORN RX-140 Firmware V2.10 (network interface 1.4)
rocommunity fleetread 127.0.0.0/8
override 1.3.6.1.2.1.25.3.2.1.3.1 octet_str "HALVORN RX-140"
override 1.3.6.1.2.1.43.5.1.1.17.1 octet_str "RX140-SN-0042"
override 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1 octet_str "MFG:HALVORN;MDL:RX-140;CMD:PJL;"
EOF
  v3_addr=$(free_address)
  [ "$v3_addr" != "$v2_addr" ] || v3_addr=$(free_address)
  v3_port=$(free_port udp "$v3_addr")
  start_snmpd "$dir" snmpd-v3 "$v3_addr" "$v3_port" <<'EOF'
sysDescr HALVORN KV3 network printer
createUser fleetadmin SHA "authpass123" AES "privpass123"
rouser fleetadmin priv
override 1.3.6.1.2.1.25.3.2.1.3.1 octet_str "HALVORN KV3"
override 1.3.6.1.2.1.43.5.1.1.17.1 octet_str "KV3-SN-7"
override 1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1 octet_str "MFG:HALVORN;MDL:KV3;"
override 1.3.6.1.4.1.99999.1.1.0 octet_str "3.02"
EOF
  # The SNMP printer that restarts: what changes across a restart is read
  # from the state file on every request (snmpd's pass), the rest is fixed.
  local r_addr r_port
  r_addr=$(free_address)
  r_port=$(free_port udp "$r_addr")
  cat >"$dir/restart.state" <<'EOF'
uptime=500000
firmware=2.10
serial=KV3-SN-100
model=KV3
EOF
  cat >"$dir/restart-pass.sh" <<EOF
#!/bin/sh
# snmpd pass: -g OID answers from the state file; nothing for GETNEXT.
[ "\$1" = "-g" ] || exit 0
value() { sed -n "s/^\$1=//p" "$dir/restart.state" | head -n 1; }
case "\$2" in
  .1.3.6.1.2.1.1.3.0) printf '%s\ntimeticks\n%s\n' "\$2" "\$(value uptime)" ;;
  .1.3.6.1.4.1.99999.2.1.0) printf '%s\nstring\n%s\n' "\$2" "\$(value firmware)" ;;
  .1.3.6.1.2.1.43.5.1.1.17.1) printf '%s\nstring\n%s\n' "\$2" "\$(value serial)" ;;
  .1.3.6.1.2.1.25.3.2.1.3.1) printf '%s\nstring\nHALVORN %s\n' "\$2" "\$(value model)" ;;
  .1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1) printf '%s\nstring\nMFG:HALVORN;MDL:%s;\n' "\$2" "\$(value model)" ;;
esac
EOF
  chmod +x "$dir/restart-pass.sh"
  # -p 1: ahead of the agent's own sysUpTime.
  start_snmpd "$dir" snmpd-restart "$r_addr" "$r_port" <<EOF
sysDescr HALVORN KV3 network printer
rocommunity fleetread 127.0.0.0/8
pass -p 1 .1.3.6.1.2.1.1.3 $dir/restart-pass.sh
pass .1.3.6.1.4.1.99999.2 $dir/restart-pass.sh
pass .1.3.6.1.2.1.43.5.1.1.17 $dir/restart-pass.sh
pass .1.3.6.1.2.1.25.3.2.1.3 $dir/restart-pass.sh
pass .1.3.6.1.4.1.2699.1.2.1.2.1.1.3 $dir/restart-pass.sh
EOF
  wait_for 10 sh -c "ss -Hlnu 'sport = :$r_port' | grep -q ." ||
    die "snmpd-restart did not listen: $(tail -3 "$dir/snmpd-restart/log" 2>/dev/null)"
  wait_for 10 sh -c "ss -Hlnu 'sport = :$v2_port' | grep -q ." ||
    die "snmpd-v2c did not listen: $(tail -3 "$dir/snmpd-v2c/log" 2>/dev/null)"
  wait_for 10 sh -c "ss -Hlnu 'sport = :$v3_port' | grep -q ." ||
    die "snmpd-v3 did not listen: $(tail -3 "$dir/snmpd-v3/log" 2>/dev/null)"

  cat >"$dir/peers.env" <<EOF
IPP_HOST=127.0.0.1
IPP_PORT=$ipp_port
IPP_UUID=$uuid
SILENT_IPP_PORT=$silent_port
SNMP2_HOST=$v2_addr
SNMP2_PORT=$v2_port
SNMP2_COMMUNITY=fleetread
SNMP3_HOST=$v3_addr
SNMP3_PORT=$v3_port
SNMP3_USER=fleetadmin
SNMP3_AUTH=SHA:authpass123
SNMP3_PRIV=AES:privpass123
SNMP3_FIRMWARE_OID=1.3.6.1.4.1.99999.1.1.0
IPPK_HOST=$kv3_addr
IPPK_PORT=$kv3_port
IPPK_UUID=$kv3_uuid
IPPR_HOST=$rx_addr
IPPR_PORT=$rx_port
SNMPR_HOST=$r_addr
SNMPR_PORT=$r_port
SNMPR_COMMUNITY=fleetread
SNMPR_FIRMWARE_OID=1.3.6.1.4.1.99999.2.1.0
SNMPR_STATE=$dir/restart.state
EOF
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: $0 start DIR"; do_start "$2" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop DIR"; do_stop "$2" ;;
  *) die "usage: $0 start|stop DIR" ;;
esac
