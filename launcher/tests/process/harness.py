"""Process-level test harness for kdlauncher under Wine.

Runs the real launcher in a directory of its own with the stand-in client
library and stand-in client programs beside it, the database engine installed
in a directory of its own (as its registry settings say), against
a real FTP server on 127.0.0.1 and stand-in database instances, and drives
its window through launcher_probe.exe. Needs an X display (make test
provides one with xvfb-run) and the build's Wine prefix with a primed
wineserver (scripts/with-wine).
"""

import json
import logging
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
logging.getLogger("pyftpdlib").setLevel(logging.WARNING)

BUILD = os.environ.get("LAUNCHER_BUILD_DIR", os.path.join(SOURCE, "build"))
VORLIX_BIN = os.environ.get("VORLIX_BIN_DIR", os.path.join(BUILD, "sim", "vorlix", "home", "BIN"))
WORK = os.path.join(BUILD, "launcher", "process-tests")

PROBE = os.path.join(BUILD, "launcher", "launcher_probe.exe")
RECORDER = os.path.join(BUILD, "launcher", "recording_client.exe")
LAUNCHER_FILES = [
    os.path.join(BUILD, "launcher", "kdlauncher.exe"),
    os.path.join(VORLIX_BIN, "VCI.dll"),
]
ENGINE_DLL = os.environ.get("ENGINE_DLL", os.path.join(BUILD, "sim", "bde", "IDAPI32.DLL"))
ENGINE_KEY = r"HKLM\SOFTWARE\Borland\Database Engine"
ENGINE_CONFIG = "IDAPI32.CFG"

FTP_USER, FTP_PASSWORD = "kdftp", "mxftp5820"
TIMEOUT_MS = 20000

# Control ids of launcher/control_ids.h.
CLOSE, MANAGER, RDC, PARTNER, STATUS = 1010, 1011, 1012, 1013, 1020
BUTTON_OF = {"VEZerez": MANAGER, "VUVod": RDC, "RAZiravuv": PARTNER}

VERSMP_COLUMNS = ["EXFILE", "VERSON", "EXSIZE", "INDATE", "UPTEXT"]


def wine_environment(extra=None):
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    env["VORLIX_HOME"] = windows_path(os.path.join(WORK, "vorlix-home"))
    env.update(extra or {})
    return env


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, env=None, timeout=120, cwd=None):
    """Runs a Wine program to its end. Its output goes through files, not
    pipes: a helper process Wine starts on its behalf (a desktop's explorer,
    a wineserver) inherits its standard handles and would hold a pipe open
    long after the program ended, so the wait would be for the helper."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        ended = subprocess.run(["wine", *args], env=wine_environment(env), cwd=cwd,
                               stdout=out, stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(ended.args, ended.returncode, out.read(), err.read())


def install_engine(directory):
    """Installs the database engine as its setup would: the library in
    `directory`, and the registry settings naming that directory and the
    configuration file beside the library."""
    os.makedirs(directory, exist_ok=True)
    shutil.copy(ENGINE_DLL, directory)
    for name, value in (("DLLPATH", directory), ("CONFIGFILE01", os.path.join(directory, ENGINE_CONFIG))):
        wine("reg", "add", ENGINE_KEY, "/v", name, "/d", windows_path(value), "/f")


def probe(*args):
    result = wine(PROBE, *[str(a) for a in args], timeout=60)
    return result.returncode, result.stdout.decode("utf-8", "replace")


# ---------------------------------------------------------------- FTP server

class DroppingDTPHandler(DTPHandler):
    """Drops the data and the control connection after `limit` bytes, as a
    server that dies mid-transfer does."""
    limit = 64 * 1024

    def send(self, data):
        if self.tot_bytes_sent >= self.limit:
            self.cmd_channel.close()
            self.close()
            return 0
        return super().send(data[: self.limit - self.tot_bytes_sent])


def refuse(handler, arg):
    handler.respond("550 Not allowed here.")


def garbled_listing(handler, arg):
    handler.push_dtp_data(b"this is no listing at all\r\n", cmd="LIST")


class UpdateServer:
    """pyftpdlib on 127.0.0.1 and a free port, serving `root` to the
    launcher's account. `mode` is "normal", "slow" (about 200 KB/s, so the
    progress line can be read) or "drop". `refused` names commands the server
    answers with 550 (as for an account that may fetch but not list);
    `garble_listing` makes LIST send lines no client can parse."""

    def __init__(self, root, mode="normal", password=FTP_PASSWORD, refused=(),
                 garble_listing=False):
        authorizer = DummyAuthorizer()
        authorizer.add_user(FTP_USER, password, root, perm="elr")
        overrides = {"ftp_" + command: refuse for command in refused}
        if garble_listing:
            overrides["ftp_LIST"] = garbled_listing
        handler = type("Handler", (FTPHandler,), overrides)
        handler.authorizer = authorizer
        handler.use_sendfile = False
        handler.passive_ports = None
        if mode == "slow":
            dtp = type("SlowDTP", (ThrottledDTPHandler,), {"write_limit": 200 * 1024})
            handler.dtp_handler = dtp
        elif mode == "drop":
            handler.dtp_handler = DroppingDTPHandler
        self.server = FTPServer(("127.0.0.1", 0), handler)
        self.port = self.server.address[1]
        self.thread = threading.Thread(
            target=self.server.serve_forever, kwargs={"timeout": 0.05}, daemon=True)
        self.thread.start()

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def stop(self):
        self.server.close_all()
        self.thread.join(5)


def refused_address():
    """A loopback port nobody listens on."""
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % s.getsockname()[1]


# ---------------------------------------------------------------- database

class Databases:
    """Stand-in delivery databases, one instance per distinct VERSMP content,
    each reachable by a net service name of its own."""

    def __init__(self):
        self.by_rows = {}

    def vlxsim(self, *args):
        result = wine(os.path.join(VORLIX_BIN, "vlxsim.exe"), *args)
        if result.returncode != 0:
            raise RuntimeError("vlxsim %s failed: %s %s" % (
                args, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")))
        return result.stdout.decode("utf-8", "replace")

    def service_name(self, rows):
        """The net service name of an instance whose VERSMP holds `rows`
        (lists of EXFILE, VERSON, EXSIZE, INDATE, UPTEXT)."""
        key = json.dumps(rows, ensure_ascii=False)
        if key not in self.by_rows:
            number = len(self.by_rows) + 1
            sid, name = "KDT%d" % number, "KDTEST%d" % number
            description = {
                "netServiceNames": [name],
                "tables": [{"name": "VERSMP", "columns": VERSMP_COLUMNS, "rows": rows}],
            }
            os.makedirs(os.path.join(WORK, "vorlix-home"), exist_ok=True)
            path = os.path.join(WORK, sid + ".json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(description, f, ensure_ascii=False)
            self.drop(sid)  # left by a run stopped half-way
            self.vlxsim("create", sid, windows_path(path))
            self.by_rows[key] = (sid, name)
        return self.by_rows[key][1]

    def drop(self, sid):
        try:
            self.vlxsim("drop", sid)
        except RuntimeError:
            pass

    def drop_all(self):
        for sid, _ in self.by_rows.values():
            self.drop(sid)
        self.by_rows.clear()


DATABASES = Databases()


def row(program, version, size, notes="", date="2024-05-01"):
    return [program + ".exe", version, size, date, notes]


# ---------------------------------------------------------------- the launcher

class LauncherCase(unittest.TestCase):
    """One launcher directory per test, with the client library and the
    stand-in Notepad beside the launcher, and the engine installed in a
    directory next to it."""

    def setUp(self):
        self.dir = os.path.join(WORK, self.id().split(".", 1)[1])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        for path in LAUNCHER_FILES:
            shutil.copy(path, self.dir)
        self.engine_dir = self.dir + ".bde"
        shutil.rmtree(self.engine_dir, ignore_errors=True)
        install_engine(self.engine_dir)
        self.add_client("notepad")
        self.ftp_root = os.path.join(self.dir + ".ftp")
        shutil.rmtree(self.ftp_root, ignore_errors=True)
        os.makedirs(self.ftp_root)
        self.server = None
        self.process = None

    def tearDown(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        self.end_own_launchers()
        if self.server:
            self.server.stop()

    def end_own_launchers(self):
        """Ends launchers still running from this test's directory (one started
        inside a Wine desktop of its own is not the child we hold), so the next
        test does not meet the single-instance marker."""
        own = windows_path(self.path("kdlauncher.exe")).lower()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    command = f.read().decode("utf-8", "replace").replace("\0", " ").lower()
            except OSError:
                continue
            if own in command or self.path("kdlauncher.exe").lower() in command:
                try:
                    os.kill(int(pid), 9)
                except OSError:
                    pass

    # -- set-up helpers

    def path(self, name):
        return os.path.join(self.dir, name)

    def add_client(self, program, content=None):
        """A stand-in client program that records its start; `content` makes
        it a plain file of those bytes instead."""
        if content is None:
            shutil.copy(RECORDER, self.path(program + ".exe"))
        else:
            self.write(program + ".exe", content)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data.encode("utf-8") if isinstance(data, str) else data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def publish(self, name, data):
        with open(os.path.join(self.ftp_root, name), "wb") as f:
            f.write(data)

    def serve(self, mode="normal", password=FTP_PASSWORD, **behaviour):
        self.server = UpdateServer(self.ftp_root, mode, password, **behaviour)
        return self.server.address

    # -- running

    def start(self, rows=None, server=None, service=None, env=None, desktop=None):
        """Starts the launcher (inside a Wine desktop of that name and size when given)."""
        settings = {"KDLAUNCHER_UPDATE_SERVER": server or (self.server and self.server.address)
                    or refused_address()}
        if service or rows is not None:
            settings["KDLAUNCHER_NET_SERVICE"] = service or DATABASES.service_name(rows)
        settings.update(env or {})
        program = [os.path.join(self.dir, "kdlauncher.exe")]
        if desktop:
            program = ["explorer", "/desktop=" + desktop] + program
        self.process = subprocess.Popen(
            ["wine", *program], cwd=self.dir,
            env=wine_environment(settings), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self.process

    def wait_window(self):
        code, _ = probe("wait-window", TIMEOUT_MS)
        self.assertEqual(code, 0, "the launcher window did not show")

    def click(self, program_or_id):
        code, _ = probe("click", BUTTON_OF.get(program_or_id, program_or_id))
        self.assertEqual(code, 0)

    def dialog(self):
        """Waits for a message box, presses OK, returns (caption, text)."""
        code, out = probe("dialog", TIMEOUT_MS)
        self.assertEqual(code, 0, "no message box appeared")
        fields = dict(line.split("\t", 1) for line in out.splitlines() if "\t" in line)
        return fields.get("caption", ""), fields.get("text", "").replace("\\n", "\n")

    def state(self):
        _, out = probe("state")
        lines = [line.split("\t") for line in out.splitlines()]
        return {fields[0]: fields[1:] for fields in lines}

    def status(self):
        return self.state()[str(STATUS)][1]

    def close_enabled(self):
        return self.state()[str(CLOSE)][0] == "enabled"

    def wait_status(self, text):
        code, out = probe("wait-status", text, TIMEOUT_MS)
        self.assertEqual(code, 0, "status never read %r; state:\n%s" % (text, out))

    def wait_exit(self, timeout=30):
        return self.process.wait(timeout)

    def run_cycle(self, program, rows, **start):
        """Starts the launcher, clicks `program`, and waits until it ends."""
        self.start(rows, **start)
        self.wait_window()
        self.click(program)
        return self.wait_exit()

    def started(self):
        """(file, command line, working directory) of every recorded start."""
        try:
            with open(self.path("started.log"), encoding="utf-8") as f:
                return [tuple(line.rstrip("\r\n").split("\t")) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def start_of(self, file_name):
        """The command line `file_name` was started with (waiting for it a while)."""
        end = time.time() + 20
        while time.time() < end:
            for started in self.started():
                if started[0] == file_name:
                    return started[1]
            time.sleep(0.1)
        self.fail("%s was not started; starts: %s" % (file_name, self.started()))

    def wait_started(self, count=1, timeout=20):
        end = time.time() + timeout
        while len(self.started()) < count and time.time() < end:
            time.sleep(0.1)
        return self.started()

    def hold(self, name, how="lock"):
        """Another process holding `name`: "lock" opens it shared with nobody,
        "map" maps it as a running program's image."""
        holder = subprocess.Popen(["wine", PROBE, how, windows_path(self.path(name)), "60000"],
                                  env=wine_environment(), stdout=subprocess.PIPE)
        self.addCleanup(holder.stdout.close)
        self.addCleanup(holder.wait, 10)
        self.addCleanup(holder.kill)
        self.assertIn(holder.stdout.readline().strip(), (b"locked", b"mapped"))
        return holder

    def files(self):
        return sorted(os.listdir(self.dir))
