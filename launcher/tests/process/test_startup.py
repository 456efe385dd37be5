"""Start-up: the single-instance check, the engine's registry settings, the
alias and the connection, and how their failures are shown."""

import os
import shutil
import unittest

from harness import (CLOSE, DATABASES, ENGINE_CONFIG, ENGINE_DLL, ENGINE_KEY, LauncherCase, row,
                     wine)

TITLE = "Sendaro RDC DOWNLOAD"
DRIVER_KEY = r"HKLM\SOFTWARE\Borland\Database Engine\Settings\DRIVERS\VORLIX\INIT"
SYSTEM_KEY = r"HKLM\SOFTWARE\Borland\Database Engine\Settings\System\INIT"
ROWS = [row("VEZerez", "VZ-1", "10")]
NOT_CONNECTED = (TITLE, "qryTmp: the delivery database is not connected")


def tearDownModule():
    DATABASES.drop_all()


def registry_value(key, name):
    out = wine("reg", "query", key, "/v", name).stdout.decode("utf-8", "replace")
    for line in out.splitlines():
        text = line.strip()
        if text.startswith(name + " ") and "REG_SZ" in text:
            return text.split("REG_SZ", 1)[1].strip()
    return None


class SingleInstance(LauncherCase):

    def test_second_start_shows_the_box_and_ends_while_the_first_runs(self):
        first = self.start(ROWS)
        self.wait_window()
        second = self.start(ROWS)
        self.assertEqual(self.dialog(), ("DownLoad", "프로그램이 이미 실행중입니다!"))
        self.assertEqual(second.wait(30), 0)
        self.assertIsNone(first.poll())
        self.process = first
        self.assertEqual(self.state()["window"][0], "Sendaro 관리자 시스템 DownLoad")
        self.click(CLOSE)
        self.assertEqual(first.wait(30), 0)


class EngineSetUp(LauncherCase):

    def config(self):
        """The engine's configuration file."""
        with open(os.path.join(self.engine_dir, ENGINE_CONFIG), "rb") as f:
            return f.read().decode()

    def write_config(self, text):
        with open(os.path.join(self.engine_dir, ENGINE_CONFIG), "wb") as f:
            f.write(text.encode())

    def start_and_close(self, **start):
        self.start(ROWS, **start)
        self.wait_window()
        self.click(CLOSE)
        self.assertEqual(self.wait_exit(), 0)

    def start_current_copy(self):
        """Runs a cycle whose installed copy is current: it only starts the program."""
        DATABASES.service_name(ROWS)
        self.add_client("VEZerez")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-1\r\nEXESIZE=10\r\n")
        return self.run_cycle("VEZerez", ROWS)

    def test_registry_settings_are_overwritten(self):
        wine("reg", "add", DRIVER_KEY, "/v", "VENDOR INIT", "/d", "OTHER.DLL", "/f")
        wine("reg", "add", SYSTEM_KEY, "/v", "SHAREDMEMSIZE", "/d", "1", "/f")
        self.start_and_close()
        self.assertEqual(registry_value(DRIVER_KEY, "DLL32"), "SQLVLX8.DLL")
        self.assertEqual(registry_value(DRIVER_KEY, "VENDOR INIT"), "VCI.DLL")
        self.assertEqual(registry_value(SYSTEM_KEY, "SHAREDMEMLOCATION"), "4096")
        self.assertEqual(registry_value(SYSTEM_KEY, "SHAREDMEMSIZE"), "4096")

    def test_alias_is_added_and_saved_when_missing(self):
        service = DATABASES.service_name(ROWS)
        self.start_and_close()
        config = self.config()
        self.assertIn("[TRVN_DATA]\r\nDRIVER=VORLIX\r\nSERVER NAME=%s\r\nUSER NAME=dlv\r\n"
                      % service, config)

    def test_existing_alias_with_other_parameters_stays_and_the_list_connects(self):
        original = "[TRVN_DATA]\r\nDRIVER=VORLIX\r\nSERVER NAME=ELSEWHERE\r\nUSER NAME=someone\r\n"
        self.write_config(original)
        self.assertEqual(self.start_current_copy(), 0)
        self.assertEqual(self.config(), original)
        self.assertEqual(self.wait_started()[0][0], "VEZerez.exe")

    def test_alias_in_another_case_is_refused_by_the_engine(self):
        original = "[trvn_data]\r\nDRIVER=VORLIX\r\nSERVER NAME=%s\r\n" % DATABASES.service_name(ROWS)
        self.write_config(original)
        self.start(ROWS)
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.assertIn("Duplicate database alias name: TRVN_DATA", text)
        self.wait_window()
        self.click("VEZerez")
        self.assertEqual(self.dialog(), NOT_CONNECTED)
        self.assertEqual(self.config(), original)

    def test_malformed_update_server_is_shown_and_the_window_opens(self):
        self.add_client("VEZerez")
        self.write("VERSION.INI", "[VEZerez]\r\nVERSION=VZ-1\r\nEXESIZE=10\r\n")
        self.start(ROWS, server="127.0.0.1:ftp")
        self.assertEqual(self.dialog(), (
            TITLE, "the update server address '127.0.0.1:ftp' is not host or host:port"))
        self.wait_window()
        self.click("VEZerez")
        self.assertEqual(self.wait_exit(), 0)
        self.assertEqual(self.wait_started()[0][0], "VEZerez.exe")

    def test_refused_connection_is_shown_and_the_window_opens(self):
        self.start(service="NO_SUCH_SERVICE")
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.assertIn("Unable to connect to database TRVN_DATA", text)
        self.assertIn("VLX-12154", text)
        self.wait_window()

    def test_engine_missing_is_shown_and_the_window_opens(self):
        os.remove(os.path.join(self.engine_dir, "IDAPI32.DLL"))
        self.start(ROWS)
        caption, text = self.dialog()
        self.assertEqual(caption, TITLE)
        self.assertIn("cannot load the database engine IDAPI32.DLL", text)
        self.wait_window()
        self.click("VEZerez")
        self.assertEqual(self.dialog(), NOT_CONNECTED)

    def test_engine_without_registered_directory_is_found_on_the_search_path(self):
        wine("reg", "delete", ENGINE_KEY, "/v", "DLLPATH", "/f")
        os.remove(os.path.join(self.engine_dir, "IDAPI32.DLL"))
        shutil.copy(ENGINE_DLL, self.dir)
        self.assertEqual(self.start_current_copy(), 0)
        self.assertEqual(self.wait_started()[0][0], "VEZerez.exe")


if __name__ == "__main__":
    unittest.main()
