#!/bin/sh
# Makes the profiles and certificates the key-management tests use, with the
# OpenSSL command line: a trust anchor, a user profile (PKCS#12, password
# "profile-pass") issued by it, an expired and a foreign certificate, the
# initialization files, and what OpenSSL itself computes for the user's key
# (a raw PKCS#1 v1.5 signature of a 36-byte digest, an encrypted secret) so
# the tests can compare the library's results with OpenSSL's; the same for
# fixed keys with a component shorter than usual (edge_keys.py).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=$1
rm -rf "$out"
mkdir -p "$out"
cd "$out"

new_key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null; }
issue() {  # issue NAME SUBJECT CA DAYS
    new_key "$1.key"
    openssl req -new -key "$1.key" -subj "$2" -out "$1.csr"
    openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
        -days "$4" -out "$1.pem" 2>/dev/null
    openssl x509 -in "$1.pem" -outform DER -out "$1.der"
}
anchor() {  # anchor NAME SUBJECT
    new_key "$1.key"
    openssl req -x509 -new -key "$1.key" -subj "$2" -days 3650 -out "$1.pem"
    openssl x509 -in "$1.pem" -outform DER -out "$1.der"
}

anchor trust "/CN=Parcel Test Trust Anchor"
anchor foreign-ca "/CN=Some Other Authority"
issue user "/CN=Parcel Test User" trust 365
issue expired "/CN=Parcel Expired User" trust -1
issue foreign "/CN=Parcel Foreign User" foreign-ca 365

openssl pkcs12 -export -in user.pem -inkey user.key -out user.p12 -passout pass:profile-pass
printf 'not a profile\n' > garbage.p12

printf '[Profile]\r\nTrustedCertificate=trust.pem\r\n' > profile.ini
printf '[Profile]\r\nTrustedCertificate=trust.der\r\n' > profile-der.ini
printf '[Profile]\r\n' > notrust.ini

openssl rand -out digest36.bin 36
openssl pkeyutl -sign -inkey user.key -in digest36.bin -out digest36.sig -pkeyopt rsa_padding_mode:pkcs1
openssl rand -out secret.bin 48
openssl pkeyutl -encrypt -certin -inkey user.pem -in secret.bin -out secret.enc \
    -pkeyopt rsa_padding_mode:pkcs1

for der in $(/usr/bin/python3 "$here/edge_keys.py" .); do
    name=${der%.der}
    openssl rsa -inform DER -in "$der" -out "$name.key" 2>/dev/null
    openssl req -x509 -new -key "$name.key" -subj "/CN=Parcel Edge User" -days 365 -out "$name.pem"
    openssl pkcs12 -export -in "$name.pem" -inkey "$name.key" -out "$name.p12" -passout pass:profile-pass
    openssl pkeyutl -sign -inkey "$name.key" -in digest36.bin -out "$name.sig" -pkeyopt rsa_padding_mode:pkcs1
    openssl pkeyutl -encrypt -certin -inkey "$name.pem" -in secret.bin -out "$name.enc" \
        -pkeyopt rsa_padding_mode:pkcs1
done
