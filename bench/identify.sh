#!/bin/bash
# The identify event of an instance with 10,000 datafiles in 500 tablespaces
# and of one with 2,000 archived logs, against a small instance (3 datafiles,
# 2 archived logs) as reference. Writer-side is the event method from its
# start to its return; end to end is the requester's listing, run as its own
# process. Usage: bench/identify.sh <build dir>   (part of bench/run-all.sh)
#
# The stand-in makes archived logs by log switches, and every switch rewrites
# the header of every datafile: one instance with both would take it hours to
# make. The two parts are separate queries of the event, so their times add.
# Instances are kept in the build's bench-data and only started on later runs.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
home="$build/bench-data/identify-home"
bin="$build/sim/vorlix/home/BIN"
vssreq=$(winepath -w "$build/sim/vss/vssreq.exe")
mkdir -p "$home"
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
export WINEPATH="Z:$(echo "$bin" | tr / '\\')"

echo '{"logMode": "ARCHIVELOG", "archivedLogs": 2}' >"$home/small.json"
awk 'BEGIN {
  printf "{\"logMode\": \"ARCHIVELOG\", \"archivedLogs\": 2, \"tablespaces\": ["
  for (t = 0; t < 500; t++) {
    printf "%s{\"name\": \"TS%03d\", \"datafiles\": [", (t ? ", " : ""), t
    for (f = 1; f <= 20; f++) printf "%s\"df%05d.dbf\"", (f > 1 ? ", " : ""), t * 20 + f
    printf "]}"
  }
  printf "]}\n" }' >"$home/datafiles.json"
echo '{"logMode": "ARCHIVELOG", "archivedLogs": 2000}' >"$home/logs.json"

# An instance made once from its description, or started again.
open_instance() {  # SID description
  if [ -f "$home/instances/$1/state.json" ]; then
    wine "$bin/vlxsim.exe" service "$1" start >/dev/null 2>&1 || true
    wine "$bin/vlxsim.exe" startup "$1" open >/dev/null 2>&1 || true
  else
    local t0 t1
    t0=$(date +%s)
    wine "$bin/vlxsim.exe" create "$1" "$VORLIX_HOME\\$2" >/dev/null
    t1=$(date +%s)
    echo "made $1 in $((t1 - t0)) s"
  fi
}

echo "== Identify of 10,000 datafiles in 500 tablespaces, and of 2,000 archived logs =="
open_instance IDSMALL small.json
open_instance IDFILES datafiles.json
open_instance IDLOGS logs.json
for sid in IDSMALL IDFILES IDLOGS; do
  wine "$build/bench/identify_bench.exe" "$sid" "$vssreq" 3
done
