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
