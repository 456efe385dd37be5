"""The window as a user and an accessibility tool see it, and its
screenshot with the Korean texts (kept in the build tree)."""

import os
import subprocess
import time
import unittest

from harness import CLOSE, DATABASES, WORK, LauncherCase, row

SCREENSHOTS = os.path.join(WORK, "screenshots")
ROWS = [row("VEZerez", "VZ-1", "10")]


def korean_locale():
    """The environment of a Korean system (code page 949): the glibc locale is
    built into the build tree when the machine has none."""
    locales = os.path.join(WORK, "locale")
    if not os.path.isdir(os.path.join(locales, "ko_KR.UTF-8")):
        os.makedirs(locales, exist_ok=True)
        subprocess.run(["localedef", "-i", "ko_KR", "-f", "UTF-8",
                        os.path.join(locales, "ko_KR.UTF-8")], check=True)
    return {"LOCPATH": locales, "LC_ALL": "ko_KR.UTF-8", "LANG": "ko_KR.UTF-8"}


def tearDownModule():
    DATABASES.drop_all()


class Window(LauncherCase):

    def test_controls_texts_and_frame(self):
        self.start(ROWS)
        self.wait_window()
        state = self.state()
        self.assertEqual(state["window"], ["Sendaro 관리자 시스템 DownLoad"])
        self.assertEqual(state["taskbar"], ["Sendaro RDC DOWNLOAD"])
        self.assertEqual(state["client"], ["623", "134"])
        self.assertEqual(state["style"], ["nosysmenu", "fixed", "caption"])
        self.assertEqual(state["1001"], ["enabled", "Sendaro 관리자 시스템"])
        self.assertEqual(state["1002"], ["enabled", "DOWNLOAD System"])
        self.assertEqual(state["1011"], ["enabled", "매니져"])
        self.assertEqual(state["1012"], ["enabled", "R D C "])
        self.assertEqual(state["1013"], ["enabled", "거래처"])
        self.assertEqual(state["1020"], ["enabled", "프로그램 다운로드 준비중입니다."])
        self.assertEqual(state["progress"], ["0", "100"])
        self.assertEqual(state[str(CLOSE)][0], "enabled")
        self.click(CLOSE)
        self.assertEqual(self.wait_exit(), 0)

    def test_screenshot_with_korean_texts(self):
        """Takes the screenshot on a Korean system (code page 949) inside a Wine
        desktop of its own, so the frame is drawn too. The controls' texts come
        out in Hangul whatever the code page, since the window picks a Hangul
        face itself; the caption is drawn in the system's caption font, which in
        this prefix has no Hangul glyphs (its text is checked through the
        window in test_controls_texts_and_frame). The picture is checked by
        eye; the test checks that it exists and is not blank."""
        os.makedirs(SCREENSHOTS, exist_ok=True)
        display = self.private_display()
        self.start(ROWS, desktop="kdshot,680x190", env=dict(korean_locale(), DISPLAY=display))
        # A loaded machine may take a while to show the desktop: wait for a
        # picture that is not blank, then give the window a moment to finish.
        end = time.time() + 40
        while self.screenshot(display) <= 20 and time.time() < end:
            time.sleep(1)
        time.sleep(1)
        self.assertGreater(self.screenshot(display), 20, "the screenshot is blank")

    def private_display(self):
        """An X display of the test's own, so no other test's windows show in
        the picture."""
        read_end, write_end = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "680x190x24"],
                                  pass_fds=[write_end], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        self.addCleanup(server.wait, 10)
        self.addCleanup(server.terminate)
        self.assertTrue(number, "Xvfb did not start")
        return ":" + number

    def screenshot(self, display):
        """Takes the screenshot; returns how many colours it has."""
        raw = os.path.join(SCREENSHOTS, "launcher-window.xwd")
        png = os.path.join(SCREENSHOTS, "launcher-window.png")
        subprocess.run(["xwd", "-root", "-display", display, "-out", raw], check=True)
        subprocess.run(["/usr/bin/convert-im6.q16", raw, png], check=True)
        colours = subprocess.run(["/usr/bin/convert-im6.q16", png, "-format", "%k", "info:"],
                                 capture_output=True, check=True).stdout
        return int(colours)


if __name__ == "__main__":
    unittest.main()
