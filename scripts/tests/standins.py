"""Stand-in commands for testing the shell scripts without the network, root
or a running Wine: each records its calls in one log and behaves as a file
of the test tells it. The scripts under test get a PATH of the stand-ins and
links to a few harmless real tools, never the real apt-get, sudo or Wine."""

import os
import shutil
import stat
import subprocess
import tempfile
import unittest

SCRIPTS = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))

REAL_TOOLS = ["cat", "dirname", "env", "grep", "mkdir", "mktemp", "rm", "sed", "tail", "touch"]

# Answers a stand-in takes one per call from a file of its own; an empty
# file means success from then on. `answer` sets $code.
NEXT_ANSWER = """next_answer() {
  code=0
  if [ -s "$STATE/$1" ]; then
    code=$(sed -n 1p "$STATE/$1")
    sed -i 1d "$STATE/$1"
  fi
}
"""


class StandInCase(unittest.TestCase):

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="standins-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.bin = os.path.join(self.root, "bin")
        self.state = os.path.join(self.root, "state")
        os.makedirs(self.bin)
        os.makedirs(self.state)
        for tool in REAL_TOOLS:
            os.symlink(shutil.which(tool, path="/usr/bin:/bin"), os.path.join(self.bin, tool))
        self.calls_log = os.path.join(self.state, "calls")
        open(self.calls_log, "w").close()

    def stand_in(self, name, body):
        """A stand-in `name` that logs its arguments, then runs `body`."""
        path = os.path.join(self.bin, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\nSTATE='%s'\n%s" % (self.state, NEXT_ANSWER))
            f.write('echo "%s $*" >>"$STATE/calls"\n' % name)
            f.write(body)
        os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)

    def answers(self, name, codes):
        """The exit codes the next calls of one stand-in give, in order."""
        with open(os.path.join(self.state, name), "w") as f:
            f.write("".join("%d\n" % code for code in codes))

    def run_script(self, name, *args, env=None):
        environment = {"PATH": self.bin, "HOME": self.root}
        environment.update(env or {})
        return subprocess.run(["/bin/sh", os.path.join(SCRIPTS, name), *args], env=environment,
                              capture_output=True, text=True, timeout=60)

    def calls(self, prefix=""):
        with open(self.calls_log) as f:
            return [line.rstrip("\n") for line in f if line.startswith(prefix)]
