#!/bin/bash
# The post-snapshot event of a hot full backup whose restore metadata carries
# 256 MiB of archived log since the checkpoint: writer-side time, the whole
# backup through vssreq, the writer's peak private bytes, against base64 -w0
# of the same bytes in the same run and the floor of 4/3 x the log's bytes.
# Usage: bench/post_snapshot.sh <build dir> [LOG MiB]   (part of bench/run-all.sh)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
bytes=$((mib * 1024 * 1024))
home="$build/bench-data/post-snapshot-home"
bin="$build/sim/vorlix/home/BIN"
vssreq=$(winepath -w "$build/sim/vss/vssreq.exe")
[ -n "${KEEP_BENCH_HOME:-}" ] || rm -rf "$home"
mkdir -p "$home"
# The writer starts the recovery tool of a restore from the home's BIN folder.
cp -r "$bin" "$home/BIN"
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
export WINEPATH="Z:$(echo "$bin" | tr / '\\')"
elapsed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }

echo "== Post-snapshot of a hot full backup carrying $mib MiB of archived log =="
echo '{"logMode": "ARCHIVELOG", "state": "open", "archiveDests": ["arch"], "archivedLogs": 1,
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf"]}]}' >"$home/post.json"
# One left by a run stopped half-way (or kept by KEEP_BENCH_HOME) goes first.
wine "$bin/vlxsim.exe" drop BPOST >/dev/null 2>&1 || true
wine "$bin/vlxsim.exe" create BPOST "$VORLIX_HOME\\post.json" >/dev/null
set="$VORLIX_HOME\\set"
out=$(wine "$build/bench/post_snapshot_bench.exe" BPOST "$vssreq" "$set" "$bytes" 2>&1 || true)
echo "$out"
log=$(ls -t "$home"/instances/BPOST/arch/*.ARC | head -1)
[ -f "$home/set/backup-document.txt" ] &&
  ls -l "$home/set/backup-document.txt" | awk '{ printf "backup document %.0f MiB\n", $5 / 1048576 }'
ref=$(elapsed base64 -w0 "$log")
writer=$(echo "$out" | awk '/writer-side/ { print $4 }')
awk -v r="$ref" -v w="$writer" -v b="$bytes" 'BEGIN {
  printf "base64 -w0 of the same bytes %.2f s (%.1f MB/s); ratio %.2f (post-snapshot / base64 -w0)\n",
    r, b / 1e6 / r, w / r }'
# bench/log_restore.sh restores the set afterwards, and cleans up itself.
if [ -z "${KEEP_BENCH_HOME:-}" ]; then
  wine "$bin/vlxsim.exe" drop BPOST >/dev/null
  rm -rf "$home"
fi
