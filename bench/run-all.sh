#!/bin/bash
# Runs every benchmark against its reference in the same run and prints the
# figures. Usage: bench/run-all.sh <build dir>   (from `make bench`)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work="$build/bench-data"
mkdir -p "$work"

mbps() { awk -v mb="$1" -v s="$2" 'BEGIN { printf "%.1f", mb / s }'; }
elapsed() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }

echo "== base64 of a 256 MiB file =="
input="$work/input.bin"
[ -f "$input" ] || head -c $((256 * 1024 * 1024)) /dev/urandom >"$input"
mb=$(awk 'BEGIN { print 256 * 1024 * 1024 / 1e6 }')

ours=$(wine "$build/bench/base64_bench.exe" "Z:$input" "Z:$work/decoded.bin")
echo "$ours"
enc=$(elapsed sh -c "base64 -w0 '$input' >'$work/coreutils.b64'")
dec=$(elapsed sh -c "base64 -d '$work/coreutils.b64' >'$work/coreutils.bin'")
cmp -s "$input" "$work/decoded.bin" && cmp -s "$input" "$work/coreutils.bin"
ref_enc=$(mbps "$mb" "$enc")
ref_dec=$(mbps "$mb" "$dec")
echo "coreutils base64 $ref_enc MB/s"
echo "coreutils base64 -d $ref_dec MB/s"
our_enc=$(echo "$ours" | awk '/fileToBase64/ { print $2 }')
our_dec=$(echo "$ours" | awk '/base64ToFile/ { print $2 }')
awk -v a="$our_enc" -v b="$ref_enc" -v c="$our_dec" -v d="$ref_dec" \
  'BEGIN { printf "ratio encode %.2f, decode %.2f (ours / coreutils)\n", a / b, c / d }'
rm -f "$work/decoded.bin" "$work/coreutils.b64" "$work/coreutils.bin"

echo "== 8 MiB of restore metadata through a backup and a restore =="
# Reference: the same sequences with a one-line restore metadata.
vss="$build/sim/vss"
data="$work/vss-data"
mkdir -p "$data"
echo alpha >"$data/a.dat"
metadata="$work/metadata.bin"
[ -f "$metadata" ] || head -c $((6 * 1024 * 1024)) /dev/urandom | base64 -w0 >"$metadata"
quiet() { "$@" >/dev/null; }
sequence() {  # instance, extra writer arguments...
  local instance=$1; shift
  rm -rf "$work/vss-set-$instance"
  wine "$vss/sample_writer.exe" --instance "$instance" --data "Z:$data" --log "Z:$work/vss.log" \
    --stop-event "bench-$instance" "$@" >/dev/null &
  local writer=$!
  until wine "$vss/vssreq.exe" writers --instance "$instance" 2>/dev/null | grep -q '^Writer'; do
    sleep 0.2
  done
  local component="$instance\\Sample Database"
  local b r
  b=$(elapsed quiet wine "$vss/vssreq.exe" backup --set "Z:$work/vss-set-$instance" \
    --instance "$instance" --component "$component")
  r=$(elapsed quiet wine "$vss/vssreq.exe" restore --set "Z:$work/vss-set-$instance" \
    --instance "$instance" --component "$component")
  kill "$writer"
  wait "$writer" 2>/dev/null || true
  echo "$instance backup ${b} s, restore ${r} s"
}
sequence BENCHSMALL
sequence BENCHBIG --restore-metadata "Z:$metadata" --restored-metadata "Z:$work/metadata-back.bin"
cmp -s "$metadata" "$work/metadata-back.bin" && echo "restore metadata came back bit-exact"
ls -l "$work/vss-set-BENCHBIG/backup-document.txt" | awk '{ print "document " $5 " bytes" }'
rm -rf "$work/vss-set-BENCHSMALL" "$work/vss-set-BENCHBIG" "$work/metadata-back.bin"

echo "== 200 kmpwallet signatures (2048-bit RSA) through wallethost =="
# Reference: OpenSSL signing the same digest, one process per signature.
profiles="$work/profiles"
sh "$(dirname "$0")/../sim/entrust/tests/make_profiles.sh" "$profiles"
win=$(echo "Z:$profiles" | tr / '\\')
signs=()
for _ in $(seq 200); do signs+=("sign=$win\\digest36.bin"); done
kmp_host() {
  wine "$build/pluginhost/wallethost.exe" --register nztwveapi --borrowed-results \
    "$build/pluginhost/kmpwallet.dll" "login=entr:$win\\user.p12::$win\\profile.ini::,profile-pass" \
    keypair "$@" logout
}
[ "$(kmp_host "${signs[@]}" | grep -c '^sign 0 length=256')" = 200 ]
session=$(elapsed quiet kmp_host)
signing=$(elapsed quiet kmp_host "${signs[@]}")
reference=$(elapsed sh -c "for i in \$(seq 200); do openssl pkeyutl -sign -inkey '$profiles/user.key' \
  -in '$profiles/digest36.bin' -pkeyopt rsa_padding_mode:pkcs1 >/dev/null; done")
awk -v s="$session" -v f="$signing" -v r="$reference" 'BEGIN {
  printf "login+keypair+logout %.3f s; per signature %.2f ms (openssl pkeyutl %.2f ms, process start included)\n",
    s, (f - s) / 200 * 1000, r / 200 * 1000 }'
rm -rf "$profiles"

echo "== ${KMP_FRESH_KEYS:-300} fresh keys through the key-management stand-in =="
# Reference: OpenSSL's own signature and encryption with each key.
"$(dirname "$0")/kmp_keys.sh" "$build" "${KMP_FRESH_KEYS:-300}" | tail -1

echo "== Vorlix stand-in: statements through VCI.dll =="
# Each query is three calls on the instance (describe, execute, server output),
# each under the instance lock.
bin="$build/sim/vorlix/home/BIN"
home="$work/vorlix-home"
rm -rf "$home"
mkdir -p "$home"
export VORLIX_HOME="Z:$(echo "$home" | tr / '\\')"
echo '{}' >"$home/bench.json"
wine "$bin/vlxsim.exe" create BENCH "$VORLIX_HOME\\bench.json"
queries=()
for _ in $(seq 200); do queries+=("select count(fuzzy) fuzzycnt from v\$datafile_header where fuzzy='YES'"); done
switches=()
for _ in $(seq 50); do switches+=("alter system archive log current"); done
small=$(elapsed quiet wine "$bin/vlxsql.exe" BENCH -- "${queries[@]}")
logs=$(elapsed quiet wine "$bin/vlxsql.exe" BENCH -- "${switches[@]}")
large=$(elapsed quiet wine "$bin/vlxsql.exe" BENCH -- "${queries[@]}")
awk -v a="$small" -v b="$logs" -v c="$large" 'BEGIN {
  printf "query %.1f ms; log switch %.1f ms; query with 50 archived logs recorded %.1f ms\n",
    a / 200 * 1000, b / 50 * 1000, c / 200 * 1000 }'
wine "$bin/vlxsim.exe" drop BENCH
rm -rf "$home"
unset VORLIX_HOME

echo "== 100000 trace entries, each written and flushed at once =="
# Reference: the same entries through a buffered stream without flushing.
trace_dir="$work/trace"
rm -rf "$trace_dir" && mkdir -p "$trace_dir"
rates=$(wine "$build/bench/trace_bench.exe" "Z:$trace_dir")
echo "$rates"
[ "$(grep -c 'Processing pre SQL command' "$trace_dir/trace.trc")" = 100000 ]
echo "$rates" | awk '/^traceMsgA / { t = $2 } /^buffered/ { b = $3 } END {
  printf "ratio %.2f (trace / buffered)\n", t / b }'
rm -rf "$trace_dir"

echo "== installing a release package (64 MiB unpacked, deflated) =="
package="$work/release.zip"
if [ ! -f "$package" ]; then
  /usr/bin/python3 - "$package" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(16):
        # Half random, half repetitive: like programs and their data files.
        z.writestr("release/bin/file%02d.dll" % i, os.urandom(2 << 20) + bytes(range(256)) * 8192)
PY
fi
unpacked_mb=$(awk 'BEGIN { print 64 * 1024 * 1024 / 1e6 }')
rm -rf "$work/install" "$work/unzip" && mkdir -p "$work/install" "$work/unzip"
ours=$(wine "$build/bench/install_bench.exe" "Z:$package" "Z:$work/install/")
echo "$ours"
ref=$(elapsed unzip -q -o -j "$package" -d "$work/unzip")
echo "unzip -j (native, no staging) $ref s"
cmp -s "$work/install/file07.dll" "$work/unzip/file07.dll"
our_s=$(echo "$ours" | awk '/installPackage/ { print $2 }')
echo "installPackage $(mbps "$unpacked_mb" "$our_s") MB/s, unzip $(mbps "$unpacked_mb" "$ref") MB/s"
rm -rf "$work/install" "$work/unzip"

"$(dirname "$0")/identify.sh" "$build"
"$(dirname "$0")/vorlix_rows.sh" "$build"
"$(dirname "$0")/log_restore.sh" "$build" 256
"$(dirname "$0")/post_snapshot.sh" "$build" 64
"$(dirname "$0")/sequence.sh" "$build"
