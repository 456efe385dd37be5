"""with-wine against a stand-in Wine whose server may already be running,
refuse to stop, or never make the prefix."""

import os
import unittest

from standins import StandInCase

# One server per prefix, as the real one: priming a second one answers 2.
WINESERVER = r"""
case "$1" in
  -p) [ -e "$STATE/running" ] && exit 2
      touch "$STATE/running" ;;
  -k) next_answer kill
      [ "$code" -eq 0 ] && rm -f "$STATE/running"
      exit "$code" ;;
esac
exit 0
"""

WINEBOOT = r"""
next_answer wineboot
[ "$code" -eq 0 ] && echo "#arch=$WINEARCH" >"$WINEPREFIX/system.reg"
exit "$code"
"""


class WithWine(StandInCase):

    def setUp(self):
        super().setUp()
        self.prefix = os.path.join(self.root, "prefix")
        os.makedirs(self.prefix)
        open(os.path.join(self.prefix, "system.reg"), "w").close()
        self.stand_in("wineserver", WINESERVER)
        self.stand_in("wineboot", WINEBOOT)
        self.stand_in("wine", "")
        self.stand_in("tests", 'next_answer tests\nexit "$code"\n')

    def with_wine(self, *command):
        return self.run_script("with-wine", *command, env={"WINEPREFIX": self.prefix})

    def server_left_running(self):
        open(os.path.join(self.state, "running"), "w").close()

    def wine_steps(self):
        """Every call, as its command and first word."""
        return [" ".join(call.split()[:2]) for call in self.calls()]

    def test_in_a_ready_prefix_the_command_runs_between_priming_and_stopping(self):
        self.answers("tests", [3])
        run = self.with_wine("tests", "-j", "2")
        self.assertEqual(run.returncode, 3)
        self.assertEqual(self.wine_steps(), ["wineserver -p", "wine wineboot", "wine reg",
                                             "tests -j", "wineserver -k"])
        self.assertEqual(run.stderr, "")

    def test_a_server_left_running_is_stopped_and_the_run_goes_on(self):
        self.server_left_running()
        run = self.with_wine("tests")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.wine_steps()[:5], ["wineserver -p", "wineserver -k", "wineserver -w",
                                                 "wineserver -p", "wine wineboot"])
        self.assertIn("tests ", self.calls())
        self.assertIn("already running for %s; stopping it" % self.prefix, run.stderr)

    def test_a_server_that_will_not_stop_ends_the_run_saying_so(self):
        self.server_left_running()
        self.answers("kill", [1, 1])
        run = self.with_wine("tests")
        self.assertEqual(run.returncode, 1)
        self.assertEqual(self.calls("tests"), [])
        self.assertIn("did not stop", run.stderr)
        self.assertIn("giving up", run.stderr)

    def test_a_new_prefix_is_a_64_bit_one(self):
        os.remove(os.path.join(self.prefix, "system.reg"))
        run = self.with_wine("tests")
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(self.prefix, "system.reg")) as registry:
            self.assertEqual(registry.read(), "#arch=win64\n")
        self.assertIn("tests ", self.calls())

    def test_a_32_bit_prefix_ends_the_run_saying_so(self):
        with open(os.path.join(self.prefix, "system.reg"), "w") as registry:
            registry.write("WINE REGISTRY Version 2\n\n#arch=win32\n")
        run = self.with_wine("tests")
        self.assertEqual(run.returncode, 1)
        self.assertEqual(self.calls("tests"), [])
        self.assertIn("is a 32-bit prefix", run.stderr)

    def test_a_prefix_that_cannot_be_made_ends_the_run_saying_so(self):
        os.remove(os.path.join(self.prefix, "system.reg"))
        self.answers("wineboot", [1])
        run = self.with_wine("tests")
        self.assertEqual(run.returncode, 1)
        self.assertEqual(self.calls("tests"), [])
        self.assertEqual(self.calls("wineserver -p"), [])
        self.assertIn("wineboot -i left no registry in %s" % self.prefix, run.stderr)


if __name__ == "__main__":
    unittest.main()
