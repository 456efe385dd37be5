"""The launcher end to end: a stand-in delivery database whose version table
names a new release of the manager program, an FTP server on 127.0.0.1 with
that release's package, and the real launcher under Wine updating the
installed copy, showing the release notes and starting the program.

Run by `make demo-launcher` (inside an X display and a primed wineserver).
Prints what happens; leaves the launcher's directory and a screenshot taken
during the download in build/demo-launcher/.
"""

import io
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "launcher", "tests", "process"))
import harness  # noqa: E402  (shares the FTP server, database and probe helpers)

DEMO = os.path.join(harness.BUILD, "demo-launcher")
VERSION = "VZ-2024.06"
NOTES = "Sendaro manager " + VERSION + "\r\n- route export\r\n- faster label printing"


def say(text):
    print(text, flush=True)


def make_package():
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        with open(harness.RECORDER, "rb") as program:
            archive.writestr("release/VEZerez.exe", program.read())
        archive.writestr("release/lib/report.dll", os.urandom(2 * 1024 * 1024))
        archive.writestr("release/readme.txt", "Manager " + VERSION + "\r\n")
    return buffer.getvalue()


def main():
    shutil.rmtree(DEMO, ignore_errors=True)
    launcher_dir, ftp_root = os.path.join(DEMO, "launcher"), os.path.join(DEMO, "ftp")
    os.makedirs(launcher_dir)
    os.makedirs(ftp_root)
    harness.WORK = DEMO
    for path in harness.LAUNCHER_FILES:
        shutil.copy(path, launcher_dir)
    harness.install_engine(os.path.join(DEMO, "bde"))
    shutil.copy(harness.RECORDER, os.path.join(launcher_dir, "notepad.exe"))
    with open(os.path.join(launcher_dir, "VEZerez.exe"), "wb") as old:
        old.write(b"MZ the installed, older manager program")
    with open(os.path.join(launcher_dir, "VERSION.INI"), "wb") as ini:
        ini.write(b"[VEZerez]\r\nEXEFILE=VEZerez.exe\r\nVERSION=VZ-2024.01\r\nEXESIZE=40\r\n"
                  b"INDATE=2024-01-15\r\n")
    package = make_package()
    with open(os.path.join(ftp_root, VERSION + ".ZIP"), "wb") as f:
        f.write(package)

    say("== stand-in delivery database: VERSMP names %s for VEZerez.exe" % VERSION)
    rows = [harness.row("VEZerez", VERSION, "1,234", notes=NOTES, date="2024-06-30"),
            harness.row("VUVod", "VU-2024.02", "2,048")]
    service = harness.DATABASES.service_name(rows)
    server = harness.UpdateServer(ftp_root, mode="slow")
    say("== update server: ftp://%s/ holding %s.ZIP (%d bytes, served at ~200 KB/s)"
        % (server.address, VERSION, len(package)))
    try:
        run_launcher(launcher_dir, server, service)
    finally:
        server.stop()
        harness.DATABASES.drop_all()


def run_launcher(launcher_dir, server, service):
    env = harness.wine_environment({"KDLAUNCHER_UPDATE_SERVER": server.address,
                                    "KDLAUNCHER_NET_SERVICE": service})
    say("== starting kdlauncher.exe in %s" % launcher_dir)
    process = subprocess.Popen(["wine", os.path.join(launcher_dir, "kdlauncher.exe")],
                               cwd=launcher_dir, env=env)
    if harness.probe("wait-window", 30000)[0] != 0:
        sys.exit("the launcher window did not appear")
    say("window shown; clicking the manager button (매니져)")
    harness.probe("click", harness.MANAGER)
    last, shot = None, False
    while process.poll() is None:
        code, out = harness.probe("state")
        match = re.search(r"^1020\t\w+\t(.*)$", out, re.M)
        if match and match.group(1) != last:
            last = match.group(1)
            say("  status: " + last)
            if last.startswith("Download Speed") and not shot:
                shot = screenshot()
        time.sleep(0.2)
    say("== launcher ended with exit code %d" % process.returncode)
    with open(os.path.join(launcher_dir, "VERSION.INI"), encoding="cp1252") as f:
        say("VERSION.INI now:\n" + f.read().rstrip())
    time.sleep(1)
    with open(os.path.join(launcher_dir, "started.log"), encoding="utf-8") as f:
        for line in f:
            program, command, cwd = line.rstrip("\r\n").split("\t")
            say("started: %-12s command line %s" % (program, command))
    say("files in the launcher's directory: " + ", ".join(sorted(os.listdir(launcher_dir))))


def screenshot():
    raw, png = os.path.join(DEMO, "download.xwd"), os.path.join(DEMO, "download.png")
    subprocess.run(["xwd", "-root", "-display", os.environ["DISPLAY"], "-out", raw], check=False)
    if subprocess.run(["/usr/bin/convert-im6.q16", raw, png], check=False).returncode == 0:
        say("  (screenshot of the download: %s)" % png)
        return True
    return False


if __name__ == "__main__":
    main()
