#!/bin/bash
# A hot FULL backup of "Vorlix Database" and its restore (instance shut down
# first) through vssreq, each event timed inside the writer, for the large
# instance of bench/identify.sh (10,000 datafiles in 500 tablespaces, 2,000
# archived logs) against the small one (3 datafiles, 2 archived logs) in the
# same run. Datafiles are small, so the time is the writer's and the
# stand-ins', with the copying of the files by the requester on top.
# Usage: bench/sequence.sh <build dir>   (part of bench/run-all.sh; makes the
# instances through bench/identify.sh when they are not there yet)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
home="$build/bench-data/identify-home"
bin="$build/sim/vorlix/home/BIN"
vssreq=$(winepath -w "$build/sim/vss/vssreq.exe")
[ -f "$home/instances/IDLARGE/state.json" ] || "$(dirname "$0")/identify.sh" "$build" >/dev/null
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
export WINEPATH="Z:$(echo "$bin" | tr / '\\')"
# The writer starts the recovery tool of a restore from the home's BIN folder.
mkdir -p "$home/BIN" && cp -r "$bin"/. "$home/BIN/"

# The requester's line per file copied is left out: 10,000 of them say nothing.
figures() { tr -d '\r' | grep -v -E '^(Restore +copied|Snapshot )' || true; }

echo "== Hot FULL backup and restore, per event, of 10,000 datafiles with 2,000 archived logs =="
for sid in IDSMALL IDLARGE; do
  echo "-- $sid"
  set="$home/set-$sid"
  rm -rf "$set"
  wine "$bin/vlxsim.exe" service "$sid" start >/dev/null 2>&1 || true
  wine "$bin/vlxsim.exe" startup "$sid" open >/dev/null 2>&1 || true
  # The writer program's freeze timeout of 60 s bounds Freeze to the end of
  # Thaw, which holds the requester's copy of every datafile as the snapshot:
  # on the large instance that copy alone takes longer under Wine (each new
  # file in a folder of 10,000 costs it a look at every name there), so the
  # figures are taken with 15 minutes.
  wine "$build/bench/sequence_bench.exe" backup "$sid" "$vssreq" "$(winepath -w "$set")" 900000 |
    figures
  [ -f "$set/backup-document.txt" ] &&
    ls -l "$set/backup-document.txt" | awk '{ printf "backup document %.1f KiB\n", $5 / 1024 }'
  wine "$bin/vlxsim.exe" shutdown "$sid" >/dev/null
  wine "$build/bench/sequence_bench.exe" restore "$sid" "$vssreq" "$(winepath -w "$set")" | figures
  wine "$bin/vlxsql.exe" "$sid" -- "select open_mode from v\$database" 2>&1 | tr -d '\r' |
    sed "s/^/$sid after the restore: /"
  wine "$bin/vlxsql.exe" "$sid" -- "alter database open resetlogs" >/dev/null 2>&1 || true
  # The instance is kept for the next run: open, whatever the restore left.
  wine "$bin/vlxsim.exe" startup "$sid" open >/dev/null 2>&1 || true
  rm -rf "$set"
done
