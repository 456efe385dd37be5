#!/bin/sh
# Makes the certificates and keys the wallet tests import, with the OpenSSL
# command line, into DIR (created). Everything is DER, keys as PKCS#1.
#
#   caA, caB        private certificate authorities
#   user1, user2    users signed by caA and caB (keys kept)
#   self            a self-signed user
#   other           a user of caA whose key will live in another provider
#   peer            a peer of caA; peerB a peer of caB
#   expired         a peer of caA no longer valid; expiredB the same from caB
#   untrusted       a self-signed peer
#   nosign          a peer of caA the SSL policy is asked about ("key usage" below)
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"

cat > ext.cnf <<'CNF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[user]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = clientAuth, serverAuth
[nosign]
basicConstraints = CA:FALSE
keyUsage = critical, cRLSign
extendedKeyUsage = codeSigning
CNF

# A minimal CA database, for the one certificate whose dates lie in the past.
cat > ca.cnf <<'CNF'
[ca]
default_ca = past
[past]
database = index.txt
serial = serial
new_certs_dir = .
policy = anything
default_md = sha256
unique_subject = no
x509_extensions = user
[anything]
commonName = supplied
[user]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
CNF

key() {
    openssl genrsa -out "$1.pem" 2048 2>/dev/null
    openssl rsa -in "$1.pem" -traditional -outform DER -out "$1.key" 2>/dev/null
    openssl rsa -in "$1.pem" -pubout -out "$1.pub" 2>/dev/null
}

selfsigned() {  # name, extensions section
    key "$1"
    openssl req -x509 -new -key "$1.pem" -subj "/CN=wallet test $1" -days 3650 \
        -extensions "$2" -config ext.cnf -out "$1.crt" 2>/dev/null
    openssl x509 -in "$1.crt" -outform DER -out "$1.der"
}

issued() {  # name, issuer, extensions section
    key "$1"
    openssl req -new -key "$1.pem" -subj "/CN=wallet test $1" -out "$1.csr"
    openssl x509 -req -in "$1.csr" -CA "$2.crt" -CAkey "$2.pem" -CAcreateserial -days 3650 \
        -extfile ext.cnf -extensions "$3" -out "$1.crt" 2>/dev/null
    openssl x509 -in "$1.crt" -outform DER -out "$1.der"
}

expired() {  # name, issuer
    key "$1"
    : > index.txt
    [ -f serial ] || echo 1000 > serial
    openssl req -new -key "$1.pem" -subj "/CN=wallet test $1" -out "$1.csr"
    openssl ca -batch -config ca.cnf -cert "$2.crt" -keyfile "$2.pem" -in "$1.csr" \
        -startdate 20200101000000Z -enddate 20210101000000Z -notext -out "$1.crt" 2>/dev/null
    openssl x509 -in "$1.crt" -outform DER -out "$1.der"
}

selfsigned caA ca
selfsigned caB ca
issued user1 caA user
issued user2 caB user
selfsigned self user
issued other caA user
issued peer caA user
issued peerB caB user
issued nosign caA nosign
expired expired caA
expired expiredB caB
selfsigned untrusted user
