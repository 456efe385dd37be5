"""install-deps.sh against stand-in package tools that fail the ways a mirror
in mid-sync makes the real ones fail."""

import os
import unittest

from standins import StandInCase

MIRROR_SYNC_ERRORS = r"""
echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (114736 != 114728). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
"""
UNRESOLVABLE_ERRORS = r"""
echo "The following packages have unmet dependencies:"
echo " libssl3:i386 : Depends: libssl3 (= 3.0.15-1~deb12u1) but 3.0.17-1~deb12u2 is to be installed"
echo "E: Unable to correct problems, you have held broken packages." >&2
"""

APT_GET = r"""
case "$1" in
  update)
    next_answer update
    [ "$code" -eq 0 ] || { %s }
    ;;
  install)
    echo "${DEBIAN_FRONTEND:-unset}" >>"$STATE/frontends"
    next_answer install
    [ "$code" -eq 0 ] || { %s }
    ;;
esac
exit "$code"
""" % (MIRROR_SYNC_ERRORS, UNRESOLVABLE_ERRORS)

DPKG_QUERY = r"""
for word; do package=$word; done
grep -qx -- "$package" "$STATE/missing" && exit 1
printf 'install ok installed'
"""

DPKG = r"""
[ "$1" = --print-foreign-architectures ] && cat "$STATE/foreign"
exit 0
"""

# Like the real one it resets the environment of what it runs.
SUDO = 'exec env -i PATH="$PATH" "$@"\n'


def main_release():
    with open("/etc/os-release") as f:
        for line in f:
            if line.startswith("VERSION_CODENAME="):
                return line.split("=", 1)[1].strip().strip('"')
    return ""


class InstallDeps(StandInCase):

    def setUp(self):
        super().setUp()
        self.stand_in("apt-get", APT_GET)
        self.stand_in("dpkg-query", DPKG_QUERY)
        self.stand_in("dpkg", DPKG)
        self.stand_in("sudo", SUDO)
        self.stand_in("id", 'cat "$STATE/uid"\n')
        self.stand_in("sleep", "")
        self.given("uid", "1000")
        self.given("foreign", "i386")
        self.given("missing", "wine32:i386\nxvfb")

    def given(self, name, text):
        with open(os.path.join(self.state, name), "w") as f:
            f.write(text + "\n")

    def install(self):
        return self.run_script("install-deps.sh")

    def apt_calls(self):
        """apt-get's own calls, wherever sudo sent them from."""
        return self.calls("apt-get ")

    def installs(self):
        return [call.split() for call in self.calls("apt-get install")]

    def frontends(self):
        with open(os.path.join(self.state, "frontends")) as f:
            return f.read().split()

    def test_with_everything_installed_it_asks_apt_nothing(self):
        self.given("missing", "")
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, "")
        self.assertEqual(self.apt_calls(), [])
        self.assertEqual(self.calls("sudo"), [])

    def test_a_failing_update_is_retried_after_a_pause(self):
        self.answers("update", [100, 100, 0])
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        steps = [call.split()[:2] for call in self.calls() if call.split()[0] in ("apt-get", "sleep")]
        self.assertEqual(steps, [["apt-get", "update"], ["sleep", "20"]] * 2 +
                         [["apt-get", "update"], ["apt-get", "install"]])
        self.assertIn("Mirror sync in progress?", run.stderr)
        self.assertIn("try 2 of 3", run.stderr)

    def test_an_update_that_keeps_failing_does_not_stop_the_install(self):
        self.answers("update", [100, 100, 100, 100])
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(len(self.calls("apt-get update")), 3)
        self.assertEqual(len(self.installs()), 1)
        self.assertIn("still fails after 3 tries; going on", run.stderr)
        self.assertIn("Some index files failed to download", run.stderr)

    def test_an_unresolvable_install_is_tried_again_with_the_main_release_as_target(self):
        self.answers("install", [100, 0])
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        first, second = self.installs()
        self.assertNotIn("-t", first)
        self.assertEqual(second[second.index("-t") + 1], main_release())
        for attempt in (first, second):
            self.assertEqual(attempt[-2:], ["wine32:i386", "xvfb"])
        self.assertIn("held broken packages", run.stderr)

    def test_when_both_installs_fail_it_says_what_it_tried_and_why(self):
        self.answers("install", [100, 100])
        run = self.install()
        self.assertNotEqual(run.returncode, 0)
        self.assertEqual(len(self.installs()), 2)
        release = main_release()
        self.assertIn("apt-get install failed:", run.stderr)
        self.assertIn("apt-get install -t %s failed as well:" % release, run.stderr)
        self.assertEqual(run.stderr.count("you have held broken packages"), 2)
        self.assertIn("gave up", run.stderr)

    def test_as_a_user_every_change_goes_through_sudo_without_questions(self):
        self.given("foreign", "")
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual([call.split()[1] for call in self.calls("sudo")], ["dpkg", "apt-get", "env"])
        self.assertIn("dpkg --add-architecture i386", self.calls("dpkg "))
        self.assertEqual(self.frontends(), ["noninteractive"])

    def test_as_root_it_needs_no_sudo(self):
        self.given("uid", "0")
        os.remove(os.path.join(self.bin, "sudo"))
        run = self.install()
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(len(self.installs()), 1)
        self.assertEqual(self.frontends(), ["noninteractive"])

    def test_a_user_without_sudo_is_told_what_is_missing_and_what_it_takes(self):
        os.remove(os.path.join(self.bin, "sudo"))
        run = self.install()
        self.assertEqual(run.returncode, 1)
        self.assertEqual(self.apt_calls(), [])
        self.assertIn("missing: wine32:i386 xvfb", run.stderr)
        self.assertIn("root or sudo", run.stderr)


if __name__ == "__main__":
    unittest.main()
