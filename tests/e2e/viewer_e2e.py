#!/usr/bin/env python3
"""Runs the real qelv-viewer under Xvfb on a simulated card and checks what a user sees:
the main window and the recording list in order, the single-instance rule, the docked panes
following the main window, and the start without its skin file."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BIN = os.environ.get("QELV_BIN", "")
# GStreamer, GLib and Qt keep allocations for the life of the process; leaks are checked by
# the unit tests, not here.
os.environ["ASAN_OPTIONS"] = "detect_leaks=0"


def wait_until(check, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = check()
        if result:
            return result
        time.sleep(step)
    return check()


class Display:
    """An Xvfb server on a free display number."""

    def __enter__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x900x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        self.name = ":" + number.decode().strip()
        return self

    def __exit__(self, *_):
        self.proc.terminate()
        self.proc.wait(10)


class ViewerEndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="qelv-e2e-")
        cls.card = os.path.join(cls.tmp, "card")
        subprocess.run([os.path.join(BIN, "qelv"), "demo-card", cls.card, "--recordings", "6",
                        "--seconds", "2", "--unfinished", "1", "--channels", "1"],
                       check=True, stdout=subprocess.DEVNULL)
        cls.display = Display().__enter__()
        cls.env = cls.environment("runtime")
        cls.viewer = subprocess.Popen([os.path.join(BIN, "qelv-viewer"), "--source", cls.card],
                                      env=cls.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        cls.first_state = wait_until(cls.shown_state, 60)

    @classmethod
    def tearDownClass(cls):
        cls.viewer.terminate()
        try:
            cls.viewer.wait(10)
        except subprocess.TimeoutExpired:
            cls.viewer.kill()
        cls.display.__exit__()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def environment(cls, runtime):
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("WAYLAND_DISPLAY", None)
        runtime_dir = os.path.join(cls.tmp, runtime)
        os.makedirs(runtime_dir, mode=0o700, exist_ok=True)
        home = os.path.join(cls.tmp, "home")
        os.makedirs(home, exist_ok=True)
        env.update(DISPLAY=cls.display.name, XDG_RUNTIME_DIR=runtime_dir, HOME=home,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   ASAN_OPTIONS="detect_leaks=0", QTWEBENGINE_DISABLE_SANDBOX="1")
        return env

    @classmethod
    def state(cls):
        run = subprocess.run([os.path.join(BIN, "qelv-viewer"), "--state"], env=cls.env,
                             capture_output=True, text=True, timeout=30)
        if run.returncode != 0:
            return None
        return json.loads(run.stdout)

    @classmethod
    def shown_state(cls):
        state = cls.state()
        if state and state["visible"] and state["rows"] and any(
                pane["key"] == 139 and pane["visible"] for pane in state["panes"]):
            return state
        return None

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=20)

    def expected_rows(self):
        """The card's front recordings by date and time, as the list shows them."""
        kinds = {"N": "NOR", "E": "EVT", "P": "MOT", "U": "USR"}
        rows = []
        for folder, _, files in os.walk(self.card):
            for name in files:
                match = re.fullmatch(r"(\d{4})(\d\d)(\d\d)_(\d\d)(\d\d)(\d\d)_\dCH_([NEPU])_F\.mp4",
                                     name)
                if match:
                    y, mo, d, h, mi, s, kind = match.groups()
                    rows.append((f"{y}-{mo}-{d}", f"{h}:{mi}:{s}", kinds[kind]))
        rows.sort()
        return [[f"{i + 1:03d}", *row] for i, row in enumerate(rows)]

    def test_1_main_window_and_list_in_order(self):
        state = self.first_state
        self.assertIsNotNone(state, "the viewer did not show its windows")
        self.assertEqual(state["title"], "QELV Viewer")
        self.assertEqual((state["width"], state["height"]), (820, 790))
        self.assertEqual(state["rows"], self.expected_rows())
        self.assertEqual(len(state["rows"]), 6)
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                              text=True).stdout
        self.assertIn('"QELV Viewer"', tree)
        self.assertIn('"File List"', tree)

    def test_2_second_start_ends_at_once_and_the_first_stays(self):
        start = time.monotonic()
        second = subprocess.run([os.path.join(BIN, "qelv-viewer")], env=self.env,
                                capture_output=True, timeout=20)
        elapsed = time.monotonic() - start
        self.assertEqual(second.returncode, 0)
        self.assertLess(elapsed, 1.0, f"the second start took {elapsed:.2f} s")
        self.assertIsNone(self.viewer.poll())
        state = self.state()
        self.assertTrue(state["visible"])
        names = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.assertEqual(len(names), 1, "a second main window appeared")

    def test_3_moving_the_main_window_moves_the_docked_panes(self):
        window = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.assertTrue(window)
        self.xdotool("windowmove", "--sync", window[0], "100", "40")
        state = wait_until(lambda: (s := self.state()) and (s["x"], s["y"]) == (100, 40) and s,
                           10)
        self.assertTrue(state, "the main window did not move")
        list_pane = next(p for p in state["panes"] if p["key"] == 139)
        self.assertEqual((list_pane["x"], list_pane["y"]), (100 + 810, 40 + 320))
        self.xdotool("windowmove", "--sync", window[0], "300", "60")
        state = wait_until(lambda: (s := self.state()) and (s["x"], s["y"]) == (300, 60) and s,
                           10)
        list_pane = next(p for p in state["panes"] if p["key"] == 139)
        self.assertEqual((list_pane["x"], list_pane["y"]), (1110, 380))

    def test_4_without_its_skin_the_viewer_says_so_and_ends(self):
        folder = os.path.join(self.tmp, "no-skin")
        os.makedirs(folder, exist_ok=True)
        for name in ("qelv-viewer", "viewerconfig.cfg"):
            shutil.copy2(os.path.join(BIN, name), folder)
        self.answer_the_box([os.path.join(folder, "qelv-viewer")],
                            self.environment("runtime-no-skin"), "Not Find ResourceDll")

    def test_5_without_the_media_elements_the_viewer_says_so_and_ends(self):
        plugins = os.path.join(self.tmp, "no-plugins")
        os.makedirs(plugins, exist_ok=True)
        env = self.environment("runtime-no-plugins")
        env.update(GST_PLUGIN_SYSTEM_PATH_1_0=plugins, GST_PLUGIN_PATH_1_0=plugins,
                   GST_REGISTRY_1_0=os.path.join(self.tmp, "empty-registry.bin"))
        self.answer_the_box([os.path.join(BIN, "qelv-viewer")], env, "Not Find QV filter")

    def test_6_a_later_start_with_a_folder_hands_it_to_the_first(self):
        second_card = os.path.join(self.tmp, "second-card")
        shutil.copytree(os.path.join(self.card, "EVT"), os.path.join(second_card, "EVT"))
        run = subprocess.run([os.path.join(BIN, "qelv-viewer"), "--source", second_card],
                             env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        state = self.state()
        self.assertEqual([row[3] for row in state["rows"]], ["EVT", "EVT"])
        names = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.assertEqual(len(names), 1)
        # A folder without recordings, or none at all, leaves the running viewer's list as it
        # is; the later start says why and fails.
        empty = os.path.join(self.tmp, "empty-folder")
        os.makedirs(empty, exist_ok=True)
        for folder, reason in ((empty, "no recordings in"),
                               (os.path.join(self.tmp, "missing"), "is not a folder")):
            run = subprocess.run([os.path.join(BIN, "qelv-viewer"), "--source", folder],
                                 env=self.env, capture_output=True, text=True, timeout=60)
            self.assertIn(reason, run.stderr)
            self.assertNotEqual(run.returncode, 0, folder)
            self.assertEqual(self.state()["rows"], state["rows"], folder)

    def test_7_choosing_a_folder_through_the_dialogs(self):
        third_card = os.path.join(self.tmp, "third-card")
        shutil.copytree(os.path.join(self.card, "USR"), os.path.join(third_card, "USR"))
        state = self.state()
        pane = next(p for p in state["panes"] if p["key"] == 139)
        # "Open File" sits at (58, 4) in the File List.
        self.xdotool("mousemove", "--sync", str(pane["x"] + 68), str(pane["y"] + 14))
        self.xdotool("click", "1")
        drives = wait_until(lambda: self.visible_window("^Select Drive$"), 20)
        self.assertTrue(drives, "the drive dialog did not open")
        self.assertTrue(self.state()["guarded"], "the main window is usable behind the dialog")
        # Only the folder line here: "Check" is the default button.
        self.xdotool("windowfocus", "--sync", drives)
        self.xdotool("key", "Return")
        folders = wait_until(lambda: self.visible_window("^Select Folder$"), 20)
        self.assertTrue(folders, "the folder picker did not open")
        self.xdotool("windowfocus", "--sync", folders)
        self.xdotool("type", "--delay", "5", third_card)
        self.xdotool("key", "Return")
        users = [row[1:] for row in self.expected_rows() if row[3] == "USR"]
        state = wait_until(lambda: (s := self.state()) and not s["guarded"] and
                           [r[1:] for r in s["rows"]] == users and s, 20)
        self.assertTrue(state, f"the list did not show the chosen folder: {self.state()}")
        profile = os.path.join(self.tmp, "home", ".config", "Local application",
                               "QELV Viewer.conf")
        with open(profile, encoding="utf-8") as text:
            settings = text.read()
        self.assertIn("Folder0000=" + third_card, settings)

    def test_8_a_first_start_on_a_folder_without_recordings_says_so_and_ends(self):
        empty = os.path.join(self.tmp, "nothing-here")
        os.makedirs(empty, exist_ok=True)
        env = self.environment("runtime-empty-source")
        try:
            run = subprocess.run([os.path.join(BIN, "qelv-viewer"), "--source", empty], env=env,
                                 capture_output=True, text=True, timeout=60)
        except subprocess.TimeoutExpired:
            self.fail("the viewer started on a folder without recordings")
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertIn("no recordings in " + empty, run.stderr)

    def visible_window(self, name):
        found = self.xdotool("search", "--onlyvisible", "--name", name).stdout.split()
        return found[0] if found else None

    def answer_the_box(self, command, env, message):
        """Starts the viewer, expects one message box and answers it; the viewer must end."""
        lonely = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True)
        box = wait_until(lambda: self.xdotool("search", "--onlyvisible", "--pid", str(lonely.pid)).stdout.split(),
                         30)
        self.assertTrue(box, "no message box appeared")
        self.assertIsNone(lonely.poll(), "the viewer ended before the user read the message")
        # The box is the only window of that process: answering it ends the program.
        for window in box:
            self.xdotool("windowfocus", "--sync", window)
            self.xdotool("key", "Return")
        try:
            _, stderr = lonely.communicate(timeout=15)
        except subprocess.TimeoutExpired:
            lonely.kill()
            self.fail("the viewer did not end after its message box")
        self.assertEqual(lonely.returncode, 1)
        self.assertIn(message, stderr)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
