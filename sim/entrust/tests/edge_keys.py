#!/usr/bin/python3
"""Writes RSA keys (PKCS#1 DER) with one component shorter than its place in
a private-key blob: a CRT exponent, the coefficient or the private exponent
with a zero top byte. Fresh random keys have one of these about once in a
hundred; these are fixed so every run meets them.

Usage: edge_keys.py DIR   (writes DIR/edge-NAME.der for each key and prints
the file names)
"""
import math
import os
import sys

E = 65537
# Primes of 1024 bits chosen for what they make together.
P_SHORT_EXPONENT = int(
    "d932306786aca46a79378a90def3ea08ebaed86c682f32a4e1da8cce9b5229b926de7920f8b1a67d5f230e25316f64"
    "1e405264641a857ef259a572649c7315751a3a990a929f1864369fda0e9d5f488e3d090dee48deac942c3a2db51cca"
    "0733cc76acae770c50d679ab6c9d71d08598fca3b06d2a01b068d49aa324171a47cd", 16)
P_PLAIN = int(
    "fdb86beecfb8c3b9cf21720de7be9fa513901611c08f3c567ca3b8fac9c371e27803141e5a313d15d7d0ffd8864430"
    "bd28d5cba09cc224afb5417a167deab57788f87939957e7c149dbfaeaef63d9334a0aa9607edc04648c1b2dddb0723"
    "c7c36987eb77d725c5ce621dc47d7b170b23336f99e6d2f5c37810a301105b2344d1", 16)
P_COEFFICIENT = (int(
    "d17f313b5bc4fa11bee3e78718a8617be1a2d39c8a2d383e84032e94afd07b6b19f5ee363aad68862fd4e1c4cc6eae"
    "7fd03dc32bba6e3b420004e23eb34a75a911820ba10f0724de36b1d3b60e1d2e5bac627c94c2ca2adf6c829c6f8862"
    "5070473f658a813e412eb31c30609c54b9bd0daa025c81ad1d9325f81e37383b2d2d", 16), int(
    "c97676101fc7d5c118e360d5b0fdd47432c81b54c7a841a08ca0f559bfe826170d102551b95927042e2c310b467b4d"
    "2dd5e984cd1787419a62f30c699ac8a249ed8fa1c56d12a3045b582f63603d296a73ac45b82c4246a38e98a7b1c256"
    "4f86df7b775e0cbded88655781edba2d30dcdff88285fd4dd9ec3fe7d0d20157bba1", 16))
P_PRIVATE_EXPONENT = (int(
    "c6773a628222ca76ac5e486dc7d0471c336b866e2a316d03b66d772c8751d1b68a0836976fc6e4c74688c5ab8822e7"
    "97ced3d8a827428cfd979c09d60a98ba734b02a45358255081c266fd793ae838bf1fd74e73218a76a4651d84fba00e"
    "b24cd35927f9c5cbd698290144a75909d155f604b2252051f21999819b0205716d3d", 16), int(
    "d26e351b46528f52f2b3d74426ac8004fa74d67162c53893793820672b3ba62b9ec338574eb2c464a23e44043273e3"
    "a1924f7047b344dfa0109980f8669b664261ba31a7ff2d9c6427d919187affe8a8805856653d5ed0d251dc991dc0e4"
    "5e99f57b17dbf57277620a4e4ef6c0c48b04316b9279131de9fcd2a3a7b6d06e5a29", 16))

KEYS = {
    "edge-exponent1": (P_SHORT_EXPONENT, P_PLAIN),
    "edge-exponent2": (P_PLAIN, P_SHORT_EXPONENT),
    "edge-coefficient": P_COEFFICIENT,
    "edge-private-exponent": P_PRIVATE_EXPONENT,
}


def der_length(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def der_integer(value):
    body = value.to_bytes(value.bit_length() // 8 + 1, "big")  # room for the sign bit
    return b"\x02" + der_length(len(body)) + body


def rsa_private_key(p, q):
    n = p * q
    d = pow(E, -1, (p - 1) * (q - 1) // math.gcd(p - 1, q - 1))
    fields = (0, n, E, d, p, q, d % (p - 1), d % (q - 1), pow(q, -1, p))
    body = b"".join(der_integer(v) for v in fields)
    return b"\x30" + der_length(len(body)) + body


def main(folder):
    for name, (p, q) in KEYS.items():
        with open(os.path.join(folder, name + ".der"), "wb") as f:
            f.write(rsa_private_key(p, q))
        print(name + ".der")


if __name__ == "__main__":
    main(sys.argv[1])
