#!/bin/sh
# The writer of one stand-in database instance as a service: installed,
# started, seen by the backup software, traced, stopped and removed.
# `make demo` runs it inside scripts/with-wine after prepare-prefix.sh.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
bin=$build/sim/vorlix/home/BIN
snapscribe=$build/snapscribe/host/snapscribe.exe
vssreq=$build/sim/vss/vssreq.exe
home='C:\vorlix-demo'
trace="$home\\DB1.trc"
export VORLIX_HOME="$home"

step() { printf '\n==== %s\n' "$*"; }
run() { printf '$ %s\n' "$*" | sed "s|$build/||g"; "$@" || printf '(exit status %s)\n' "$?"; }
has_vlxdim() { [ -f "$bin/vlxdim.exe" ]; }
# Until the administration tool is built, the platform's own service command
# and the settings key stand in for its service and registry verbs.
without_vlxdim() { echo "(vlxdim is not built yet: $1)"; }
services() {
  if has_vlxdim; then
    run wine "$snapscribe" /q "/$1"
  else
    without_vlxdim "the platform's net command $1s the service"
    run wine net "$1" VorlixVssWriterDB1
  fi
}

step "A stand-in instance DB1 with its instance service"
wine "$bin/vlxsim.exe" drop DB1 >/dev/null 2>&1 || true
rm -f "$(winepath -u "$trace")"
run wine "$bin/vlxsim.exe" create DB1 "$(winepath -w "$top/demo/db1.json")"

step "Trace settings of the DB1 writer: every kind of entry, to $trace"
if has_vlxdim; then
  run wine "$snapscribe" DB1 /tl 65567 /tf "$trace"
else
  without_vlxdim "the settings go straight to the installation settings key"
  run wine reg add 'HKLM\SOFTWARE\Vorlix' /v VLX_DB1_VSS_TLEVEL /d 65567 /f /reg:32
  run wine reg add 'HKLM\SOFTWARE\Vorlix' /v VLX_DB1_VSS_TNAME /d "$trace" /f /reg:32
fi

step "Install the writer service of DB1"
run wine "$snapscribe" DB1 /i
echo
run wine "$snapscribe" /q

step "Start the writer services"
services start
sleep 2

step "What the backup software sees"
run wine "$vssreq" writers --instance DB1

step "State of the writer services"
run wine "$snapscribe" /q /status

step "Stop the writer services"
services stop
run wine "$snapscribe" /q /status

step "The writer's trace"
tr -d '\r' < "$(winepath -u "$trace")"

step "Remove the writer service and the instance"
run wine "$snapscribe" DB1 /d
echo
run wine "$bin/vlxsim.exe" drop DB1
