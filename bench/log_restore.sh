#!/bin/bash
# The restore of a hot full backup whose restore metadata carries a large
# archived log (made by bench/post_snapshot.sh): the time to re-create the
# log from the document, against base64 -d of the same text in the same run,
# and the whole restore of "Vorlix Database" through vssreq with the writer's
# time in each restore event.
# Usage: bench/log_restore.sh <build dir> [LOG MiB]   (part of bench/run-all.sh)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
here=$(dirname "$0")
home="$build/bench-data/post-snapshot-home"
bin="$build/sim/vorlix/home/BIN"
vssreq=$(winepath -w "$build/sim/vss/vssreq.exe")
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
export WINEPATH="Z:$(echo "$bin" | tr / '\\')"
elapsed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
cleanup() {
  [ -n "${KEEP_BENCH_HOME:-}" ] && return
  wine "$bin/vlxsim.exe" drop BPOST >/dev/null 2>&1 || true
  rm -rf "$home"
}
trap cleanup EXIT

KEEP_BENCH_HOME=1 "$here/post_snapshot.sh" "$build" "$mib"
set="$VORLIX_HOME\\set"
[ -f "$home/set/backup-document.txt" ] || { echo "no backup set: restore not measured"; exit 0; }

echo "== Restore of that backup: $mib MiB of archived log re-created from the document =="
out=$(wine "$build/bench/sequence_bench.exe" recreate "$set" "$VORLIX_HOME\\payload.b64" 2>&1 | tr -d '\r' || true)
echo "$out" | grep -v -E '^(log|largest) '
ours=$(echo "$out" | awk '/re-creating the logs from the document/ { print $7 }')
ref=$(elapsed sh -c "base64 -d '$home/payload.b64' >'$home/payload.bin'")
log=$(echo "$out" | awk '/^largest / { print $2 }')
same=$(cmp -s "$home/payload.bin" "$(winepath -u "$log")" && echo "the same bytes" || echo "DIFFERENT bytes")
awk -v r="$ref" -v o="$ours" -v b=$((mib * 1024 * 1024)) -v s="$same" 'BEGIN {
  printf "base64 -d of the same text %.2f s (%.1f MB/s), %s; ratio %.2f (re-creation / base64 -d)\n",
    r, b / 1e6 / r, s, o / r }'

echo "== Whole restore of \"Vorlix Database\" through vssreq (instance shut down, logs gone) =="
wine "$bin/vlxsim.exe" shutdown BPOST >/dev/null
echo "$out" | awk '/^log / { print $2 }' | while read -r gone; do rm -f "$(winepath -u "$gone")"; done
wine "$build/bench/sequence_bench.exe" restore BPOST "$vssreq" "$set" 2>&1 | tr -d '\r' || true
cmp -s "$home/payload.bin" "$(winepath -u "$log")" &&
  echo "the restore re-created the archived log: the bytes backed up" ||
  echo "the archived log is not back in its place"
wine "$bin/vlxsql.exe" BPOST -- "select open_mode from v\$database" 2>&1 | tr -d '\r' | sed 's/^/database after the restore: /'
wine "$bin/vlxsql.exe" BPOST -- "alter database open resetlogs" "select open_mode from v\$database" 2>&1 |
  tr -d '\r' | sed 's/^/after OPEN RESETLOGS: /'
