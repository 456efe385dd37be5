#!/bin/bash
# Fresh 2048-bit keys from OpenSSL, each as a profile, through the key-management
# stand-in: every signature and decryption must equal OpenSSL's.
# Usage: bench/kmp_keys.sh <build dir> [count, default 300]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-300}
work="$build/bench-data/kmp-keys"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout trust.key -subj "/CN=Bench Trust" -days 30 \
  -out trust.pem 2>/dev/null
printf '[Profile]\r\nTrustedCertificate=trust.pem\r\n' >profile.ini
openssl rand -out digest36.bin 36
openssl rand -out secret.bin 48
for n in $(seq "$count"); do
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "key-$n.key" 2>/dev/null
  openssl req -x509 -new -key "key-$n.key" -subj "/CN=Bench Key $n" -days 30 -out "key-$n.pem"
  openssl pkcs12 -export -in "key-$n.pem" -inkey "key-$n.key" -out "key-$n.p12" \
    -passout pass:profile-pass
  openssl pkeyutl -sign -inkey "key-$n.key" -in digest36.bin -out "key-$n.sig" \
    -pkeyopt rsa_padding_mode:pkcs1
  openssl pkeyutl -encrypt -certin -inkey "key-$n.pem" -in secret.bin -out "key-$n.enc" \
    -pkeyopt rsa_padding_mode:pkcs1
done
wine "$build/pluginhost/kmp_keys_bench.exe" "$(echo "Z:$work/" | tr / '\\')" "$count"
