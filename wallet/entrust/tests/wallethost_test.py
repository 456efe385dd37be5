#!/usr/bin/python3
"""kmpwallet.dll driven through wallethost.exe under Wine, over the key-management
stand-in and profiles made by OpenSSL; signatures checked by OpenSSL, the trace
file read back.

Usage: wallethost_test.py HOST_DIR FIXTURE_DIR [unittest arguments]
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "..", "scripts", "wine-run")

ERR_LOGIN = 28890
ERR_ENTRUST = 0x80010000
ERR_NULL_INPUT = 0x81010001
WRONG_PASSWORD_LINE = ('nztwveDoLogin: Entrust function "IKMPLogin" failed with '
                       '"The password is incorrect." (error code -2005).')

HOST_DIR = FIXTURES = None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def fixture(name):
    return os.path.join(FIXTURES, name)


def fixture_arg(name):
    return windows_path(fixture(name))


def locator():
    return "entr:%s::%s::" % (fixture_arg("user.p12"), fixture_arg("profile.ini"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Session:
    """One wallethost run with its own trace file."""

    def __init__(self, test, *options):
        handle, self.trace_path = tempfile.mkstemp(suffix=".trc")
        os.close(handle)
        os.unlink(self.trace_path)
        test.addCleanup(lambda: os.path.exists(self.trace_path) and os.unlink(self.trace_path))
        self.options = ["--register", "nztwveapi", "--borrowed-results",
                        "--trace", windows_path(self.trace_path), *options]

    def lines(self, *steps):
        done = subprocess.run([WINE_RUN, os.path.join(HOST_DIR, "wallethost.exe"),
                               *self.options, os.path.join(HOST_DIR, "kmpwallet.dll"), *steps],
                              capture_output=True, text=True, check=False)
        if done.returncode != 0:
            raise AssertionError("wallethost failed (%d): %s" % (done.returncode, done.stderr))
        return done.stdout.splitlines()

    def run(self, *steps):
        results = {}
        for line in self.lines(*steps):
            name, _, rest = line.partition(" ")
            results.setdefault(name, []).append(rest)
        return results

    def trace(self):
        if not os.path.exists(self.trace_path):
            return []
        with open(self.trace_path, "r", encoding="latin-1") as f:
            return f.read().splitlines()


def code(result):
    return int(result.split()[0])


def field(result, name):
    for word in result.split()[1:]:
        key, _, value = word.partition("=")
        if key == name:
            return value
    raise AssertionError("no %s in %r" % (name, result))


class WholeSession(unittest.TestCase):
    def test_certificates_signature_decryption_and_validation(self):
        session = Session(self)
        out = session.run("login=%s,profile-pass" % locator(), "keypaircount", "trustpointcount",
                          "keypair", "trustpoints", "sign=" + fixture_arg("digest36.bin"),
                          "decrypt=%s,256" % fixture_arg("secret.enc"),
                          "validate=" + fixture_arg("user.der"),
                          "validate=" + fixture_arg("expired.der"),
                          "validate=" + fixture_arg("foreign.der"), "validate", "logout")
        self.assertEqual(code(out["login"][0]), 0)
        self.assertEqual(field(out["keypaircount"][0], "count"), "1")
        self.assertEqual(field(out["trustpointcount"][0], "count"), "1")
        self.assertEqual(bytes.fromhex(field(out["keypair"][0], "bytes")), read(fixture("user.der")))
        self.assertEqual(field(out["keypair"][0], "keysize"), "8")
        self.assertEqual(bytes.fromhex(field(out["trustpoints"][0], "bytes")),
                         read(fixture("trust.der")))

        signature = bytes.fromhex(field(out["sign"][0], "bytes"))
        self.assertEqual(len(signature), 256)
        with tempfile.NamedTemporaryFile(suffix=".sig") as sig:
            sig.write(signature)
            sig.flush()
            verified = subprocess.run(
                ["openssl", "pkeyutl", "-verify", "-certin", "-inkey", fixture("user.pem"),
                 "-in", fixture("digest36.bin"), "-sigfile", sig.name,
                 "-pkeyopt", "rsa_padding_mode:pkcs1"], capture_output=True, check=False)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)

        secret = read(fixture("secret.bin"))
        decrypted = bytes.fromhex(field(out["decrypt"][0], "bytes"))
        self.assertEqual(decrypted[:len(secret)], secret)
        self.assertEqual(decrypted[len(secret):], b"\xcc" * (256 - len(secret)))
        self.assertEqual(field(out["decrypt"][0], "capacity"), str(len(secret)))

        self.assertEqual([code(r) for r in out["validate"]],
                         [0, ERR_ENTRUST, ERR_ENTRUST, ERR_NULL_INPUT])
        self.assertEqual(code(out["logout"][0]), 0)

        trace = session.trace()
        for name in ("nztwvelogin", "nztwveapi_GetKeyPair", "nztwveapi_GetTrustpoints",
                     "nztwveSign", "nztwveDecrypt", "nztwveValidate", "nztwvelogout"):
            self.assertIn(name + ": entry", trace)
            self.assertIn(name + ": exit", trace)
        self.assertIn("nztwveValidate: failed with error %d" % (ERR_NULL_INPUT - 2**32), trace)

    def test_memory_rule_with_the_server_flag(self):
        out = Session(self, "--server-flag", "1").run("memory", "login=%s,profile-pass" % locator(),
                                                     "keypair", "logout", "memory")
        before, after = (dict(word.split("=") for word in line.split()) for line in out["memory"])
        self.assertEqual(int(after["allocated"]) - int(before["allocated"]), 1)
        self.assertEqual(int(after["released"]) - int(before["released"]), 1)
        self.assertEqual(after["foreign"], "0")


class AllocationFailures(unittest.TestCase):
    DOCUMENTED = {0, 28750, 28751, 28764, 28771, 28841, 28849, 28868, 28890, 29227, 0x80010000,
                  0x81010001, 0x81010003, 0x81010004}

    def test_every_failed_allocation_of_a_whole_session(self):
        session = Session(self, "--server-flag", "1", "--sweep-allocations")
        runs = []
        for line in session.lines("memory", "login=%s,profile-pass" % locator(), "keypair",
                                  "trustpoints", "sign=" + fixture_arg("digest36.bin"),
                                  "decrypt=%s,256" % fixture_arg("secret.enc"),
                                  "validate=" + fixture_arg("user.der"), "logout", "memory"):
            name, _, rest = line.partition(" ")
            if name == "sweep":
                runs.append([])
            elif runs:
                runs[-1].append((name, rest))
        # The login record and the two blocks of a validation's certificate copy.
        self.assertEqual(len(runs), 4)
        for number, run in enumerate(runs, 1):
            (_, before), *steps, (_, after) = run
            for name, rest in steps:
                self.assertIn(code(rest), self.DOCUMENTED, "run %d: %s" % (number, name))
            before, after = (dict(w.split("=") for w in r.split()) for r in (before, after))
            self.assertEqual(int(after["allocated"]) - int(before["allocated"]),
                             int(after["released"]) - int(before["released"]), number)
        self.assertEqual(code(runs[0][1][1]), ERR_LOGIN)
        self.assertEqual([code(rest) for _, rest in runs[-1][1:-1]], [0] * 7)


class Login(unittest.TestCase):
    def test_wrong_password_traces_only_the_entrust_message_at_level_one(self):
        session = Session(self, "--trace-level", "1")
        out = session.run("login=%s,not-the-password" % locator())
        self.assertEqual(code(out["login"][0]), ERR_LOGIN)
        self.assertEqual(session.trace(), [WRONG_PASSWORD_LINE])

    def test_password_from_the_host_parameters(self):
        handle, parameters = tempfile.mkstemp(suffix=".ora")
        os.write(handle, b"ssl_entrust_password = profile-pass\n")
        os.close(handle)
        self.addCleanup(os.unlink, parameters)
        session = Session(self, "--parameters", windows_path(parameters), "--trace-level", "4")
        out = session.run("login=" + locator(), "logout")
        self.assertEqual(code(out["login"][0]), 0)
        self.assertIn('nztwveGetStringParameter: found value for "ssl_entrust_password" '
                      'configuration parameter', session.trace())

    def test_no_trace_context_means_no_trace(self):
        session = Session(self)
        session.options.remove("--trace")
        session.options.remove(windows_path(session.trace_path))
        out = session.run("login=%s,not-the-password" % locator())
        self.assertEqual(code(out["login"][0]), ERR_LOGIN)
        self.assertFalse(os.path.exists(session.trace_path))


class DiagnosticPath(unittest.TestCase):
    def diagnostic_session(self, host_flags):
        session = Session(self, "--trace-flags", str(0x40 | 0x08), "--diagnostic-level", "6",
                          "--host-flags", str(host_flags))
        out = session.run("login=%s,not-the-password" % locator())
        self.assertEqual(code(out["login"][0]), ERR_LOGIN)
        return session.trace()

    def test_direct_context(self):
        trace = self.diagnostic_session(2)
        self.assertIn("diag level=6 mask=0x0000000000000004 nztwvelogin: entry", trace)
        self.assertIn("diag level=1 mask=0x0000000000000006 " + WRONG_PASSWORD_LINE, trace)
        self.assertTrue(all(line.startswith("diag ") for line in trace))

    def test_context_made_under_the_hosts_key(self):
        trace = self.diagnostic_session(1)
        self.assertIn("diag level=6 mask=0x0000000000000004 nztwvelogin: entry", trace)


if __name__ == "__main__":
    HOST_DIR, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
