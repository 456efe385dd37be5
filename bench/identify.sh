#!/bin/bash
# The identify event of a large instance: 10,000 datafiles in 500 tablespaces
# and 2,000 archived logs, and of one half its size (the time should halve,
# not fall to a quarter), against a small instance (3 datafiles, 2 archived
# logs) as reference. Writer-side is the event method from its start to its
# return, split into the client library's calls, the shadow-copy library's
# calls and the writer's own; end to end is the requester's listing, run as
# its own process. Usage: bench/identify.sh <build dir>   (part of run-all.sh)
#
# Instances are kept in the build's bench-data and only started on later
# runs; delete bench-data/identify-home to time their making again.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
home="$build/bench-data/identify-home"
bin="$build/sim/vorlix/home/BIN"
vssreq=$(winepath -w "$build/sim/vss/vssreq.exe")
mkdir -p "$home"
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
export WINEPATH="Z:$(echo "$bin" | tr / '\\')"

describe() {  # tablespaces (20 datafiles each), archived logs
  awk -v spaces="$1" -v logs="$2" 'BEGIN {
    printf "{\"logMode\": \"ARCHIVELOG\", \"archivedLogs\": %d, \"tablespaces\": [", logs
    for (t = 0; t < spaces; t++) {
      printf "%s{\"name\": \"TS%03d\", \"datafiles\": [", (t ? ", " : ""), t
      for (f = 1; f <= 20; f++) printf "%s\"df%05d.dbf\"", (f > 1 ? ", " : ""), t * 20 + f
      printf "]}"
    }
    printf "]}\n" }'
}
echo '{"logMode": "ARCHIVELOG", "archivedLogs": 2}' >"$home/small.json"
describe 250 1000 >"$home/half.json"
describe 500 2000 >"$home/large.json"

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
    echo "made $1 ($2) in $((t1 - t0)) s"
  fi
}

echo "== Identify of 10,000 datafiles in 500 tablespaces with 2,000 archived logs, and of half that =="
open_instance IDSMALL small.json
open_instance IDHALF half.json
open_instance IDLARGE large.json
for sid in IDSMALL IDHALF IDLARGE; do
  wine "$build/bench/identify_bench.exe" "$sid" "$vssreq" 3 | tee "$home/$sid.figures"
done
# Doubling the instance should double the time, not quadruple it.
awk '/writer-side/ {
    match($0, /writer-side [0-9.]+/); side[FILENAME] = substr($0, RSTART + 12, RLENGTH - 12)
    match($0, /writer.s own [0-9.]+/); own[FILENAME] = substr($0, RSTART + 12, RLENGTH - 12) }
  END { h = ARGV[1]; l = ARGV[2]
    printf "twice the instance: writer-side x%.2f, writer'"'"'s own x%.2f\n", side[l] / side[h], own[l] / own[h] }' \
  "$home/IDHALF.figures" "$home/IDLARGE.figures"

echo "== A statement, a log switch and a tablespace's hot backup, per statement, on instances of three sizes =="
# Each kind runs as n and as 5n statements through one vlxsql; the difference
# over 4n is one statement's cost, without the process start and the first
# read of the state (the lowest of three tries: file writes on this machine
# vary a lot from one second to the next). It should not grow with the instance's datafiles and
# archived logs: half and large differ only in size. The hot backup is of a
# tablespace of 20 datafiles (USERS, 1 datafile, on the small instance). Each
# run leaves 72 more archived logs in each instance.
elapsed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
per_statement() {  # SID n statement... (repeated in turn up to n, then 5n, statements)
  local sid=$1 n=$2 statements=() short=() t1 t5
  shift 2
  for i in $(seq $((5 * n))); do statements+=("${@:$(((i - 1) % $# + 1)):1}"); done
  short=("${statements[@]:0:n}")
  for _ in 1 2 3; do
    t1=$(elapsed wine "$bin/vlxsql.exe" "$sid" -- "${short[@]}")
    t5=$(elapsed wine "$bin/vlxsql.exe" "$sid" -- "${statements[@]}")
    awk -v a="$t1" -v b="$t5" -v n="$n" 'BEGIN { print (b - a) / (4 * n) * 1000 }'
  done | sort -g | head -1 | xargs printf "%.2f"
}
for sid in IDSMALL IDHALF IDLARGE; do
  tablespace=TS001
  [ "$sid" = IDSMALL ] && tablespace=USERS
  q=$(per_statement "$sid" 50 "select open_mode from v\$database")
  s=$(per_statement "$sid" 4 "alter system archive log current")
  b=$(per_statement "$sid" 20 "alter tablespace $tablespace begin backup" \
    "alter tablespace $tablespace end backup")
  echo "$sid: query $q ms, log switch $s ms, begin or end backup $b ms"
done
