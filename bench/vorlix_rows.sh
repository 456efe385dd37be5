#!/bin/bash
# The stand-in database's data paths: 10,000 single-row inserts through
# vlxsql (200 statements a process), 50 log switches, then the recovery of
# the datafile, put back from a hot backup copy taken before the inserts, over
# those logs. Reference: the same 10,000 statements as queries of DUAL, which
# cost the same instance round trips without touching a datafile or a log.
# Usage: bench/vorlix_rows.sh <build dir>   (part of bench/run-all.sh)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bin="$build/sim/vorlix/home/BIN"
home="$build/bench-data/rows-home"
rm -rf "$home"
mkdir -p "$home"
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
elapsed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
sql() { wine "$bin/vlxsql.exe" BROWS -- "$@"; }

echo '{"tables": [{"name": "T1", "columns": ["ID", "NAME"]}]}' >"$home/rows.json"
wine "$bin/vlxsim.exe" create BROWS "$VORLIX_HOME\\rows.json"
users="$home/instances/BROWS/users01.dbf"
sql "alter tablespace users begin backup" >/dev/null
cp "$users" "$home/users01.copy"
sql "alter tablespace users end backup" >/dev/null

batches() {  # statement template with N for the row number
  for b in $(seq 0 49); do
    local statements=()
    for i in $(seq $((b * 200 + 1)) $((b * 200 + 200))); do statements+=("${1//N/$i}"); done
    sql "${statements[@]}"
  done
}
queries=$(elapsed batches "select N from dual")
inserts=$(elapsed batches "insert into t1 values (N, 'row N of the benchmark')")
switch_list=()
for _ in $(seq 50); do switch_list+=("alter system archive log current"); done
switches=$(elapsed sql "${switch_list[@]}")
archived=$(du -cb "$home"/instances/BROWS/arch/* | tail -1 | cut -f1)

wine "$bin/vlxsim.exe" shutdown BROWS
cp "$home/users01.copy" "$users"
wine "$bin/vlxsim.exe" startup BROWS mount
recovery=$(elapsed sql "alter database recover datafile 3")
[ "$(sql "alter database open" "select count(*) from t1")" = $'10000\r' ]
wine "$bin/vlxsim.exe" verify BROWS >/dev/null

echo "== Vorlix stand-in: 10,000 inserts, 50 log switches, recovery of one datafile over them =="
awk -v q="$queries" -v i="$inserts" -v s="$switches" -v r="$recovery" -v a="$archived" 'BEGIN {
  printf "insert %.1f ms (query of dual %.1f ms); log switch %.1f ms; ", i / 10, q / 10, s / 50 * 1000
  printf "recovery of the datafile over %.1f MB of archived redo %.2f s\n", a / 1e6, r }'
wine "$bin/vlxsim.exe" drop BROWS
rm -rf "$home"
