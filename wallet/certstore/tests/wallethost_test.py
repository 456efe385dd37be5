#!/usr/bin/python3
"""certwallet.dll driven through wallethost.exe under Wine, against the Wine
user's real certificate store and crypto provider, cross-checked with OpenSSL.

Usage: wallethost_test.py HOST_DIR WORK_DIR [unittest arguments]
HOST_DIR holds wallethost.exe, certwallet.dll, vlxcore11.dll and certsetup.exe.
"""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "..", "scripts", "wine-run")
ENHANCED = "Microsoft Enhanced Cryptographic Provider v1.0"
OTHER_PROVIDER = "Microsoft Strong Cryptographic Provider"

ERR_GENERIC = 28750
ERR_NO_MEMORY = 28751
ERR_BAD_ARGUMENT = 28771
ERR_UNSUPPORTED = 28841
ERR_CERT_EXPIRED = 29227
ERR_NULL_INPUT = 0x81010001

HOST_DIR = WORK = None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def fixture(name):
    return os.path.join(WORK, name)


def read(name):
    with open(fixture(name), "rb") as f:
        return f.read()


def write(name, data):
    with open(fixture(name), "wb") as f:
        f.write(data)
    return windows_path(fixture(name))


def wine(program, *arguments):
    return subprocess.run([WINE_RUN, os.path.join(HOST_DIR, program), *arguments],
                          capture_output=True, text=True, check=False)


def setup(*arguments):
    done = wine("certsetup.exe", *arguments)
    if done.returncode != 0:
        raise AssertionError("certsetup %s: %s" % (" ".join(arguments), done.stderr))
    return done.stdout.split()


def openssl(*arguments, data=None):
    return subprocess.run(["openssl", *arguments], input=data, capture_output=True, check=False)


def sha1(name):
    out = openssl("x509", "-inform", "DER", "-in", fixture(name + ".der"), "-noout",
                  "-fingerprint", "-sha1").stdout.decode()
    return out.split("=")[1].strip().replace(":", "").lower()


def reset_stores(keyed=(), other_provider=(), root=(), ca=()):
    """Empties the user's stores and fills them with the named fixtures."""
    for store in ("MY", "Root", "CA"):
        setup("clear", store)
    for name in keyed:
        setup("import-key", windows_path(fixture(name + ".der")),
              windows_path(fixture(name + ".key")), "wallet-test-" + name, ENHANCED)
    for name in other_provider:
        setup("import-key", windows_path(fixture(name + ".der")),
              windows_path(fixture(name + ".key")), "wallet-test-" + name, OTHER_PROVIDER)
    for store, names in (("Root", root), ("CA", ca)):
        for name in names:
            setup("add", store, windows_path(fixture(name + ".der")))


def in_my(name):
    return sha1(name) in setup("list", "MY")


class Step:
    def __init__(self, line):
        self.operation, *words = line.split()
        self.code = None
        if words and "=" not in words[0]:
            code = words.pop(0)
            self.code = int(code) if code.isdigit() else code
        self.fields = dict(w.split("=", 1) for w in words)

    def bytes(self):
        return bytes.fromhex(self.fields["bytes"])

    def __getitem__(self, key):
        return self.fields[key]


def host(*steps, server_flag=0, options=()):
    """Runs wallethost with certwallet and returns its steps after registration."""
    done = wine("wallethost.exe", "--server-flag", str(server_flag), *options,
                os.path.join(HOST_DIR, "certwallet.dll"), *steps)
    if done.returncode != 0:
        raise AssertionError("wallethost failed: %s" % done.stderr)
    lines = [Step(line) for line in done.stdout.splitlines() if line.strip()]
    assert lines[0].operation == "register", done.stdout
    return lines


def codes(steps):
    return [(s.operation, s.code) for s in steps]


class ContractTest(unittest.TestCase):
    def test_registration_with_a_null_record_is_refused(self):
        self.assertEqual(codes(host(options=["--null-registration"])),
                         [("register", ERR_BAD_ARGUMENT)])

    def test_fixed_slots(self):
        self.assertEqual(codes(host("init", "reserved3", "reserved8", "certinfo")[1:]),
                         [("init", 0), ("reserved3", ERR_UNSUPPORTED), ("reserved8", 0),
                          ("certinfo", "absent")])


class LoginTest(unittest.TestCase):
    def test_login_creates_a_missing_default_key_container(self):
        setup("default-container", "drop")
        self.assertNotEqual(wine("certsetup.exe", "default-container", "check").returncode, 0)
        self.assertEqual(codes(host("login", "logout")[1:]), [("login", 0), ("logout", 0)])
        setup("default-container", "check")


class EnumerationTest(unittest.TestCase):
    def test_empty_store_offers_nothing(self):
        reset_stores()
        steps = host("login", "keypaircount", "keypair", "trustpoints", "trustpointcount",
                     "logout")[1:]
        self.assertEqual(codes(steps), [("login", 0), ("keypaircount", 0), ("keypair", ERR_GENERIC),
                                        ("trustpoints", ERR_GENERIC), ("trustpointcount", 0),
                                        ("logout", 0)])
        self.assertEqual(steps[1]["count"], "0")

    def test_lists_are_empty_until_enumerated(self):
        reset_stores(keyed=["user1"], root=["caA"])
        steps = host("login", "trustpointcount", "keypair", "trustpoints", "logout")[1:]
        self.assertEqual(codes(steps)[1:4], [("trustpointcount", 0), ("keypair", ERR_GENERIC),
                                             ("trustpoints", ERR_GENERIC)])

    def test_key_in_another_provider_is_no_key_pair_and_brings_no_trustpoint(self):
        reset_stores(other_provider=["other"], root=["caA"])
        steps = host("login", "keypaircount", "trustpointcount", "keypair", "logout")[1:]
        self.assertEqual(steps[1]["count"], "0")
        self.assertEqual(steps[2]["count"], "0")
        self.assertEqual(steps[3].code, ERR_GENERIC)

    def test_self_signed_key_pair_brings_no_trustpoint(self):
        reset_stores(keyed=["self"])
        steps = host("login", "keypaircount", "trustpointcount", "keypair", "logout")[1:]
        self.assertEqual(steps[1]["count"], "1")
        self.assertEqual(steps[2]["count"], "0")
        self.assertEqual(steps[3].bytes(), read("self.der"))

    def test_two_key_pairs_first_handed_out_issuers_in_discovery_order(self):
        reset_stores(keyed=["user1", "user2", "self"], other_provider=["other"], root=["caA"],
                     ca=["caB"])
        issuers = {"user1": "caA", "user2": "caB", "self": None}
        order = setup("list", "MY")
        in_store_order = sorted(issuers, key=lambda name: order.index(sha1(name)))
        expected_trustpoints = [read(issuers[n] + ".der") for n in in_store_order if issuers[n]]

        steps = host("login", "keypaircount", "keypair", "keypaircount", "keypair",
                     "trustpointcount", "trustpoints", "trustpointcount", "trustpoints",
                     "trustpointcount", "trustpoints", "logout")[1:]
        # A second enumeration replaces the lists rather than adding to them.
        del steps[3]
        self.assertEqual(steps[1]["count"], "3")
        first = read(in_store_order[0] + ".der")
        for handed in steps[2:4]:
            self.assertEqual(handed.code, 0)
            self.assertEqual(handed.bytes(), first)
            self.assertEqual(handed["keysize"], "20")
        self.assertEqual([s["count"] for s in (steps[4], steps[6], steps[8])], ["2", "1", "0"])
        self.assertEqual([steps[5].bytes(), steps[7].bytes()], expected_trustpoints)
        self.assertEqual(steps[9].code, ERR_GENERIC)


class KeyOperationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reset_stores(keyed=["user1"], root=["caA"])

    def run_with_key(self, *steps):
        result = host("login", "keypaircount", "keypair", *steps, "logout")[1:]
        self.assertEqual(result[2].code, 0)
        return result[3:-1]

    def test_signature_verifies_with_openssl_once_reversed(self):
        hash36 = write("hash36.bin", os.urandom(36))
        signed, short, unbuffered = self.run_with_key("sign=%s" % hash36, "sign=%s,255" % hash36,
                                                      "sign=%s,0" % hash36)
        self.assertEqual(signed.code, 0)
        self.assertEqual(signed["length"], "256")
        write("signature.be", signed.bytes()[::-1])
        check = openssl("pkeyutl", "-verify", "-pubin", "-inkey", fixture("user1.pub"), "-in",
                        fixture("hash36.bin"), "-sigfile", fixture("signature.be"), "-pkeyopt",
                        "rsa_padding_mode:pkcs1")
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertEqual(short.code, ERR_GENERIC)
        # Without a buffer the host would get a size and no signature.
        self.assertEqual(unbuffered.code, ERR_BAD_ARGUMENT)

    def test_decrypts_openssl_ciphertext_within_capacity_only(self):
        plain = os.urandom(48)
        write("plain48.bin", plain)
        encrypted = openssl("pkeyutl", "-encrypt", "-pubin", "-inkey", fixture("user1.pub"),
                            "-in", fixture("plain48.bin"), "-pkeyopt", "rsa_padding_mode:pkcs1")
        self.assertEqual(encrypted.returncode, 0)
        cipher = write("cipher48.bin", encrypted.stdout)
        exact, short = self.run_with_key("decrypt=%s,48" % cipher, "decrypt=%s,47" % cipher)
        self.assertEqual(exact.code, 0)
        self.assertEqual(exact.bytes(), plain)
        self.assertEqual(exact["capacity"], "48")
        self.assertEqual(short.code, ERR_GENERIC)
        self.assertEqual(short.bytes(), b"\xcc" * 47)


class PeerOperationTest(unittest.TestCase):
    def setUp(self):
        reset_stores(root=["caA"])

    def test_encrypt_output_decrypts_with_openssl_and_leaves_no_trace(self):
        data = write("data40.bin", os.urandom(40))
        peer = windows_path(fixture("peer.der"))
        encrypted, too_long = host("encrypt=%s,%s,256" % (peer, data),
                                   "encrypt=%s,%s,39" % (peer, data))[1:]
        self.assertEqual(encrypted.code, 0)
        self.assertEqual(encrypted["length"], "256")
        write("encrypted.bin", encrypted.bytes())
        plain = openssl("pkeyutl", "-decrypt", "-inkey", fixture("peer.pem"), "-in",
                        fixture("encrypted.bin"), "-pkeyopt", "rsa_padding_mode:pkcs1")
        self.assertEqual(plain.stdout, read("data40.bin"))
        self.assertEqual(too_long.code, ERR_NO_MEMORY)
        self.assertEqual(too_long.bytes(), b"\xcc" * 39)
        self.assertFalse(in_my("peer"))

    def test_encrypt_keeps_a_peer_that_was_in_the_store(self):
        setup("add", "MY", windows_path(fixture("peer.der")))
        data = write("data8.bin", b"8 bytes!")
        self.assertEqual(host("encrypt=%s,%s,256" % (windows_path(fixture("peer.der")), data))[1].code, 0)
        self.assertTrue(in_my("peer"))

    def test_verify_accepts_reversed_openssl_signature_only(self):
        write("hash36.bin", os.urandom(36))
        signed = openssl("pkeyutl", "-sign", "-inkey", fixture("peer.pem"), "-in",
                         fixture("hash36.bin"), "-pkeyopt", "rsa_padding_mode:pkcs1")
        self.assertEqual(signed.returncode, 0)
        little = write("peer-signature.le", signed.stdout[::-1])
        big = write("peer-signature.be", signed.stdout)
        peer, hash36 = windows_path(fixture("peer.der")), windows_path(fixture("hash36.bin"))
        steps = host("verify=%s,%s,%s" % (peer, hash36, little),
                     "verify=%s,%s,%s" % (peer, hash36, big))[1:]
        self.assertEqual(codes(steps), [("verify", 0), ("verify", ERR_GENERIC)])
        self.assertFalse(in_my("peer"))


class ValidateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # caA is trusted; caB is in no store, so its certificates make partial chains.
        reset_stores(root=["caA"])

    def validate(self, *names):
        steps = ["validate=%s" % windows_path(fixture(n + ".der")) for n in names]
        return [s.code for s in host(*steps)[1:]]

    def test_acceptable_chains_pass_the_policy(self):
        # Trusted chain (status 0) and partial chain (0x10000, which Wine's SSL
        # policy accepts).
        self.assertEqual(self.validate("peer", "peerB"), [0, 0])

    def test_rejected_chains(self):
        # Expired (0x1), untrusted root (0x20), expired and partial (0x10001).
        self.assertEqual(self.validate("expired", "untrusted", "expiredB"),
                         [ERR_CERT_EXPIRED, ERR_GENERIC, ERR_GENERIC])

    def test_null_certificate_record(self):
        self.assertEqual([s.code for s in host("validate")[1:]], [ERR_NULL_INPUT])

    def test_a_validated_certificate_stays_in_the_store(self):
        self.assertFalse(in_my("peerB"))
        self.validate("peerB")
        self.assertTrue(in_my("peerB"))


class MemoryRuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reset_stores(keyed=["user1"], root=["caA"])

    # The key record from the first enumeration signs after a second one.
    def script(self):
        hash36 = write("hash36.bin", os.urandom(36))
        return ("login", "keypaircount", "keypair", "keypaircount", "sign=" + hash36,
                "trustpoints", "logout", "memory")

    def test_server_flag_on_uses_the_host_allocator_for_every_block(self):
        steps = host(*self.script(), server_flag=1)
        self.assertEqual(steps[5].code, 0)
        memory = steps[-1]
        # Wallet record and name; per enumeration a key pair with certificate
        # and two names and a trust point with certificate; the three copies
        # handed out. Nothing is released twice (that would count as foreign).
        self.assertGreaterEqual(int(memory["allocated"]), 14)
        self.assertEqual(memory["released"], memory["allocated"])
        self.assertEqual(memory["foreign"], "0")

    def test_server_flag_off_leaves_the_host_allocator_alone(self):
        memory = host(*self.script(), server_flag=0)[-1]
        self.assertEqual((memory["allocated"], memory["released"]), ("0", "0"))


DOCUMENTED = {0, 28750, 28751, 28764, 28771, 28841, 28849, 28868, 28890, 29227, 0x80010000,
              0x81010001, 0x81010003, 0x81010004}


def sweep_runs(lines):
    """Splits a --sweep-allocations run into its runs: lists of steps."""
    runs = []
    for line in lines:
        if line.operation == "sweep":
            runs.append([])
        elif runs:
            runs[-1].append(line)
    return runs


def assert_sweep_clean(test, runs):
    """Every run answers documented codes and gives back all it took."""
    for number, run in enumerate(runs, 1):
        first, last = run[0], run[-1]
        test.assertEqual((first.operation, last.operation), ("memory", "memory"), number)
        for step in run[1:-1]:
            test.assertIn(step.code, DOCUMENTED, "run %d: %s" % (number, step.operation))
        taken = int(last["allocated"]) - int(first["allocated"])
        given_back = int(last["released"]) - int(first["released"])
        test.assertEqual((taken, last["foreign"]), (given_back, "0"), "run %d" % number)


class AllocationFailureTest(unittest.TestCase):
    def test_every_failed_allocation_of_a_whole_session(self):
        reset_stores(keyed=["user1"], root=["caA"])
        hash36 = write("hash36.bin", os.urandom(36))
        write("plain48.bin", os.urandom(48))
        cipher = write("cipher48.bin", openssl(
            "pkeyutl", "-encrypt", "-pubin", "-inkey", fixture("user1.pub"), "-in",
            fixture("plain48.bin"), "-pkeyopt", "rsa_padding_mode:pkcs1").stdout)
        signed = openssl("pkeyutl", "-sign", "-inkey", fixture("peer.pem"), "-in",
                         fixture("hash36.bin"), "-pkeyopt", "rsa_padding_mode:pkcs1").stdout
        signature = write("peer-signature.le", signed[::-1])
        peer = windows_path(fixture("peer.der"))
        runs = sweep_runs(host(
            "memory", "login", "keypaircount", "keypair", "trustpoints", "sign=" + hash36,
            "decrypt=%s,48" % cipher, "encrypt=%s,%s,256" % (peer, hash36),
            "verify=%s,%s,%s" % (peer, hash36, signature), "validate=" + peer, "logout", "memory",
            server_flag=1, options=["--sweep-allocations"]))
        self.assertGreater(len(runs), 10)
        assert_sweep_clean(self, runs)
        # A failure while walking the store is a failure, never a store without key pairs.
        for number, run in enumerate(runs, 1):
            walk = run[2]
            self.assertTrue(walk.code != 0 or walk["count"] == "1", "run %d" % number)
        # The last run met no failure: the whole session worked.
        self.assertEqual([s.code for s in runs[-1][1:-1]], [0] * 10)


def setUpModule():
    subprocess.run(["sh", os.path.join(HERE, "make_fixtures.sh"), WORK], check=True,
                   capture_output=True)


def tearDownModule():
    for store in ("MY", "Root", "CA"):
        setup("clear", store)


if __name__ == "__main__":
    HOST_DIR, WORK = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2)
