"""The update cycle, run by the real launcher against a real FTP server and
the stand-in database."""

import io
import os
import re
import shutil
import subprocess
import time
import unittest
import zipfile

from harness import (CLOSE, DATABASES, LAUNCHER_FILES, PROBE, RECORDER, LauncherCase, probe,
                     refused_address, row, wine,
                     wine_environment, windows_path)

NO_ROW = "해당 실행파일이 없습니다. Dalvessa로 연락하세요."
FTP_FAILED = "프로그램 DownLoad 중 FTP통신 오류!!!"
INSTALL_FAILED = "프로그램 설치 중 오류!!! 설치된 프로그램은 그대로입니다."
TITLE = "Sendaro RDC DOWNLOAD"
NOTES_SUFFIX = "등록내역.MG"


PACKED_AT = (2023, 7, 14, 9, 41, 36)


def package(files, method=zipfile.ZIP_DEFLATED):
    """A ZIP archive of name -> bytes (a name ending in "/" is a folder entry),
    every entry stamped PACKED_AT."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", method) as archive:
        for name, data in files.items():
            archive.writestr(zipfile.ZipInfo(name, PACKED_AT), data, method)
    return buffer.getvalue()


def new_program(tag):
    """A new release's program file: the recording stand-in with the release
    tag appended, so it runs and its copies can be told apart."""
    with open(RECORDER, "rb") as f:
        return f.read() + ("release " + tag).encode()


def tearDownModule():
    DATABASES.drop_all()


class CurrentCopy(LauncherCase):
    """A current installed copy starts at once, without the update server."""

    def test_current_copy_starts_at_once_comparing_sizes_as_numbers(self):
        self.add_client("VEZerez")
        self.write("VERSION.INI", "[vezEREZ]\r\nVERSION=VZ-2\r\nEXESIZE=1234567\r\n")
        code = self.run_cycle("VEZerez", [row("VEZerez", "VZ-2", "1,234,567")])
        self.assertEqual(code, 0)
        started = self.wait_started()
        self.assertEqual([(s[0], s[1]) for s in started], [("VEZerez.exe", '"VEZerez.exe"')])
        self.assertEqual(self.read("VERSION.INI"),
                         b"[vezEREZ]\r\nVERSION=VZ-2\r\nEXESIZE=1234567\r\n")


class Downloads(LauncherCase):
    """Each way the installed copy can fall short leads to a download."""

    def download_cycle(self, program, release_row, files=None):
        files = files or {program + ".exe": new_program(release_row[1])}
        self.publish(release_row[1] + ".ZIP", package(files))
        if not self.server:
            self.serve()
        code = self.run_cycle(program, [release_row])
        self.assertEqual(code, 0)
        self.assertEqual(self.start_of(program + ".exe"), '"%s.exe"' % program)
        self.assertNotIn(release_row[1] + ".ZIP", self.files(), "the package was not deleted")
        return files

    def test_creates_version_file_with_five_lines(self):
        files = self.download_cycle("VUVod", row("VUVod", "VU-7", "2,048", date="2024-06-30"))
        self.assertEqual(self.read("VUVod.exe"), files["VUVod.exe"])
        self.assertEqual(os.path.getmtime(self.path("VUVod.exe")),
                         time.mktime(PACKED_AT + (0, 0, -1)), "the entry's time was not kept")
        self.assertEqual(self.read("VERSION.INI"),
                         b"[VUVod]\r\nEXEFILE=VUVod.exe\r\nVERSION=VU-7\r\n"
                         b"EXESIZE=2,048\r\nINDATE=2024-06-30\r\n")

    def test_edits_an_existing_version_file_as_ini(self):
        self.add_client("RAZiravuv")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-1\r\n[raziravuv]\r\nVERSION=RZ-1\r\n"
                                  "EXESIZE=10\r\nOWNKEY=kept\r\n")
        self.download_cycle("RAZiravuv", row("RAZiravuv", "RZ-2", "99"))
        text = self.read("VERSION.INI").decode()
        self.assertIn("[VEZerez]\r\nVERSION=VZ-1\r\n", text)
        section = text[text.lower().index("[raziravuv]"):]
        for line in ["VERSION=RZ-2", "EXESIZE=99", "EXEFILE=RAZiravuv.exe", "INDATE=2024-05-01",
                     "OWNKEY=kept"]:
            self.assertIn(line + "\r\n", section)

    def test_empty_version_file_is_edited_after_the_download(self):
        self.add_client("VEZerez")
        self.write("VERSION.INI", "")
        self.download_cycle("VEZerez", row("VEZerez", "VZ-3", "5"))
        text = self.read("VERSION.INI").decode()
        self.assertIn("[VEZerez]", text)
        self.assertIn("VERSION=VZ-3", text)

    def test_versions_differing_in_case_download(self):
        self.add_client("VEZerez")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=vz-4\r\nEXESIZE=5\r\n")
        self.download_cycle("VEZerez", row("VEZerez", "VZ-4", "5"))

    def test_missing_program_file_downloads(self):
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-5\r\nEXESIZE=5\r\n")
        self.download_cycle("VEZerez", row("VEZerez", "VZ-5", "5"))
        self.assertTrue(os.path.exists(self.path("VEZerez.exe")))

    def test_package_folders_are_dropped_and_nothing_lands_outside(self):
        files = self.download_cycle("VEZerez", row("VEZerez", "VZ-6", "5"), {
            "bin/": b"",
            "bin/VEZerez.exe": new_program("VZ-6"),
            "lib/deep/helper.dll": b"helper",
            "../../escaped.txt": b"stays inside",
            "C:/windows/rooted.txt": b"also inside",
        })
        self.assertEqual(self.read("VEZerez.exe"), files["bin/VEZerez.exe"])
        self.assertEqual(self.read("helper.dll"), b"helper")
        self.assertEqual(self.read("escaped.txt"), b"stays inside")
        self.assertEqual(self.read("rooted.txt"), b"also inside")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "..", "escaped.txt")))
        self.assertNotIn("bin", self.files())

    def test_program_still_running_does_not_block_the_next_update(self):
        """The running program's file is moved aside but cannot be deleted yet."""
        self.add_client("VEZerez")
        self.hold("VEZerez.exe", "map")
        self.download_cycle("VEZerez", row("VEZerez", "VZ-10", "5"))
        os.remove(self.path("started.log"))
        self.download_cycle("VEZerez", row("VEZerez", "VZ-11", "5"))
        self.assertEqual(self.read("VEZerez.exe"), new_program("VZ-11"))

    def test_release_notes_open_in_notepad(self):
        self.add_client("VEZerez")
        notes = "  Fixed the label printer.\r\nNew: route export  "
        self.download_cycle("VEZerez", row("VEZerez", "VZ-8", "5", notes=notes))
        name = "VZ-8" + NOTES_SUFFIX
        self.assertEqual(self.read(name), (notes + "\r\n").encode("cp1252"))
        starts = self.wait_started(2)
        notepad = [s for s in starts if s[0] == "notepad.exe"]
        self.assertEqual(len(notepad), 1)
        self.assertTrue(notepad[0][1].endswith(" " + windows_path(self.path(name))), notepad[0][1])

    def test_blank_release_notes_show_nothing(self):
        self.download_cycle("VEZerez", row("VEZerez", "VZ-9", "5", notes="  \r\n  "))
        self.assertFalse(any(name.endswith(NOTES_SUFFIX) for name in self.files()))
        self.start_of("VEZerez.exe")
        self.assertEqual([s[0] for s in self.started()], ["VEZerez.exe"])


class UnlistedPackages(LauncherCase):
    """The package is fetched whatever the server will say about its size:
    from the listing, from SIZE, or from nothing but the archive's own checks."""

    LISTING = ("LIST", "NLST", "MLSD", "MLST", "STAT")

    def fetch(self, version, files=None, **behaviour):
        self.add_client("VEZerez")
        files = files or {"VEZerez.exe": new_program(version)}
        self.publish(version + ".ZIP", package(files))
        self.serve(**behaviour)
        self.assertEqual(self.run_cycle("VEZerez", [row("VEZerez", version, "5")]), 0)
        self.assertEqual(self.read("VEZerez.exe"), files["VEZerez.exe"])
        self.assertEqual(self.start_of("VEZerez.exe"), '"VEZerez.exe"')

    def test_account_that_may_not_list(self):
        self.fetch("VZ-60", refused=self.LISTING)

    def test_listing_that_does_not_parse(self):
        self.fetch("VZ-61", garble_listing=True)

    def test_server_that_states_no_size(self):
        self.fetch("VZ-62", refused=self.LISTING + ("SIZE",))

    def test_release_name_with_blanks_and_brackets(self):
        self.fetch("VZ 63 [fix] (2)")
        self.assertIn("VERSION=VZ 63 [fix] (2)\r\n", self.read("VERSION.INI").decode())

    def test_broken_transfer_of_unstated_size_is_not_installed(self):
        """Only the archive can tell the file is short: it is refused whole."""
        self.add_client("VEZerez")
        old = self.read("VEZerez.exe")
        self.publish("VZ-64.ZIP", package({"VEZerez.exe": os.urandom(400 * 1024)},
                                          zipfile.ZIP_STORED))
        self.serve(mode="drop", refused=self.LISTING + ("SIZE",))
        self.start([row("VEZerez", "VZ-64", "5")])
        self.wait_window()
        self.click("VEZerez")
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.assertIn("the package is damaged", text)
        self.wait_status(INSTALL_FAILED)
        self.assertEqual(self.read("VEZerez.exe"), old)
        self.assertEqual(self.started(), [])


class WindowsVersion(LauncherCase):
    APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\kdlauncher.exe"

    def tearDown(self):
        wine("reg", "delete", self.APP_DEFAULTS, "/f")
        super().tearDown()

    def test_major_version_5_starts_with_the_zero_argument(self):
        wine("reg", "add", self.APP_DEFAULTS, "/v", "Version", "/t", "REG_SZ", "/d", "winxp", "/f")
        self.add_client("VUVod")
        self.write("VERSION.INI", "[VUVod]\r\nVERSION=VU-1\r\nEXESIZE=1\r\n")
        self.assertEqual(self.run_cycle("VUVod", [row("VUVod", "VU-1", "1")]), 0)
        self.assertEqual(self.wait_started()[0][:2], ("VUVod.exe", "VUVod.exe 0"))


class FtpFailures(LauncherCase):
    """Every FTP failure ends the same way: the error text, the installed
    program started with "0", the close button enabled, the window open."""

    def assert_ftp_failure(self, rows, **start):
        self.add_client("VEZerez", None)
        old = self.read("VEZerez.exe")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=OLD\r\n")
        self.start(rows, **start)
        self.wait_window()
        self.click("VEZerez")
        self.wait_status(FTP_FAILED)
        self.assertEqual(self.wait_started()[0][:2], ("VEZerez.exe", "VEZerez.exe 0"))
        self.assertTrue(self.close_enabled())
        self.assertIsNone(self.process.poll(), "the launcher closed")
        self.assertEqual(self.read("VEZerez.exe"), old)
        self.assertEqual(self.read("VERSION.INI"), b"[VEZerez]\r\nVERSION=OLD\r\n")
        self.assertFalse(any(name.endswith(".ZIP") for name in self.files()))

    def test_server_refusing_connections(self):
        self.assert_ftp_failure([row("VEZerez", "VZ-20", "5")], server=refused_address())

    def test_wrong_password(self):
        self.serve(password="another")
        self.publish("VZ-21.ZIP", package({"VEZerez.exe": new_program("21")}))
        self.assert_ftp_failure([row("VEZerez", "VZ-21", "5")])

    def test_missing_package(self):
        self.serve()
        self.assert_ftp_failure([row("VEZerez", "VZ-22", "5")])

    def test_connection_dropped_mid_transfer(self):
        self.serve(mode="drop")
        self.publish("VZ-23.ZIP", package({"VEZerez.exe": os.urandom(400 * 1024)},
                                          zipfile.ZIP_STORED))
        self.assert_ftp_failure([row("VEZerez", "VZ-23", "5")])

    def test_connection_dropped_when_only_size_states_the_total(self):
        self.serve(mode="drop", refused=UnlistedPackages.LISTING)
        self.publish("VZ-25.ZIP", package({"VEZerez.exe": os.urandom(400 * 1024)},
                                          zipfile.ZIP_STORED))
        self.assert_ftp_failure([row("VEZerez", "VZ-25", "5")])

    def test_second_click_after_a_failure_runs_a_fresh_cycle(self):
        self.serve()
        self.assert_ftp_failure([row("VEZerez", "VZ-24", "5")])
        self.publish("VZ-24.ZIP", package({"VEZerez.exe": new_program("24")}))
        self.click("VEZerez")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.read("VEZerez.exe"), new_program("24"))
        self.assertEqual(self.wait_started(2)[1][:2], ("VEZerez.exe", '"VEZerez.exe"'))


class InstallFailures(LauncherCase):
    """A package that cannot be installed leaves the installed program as it
    was, says why, deletes the package, and lets the next click try again."""

    def prepare_installed_copy(self):
        self.add_client("VEZerez")
        self.write("helper.dll", b"old helper")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=OLD\r\n")
        return {name: self.read(name) for name in ["VEZerez.exe", "helper.dll", "VERSION.INI"]}

    def assert_unchanged(self, before, version):
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.wait_status(INSTALL_FAILED)
        self.assertTrue(self.close_enabled())
        for name, data in before.items():
            self.assertEqual(self.read(name), data, name)
        self.assertNotIn(version + ".ZIP", self.files())
        self.assertFalse(any(name.startswith("~kdlauncher") for name in self.files()))
        self.assertEqual(self.started(), [])
        return text

    def test_corrupt_archive_then_a_good_one(self):
        before = self.prepare_installed_copy()
        good = package({"VEZerez.exe": new_program("30"), "helper.dll": b"new helper"},
                       zipfile.ZIP_STORED)
        damaged = bytearray(good)
        damaged[good.index(b"new helper")] ^= 0xFF
        self.publish("VZ-30.ZIP", bytes(damaged))
        self.serve()
        self.start([row("VEZerez", "VZ-30", "5")])
        self.wait_window()
        self.click("VEZerez")
        text = self.assert_unchanged(before, "VZ-30")
        self.assertIn("helper.dll' fails its CRC check", text)

        self.publish("VZ-30.ZIP", good)
        self.click("VEZerez")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.read("helper.dll"), b"new helper")

    def test_locked_file_rolls_back_every_replaced_file(self):
        before = self.prepare_installed_copy()
        self.publish("VZ-31.ZIP", package({"VEZerez.exe": new_program("31"),
                                           "helper.dll": b"new helper"}))
        self.serve()
        self.start([row("VEZerez", "VZ-31", "5")])
        self.wait_window()
        self.hold("helper.dll")
        self.click("VEZerez")
        self.assertIn("helper.dll", self.assert_unchanged(before, "VZ-31"))

    def test_full_disk_leaves_the_installed_copy(self):
        """The launcher's directory on a small file system of its own: the
        package fits, its unpacked files do not."""
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        names = self.files()
        # Room for what is there, the installed program and the package, and 1 MiB.
        used = sum(os.path.getsize(self.path(n)) for n in names) + 2 * os.path.getsize(RECORDER)
        size_kb = used // 1024 + 1024
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % size_kb, "tmpfs", self.dir],
                          capture_output=True).returncode != 0:
            self.skipTest("cannot mount a small file system here")
        self.addCleanup(subprocess.run, ["umount", "-l", self.dir], capture_output=True)
        for path in LAUNCHER_FILES:
            shutil.copy(path, self.dir)
        self.add_client("notepad")
        before = self.prepare_installed_copy()
        self.publish("VZ-33.ZIP", package({"VEZerez.exe": new_program("33"),
                                           "big.dat": bytes(3 * 1024 * 1024)}))
        self.serve()
        self.start([row("VEZerez", "VZ-33", "5")])
        self.wait_window()
        self.click("VEZerez")
        self.assertIn("big.dat", self.assert_unchanged(before, "VZ-33"))

    def test_entry_that_names_a_device_is_refused(self):
        before = self.prepare_installed_copy()
        self.publish("VZ-32.ZIP", package({"VEZerez.exe": new_program("32"), "sub/CON.txt": b"x"}))
        self.serve()
        self.start([row("VEZerez", "VZ-32", "5")])
        self.wait_window()
        self.click("VEZerez")
        self.assertIn("cannot be installed: 'sub/CON.txt'", self.assert_unchanged(before, "VZ-32"))


class InputDuringACycle(LauncherCase):
    """What the user does while a slow download runs waits for the cycle; the
    package here turns out damaged, so the cycle ends with the window open."""

    def start_failing_download(self, version):
        self.add_client("VEZerez")
        self.add_client("VUVod")
        self.write("VERSION.INI", "[VUVod]\r\nVERSION=VU-1\r\nEXESIZE=1\r\n")
        damaged = bytearray(package({"VEZerez.exe": os.urandom(600 * 1024)}, zipfile.ZIP_STORED))
        damaged[len(damaged) // 2] ^= 0xFF
        self.publish(version + ".ZIP", bytes(damaged))
        self.serve(mode="slow")
        self.start([row("VEZerez", version, "5"), row("VUVod", "VU-1", "1")])
        self.wait_window()
        self.click("VEZerez")
        for _ in range(100):
            if self.status().startswith("Download Speed"):
                return
        self.fail("the download never showed its progress")

    def test_close_asked_for_during_the_cycle_ends_the_launcher_after_it(self):
        self.start_failing_download("VZ-80")
        self.assertEqual(probe("close")[0], 0)
        caption, text = self.dialog()
        self.assertIn("fails its CRC check", text)
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.started(), [])

    def test_click_during_the_cycle_starts_no_second_one(self):
        """VUVod is current: a second cycle would start it at once."""
        self.start_failing_download("VZ-81")
        self.click("VUVod")
        self.dialog()
        self.wait_status(INSTALL_FAILED)
        time.sleep(2.5)
        self.assertIsNone(self.process.poll(), "the launcher closed")
        self.assertEqual(self.started(), [])
        self.assertEqual(self.status(), INSTALL_FAILED)


class RecordingFailures(LauncherCase):
    """The release is installed but cannot be recorded or its notes written
    (another program holds the file): the error box says why, the close button
    is enabled, nothing is started."""

    def assert_cycle_stops_at(self, release_row, unwritable, message):
        self.add_client("VEZerez")
        self.publish(release_row[1] + ".ZIP", package({"VEZerez.exe": new_program("90")}))
        self.serve()
        self.hold(unwritable)
        self.start([release_row])
        self.wait_window()
        self.click("VEZerez")
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.assertIn(message, text)
        self.assertTrue(self.close_enabled())
        self.assertIsNone(self.process.poll(), "the launcher closed")
        self.assertEqual(self.started(), [])
        self.click(CLOSE)
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.started(), [])

    def test_version_file_not_writable(self):
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-1\r\n")
        self.assert_cycle_stops_at(row("VEZerez", "VZ-90", "5"), "VERSION.INI",
                                   "cannot write EXEFILE into ")
        self.assertEqual(self.read("VERSION.INI"), b"[VEZerez]\r\nVERSION=VZ-1\r\n")

    def test_release_notes_not_writable(self):
        self.write("VZ-91" + NOTES_SUFFIX, "older notes")
        self.assert_cycle_stops_at(row("VEZerez", "VZ-91", "5", notes="New: route export"),
                                   "VZ-91" + NOTES_SUFFIX, "cannot create ")
        self.assertEqual(self.read("VZ-91" + NOTES_SUFFIX), b"older notes")


class CycleErrors(LauncherCase):

    def test_missing_row_shows_the_box_and_stays_idle(self):
        self.add_client("VEZerez")
        self.start([row("VUVod", "VU-1", "1")])
        self.wait_window()
        self.click("VEZerez")
        self.assertEqual(self.dialog(), (TITLE, NO_ROW))
        self.assertEqual(self.started(), [])
        self.assertIsNone(self.process.poll())
        self.assertTrue(self.close_enabled())
        self.click(CLOSE)
        self.assertEqual(self.wait_exit(), 0)

    def test_size_text_that_is_no_number_shows_the_error(self):
        self.add_client("VEZerez")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-40\r\nEXESIZE=1-2\r\n")
        self.start([row("VEZerez", "VZ-40", "5")])
        self.wait_window()
        self.click("VEZerez")
        self.assertEqual(self.dialog(), (TITLE, "'1-2' is not a valid floating point value"))
        self.assertEqual(self.started(), [])
        self.assertIsNone(self.process.poll())


class Progress(LauncherCase):

    def test_status_line_shows_speed_and_time_remaining(self):
        data = package({"VEZerez.exe": os.urandom(700 * 1024)}, zipfile.ZIP_STORED)
        self.publish("VZ-50.ZIP", data)
        self.serve(mode="slow")
        self.start([row("VEZerez", "VZ-50", "5")])
        self.wait_window()
        self.click("VEZerez")
        pattern = re.compile(r"^Download Speed \d+\.\d\d KB/S; Time remaining [ \d]\d:[ \d]\d:[ \d]\d$")
        seen = None
        for _ in range(100):
            state = self.state()
            if pattern.match(state.get("1020", ["", ""])[1]):
                seen = state
                break
        self.assertIsNotNone(seen, "no progress line was seen")
        self.assertEqual(seen["progress"][1], str(len(data)))
        self.assertFalse(seen[str(CLOSE)][0] == "enabled")
        self.assertEqual(self.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
