#!/usr/bin/env python3
"""Runs the real qelv-viewer under Xvfb on a simulated card and checks what a user sees:
the main window and the recording list in order, the single-instance rule, the docked panes
following the main window, the start without its skin file; and, on a three-camera card, the
recordings playing: moving pictures in the three panes, the read-outs and the control bar."""
import http.server
import json
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

BIN = os.environ.get("QELV_BIN", "")
# GStreamer, GLib and Qt keep allocations for the life of the process; leaks are checked by
# the unit tests, not here. The map's browser (Chromium) frees some objects through a base
# pointer of another size.
ASAN = "detect_leaks=0:new_delete_type_mismatch=0"
os.environ["ASAN_OPTIONS"] = ASAN


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


def png_tile():
    """A plain 256 x 256 PNG: what the tile server hands out for every tile."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\x00" + b"\x5a\xa0\x5a" * 256 for _ in range(256))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 256, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class TileServer:
    """A map tile server on this machine (the tests run offline): every path is one tile."""

    def __enter__(self):
        tile = png_tile()
        served = self.paths = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                served.append(self.path)
                self.send_response(200)
                self.send_header("Content-Type", "image/png")
                self.send_header("Content-Length", str(len(tile)))
                self.end_headers()
                self.wfile.write(tile)

            def log_message(self, *_):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.url = f"http://127.0.0.1:{self.server.server_port}/tiles/{{z}}/{{x}}/{{y}}.png"
        return self

    def __exit__(self, *_):
        self.server.shutdown()
        self.server.server_close()


class ViewerSession:
    """One viewer on its own Xvfb screen, card and runtime folder, and the ways a test talks to
    it: the state query and xdotool."""

    @classmethod
    def start_viewer(cls, prefix, card_arguments):
        cls.tmp = tempfile.mkdtemp(prefix=prefix)
        cls.card = os.path.join(cls.tmp, "card")
        subprocess.run([os.path.join(BIN, "qelv"), "demo-card", cls.card, *card_arguments],
                       check=True, stdout=subprocess.DEVNULL)
        cls.display = Display().__enter__()
        cls.tiles = TileServer().__enter__()
        cls.env = cls.environment("runtime")
        # The map takes its tiles from the local server.
        profile = os.path.join(cls.tmp, "home", ".config", "Local application")
        os.makedirs(profile, exist_ok=True)
        with open(os.path.join(profile, "QELV Viewer.conf"), "w", encoding="utf-8") as settings:
            settings.write(f"[Map]\nTileUrl={cls.tile_address()}\n")
        cls.viewer = subprocess.Popen([os.path.join(BIN, "qelv-viewer"), "--source", cls.card],
                                      env=cls.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        cls.first_state = wait_until(cls.shown_state, 60)

    @classmethod
    def tile_address(cls):
        """The map's tile address: the local tile server's."""
        return cls.tiles.url

    @classmethod
    def tearDownClass(cls):
        cls.viewer.terminate()
        try:
            cls.viewer.wait(10)
        except subprocess.TimeoutExpired:
            cls.viewer.kill()
        cls.display.__exit__()
        cls.tiles.__exit__()
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
                   ASAN_OPTIONS=ASAN, QTWEBENGINE_DISABLE_SANDBOX="1")
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

    @classmethod
    def xdotool(cls, *args):
        return subprocess.run(["xdotool", *args], env=cls.env, capture_output=True, text=True,
                              timeout=20)


class ViewerEndToEnd(ViewerSession, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_viewer("qelv-e2e-", ["--recordings", "6", "--seconds", "2", "--unfinished", "1",
                                       "--channels", "1"])

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

    def test_1b_the_map_shows_its_page_with_tiles_from_the_configured_server(self):
        state = wait_until(lambda: (s := self.state()) and s["map"]["pageLoaded"] != -1 and s, 30)
        self.assertTrue(state, "the map's tile server check did not answer")
        self.assertEqual(state["map"]["pageLoaded"], 1, state["map"])
        self.assertTrue(state["map"]["fixed"])
        pane = next(p for p in state["panes"] if p["key"] == 137)
        self.assertTrue(pane["visible"])
        self.assertEqual(pane["title"], "Map Viewer")
        self.assertEqual((pane["width"], pane["height"]), (315, 320))
        self.assertEqual((pane["x"], pane["y"]), (state["x"] + 810, state["y"]))
        self.assertTrue(wait_until(lambda: self.tiles.paths, 60), "the page asked for no tiles")
        self.assertTrue(all(path.startswith("/tiles/") for path in self.tiles.paths))

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
        map_pane = next(p for p in state["panes"] if p["key"] == 137)
        self.assertEqual((map_pane["x"], map_pane["y"]), (100 + 810, 40))
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


def read_ppm(path):
    """Width, height and the RGB bytes of a binary PPM (what qelv_screen_grab writes for .ppm)."""
    with open(path, "rb") as image:
        data = image.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"{path} is not an 8-bit binary PPM")
    return int(fields[1]), int(fields[2]), data[at + 1:]


def pane_rows(image, pane, inset=4):
    """The pixel rows of a pane's area in a screen image, without its frame."""
    width, _, pixels = image
    left, right = pane["x"] + inset, pane["x"] + pane["width"] - inset
    return [pixels[(row * width + left) * 3:(row * width + right) * 3]
            for row in range(pane["y"] + inset, pane["y"] + pane["height"] - inset)]


def compare_pane(before, after, pane):
    """Share of the pane's pixels that changed (a channel moved by more than 40) between two
    screen images, share of them that are lit (a channel above 40) in the later one, and the
    later one's mean colour."""
    changed = lit = total = 0
    sums = [0, 0, 0]
    for old, new in zip(pane_rows(before, pane), pane_rows(after, pane)):
        for i in range(0, len(new), 3):
            r, g, b = new[i], new[i + 1], new[i + 2]
            total += 1
            sums[0] += r
            sums[1] += g
            sums[2] += b
            if r > 40 or g > 40 or b > 40:
                lit += 1
            if abs(r - old[i]) > 40 or abs(g - old[i + 1]) > 40 or abs(b - old[i + 2]) > 40:
                changed += 1
    return changed / total, lit / total, [value / total for value in sums]


def seconds_of(read_out):
    minutes, seconds = read_out.split(":")
    return int(minutes) * 60 + int(seconds)


class ViewerOfflineMapEndToEnd(ViewerSession, unittest.TestCase):
    """The viewer started while its tile server is down: the page loads all the same, and the
    box that says so stays over the map pane (no window manager keeps it there), also when the
    "Map" button shows the pane again."""

    @classmethod
    def setUpClass(cls):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            cls.offline_port = probe.getsockname()[1]
        # Long enough to be still playing when the route is looked for.
        cls.start_viewer("qelv-e2e-offline-", ["--recordings", "1", "--seconds", "20",
                                               "--channels", "1", "--scale", "0.2"])

    @classmethod
    def tile_address(cls):
        return f"http://127.0.0.1:{cls.offline_port}/{{z}}/{{x}}/{{y}}.png"

    def test_1_the_box_stays_over_the_map_pane_where_it_can_be_clicked(self):
        state = wait_until(lambda: (s := self.state()) and s["map"]["online"] == 0 and s, 30)
        self.assertTrue(state, "the tile server check did not give up")
        self.assertEqual(state["map"]["pageLoaded"], 1, "the map page was not loaded offline")

        def box():
            for window in self.xdotool("search", "--onlyvisible", "--name",
                                       "^QELV Viewer$").stdout.split():
                geometry = self.xdotool("getwindowgeometry", "--shell", window).stdout
                values = dict(line.split("=") for line in geometry.split())
                if int(values["WIDTH"]) < 600:  # not the 820 x 790 main window
                    return window, values
            return None
        found = wait_until(box, 30, 0.2)
        self.assertTrue(found, "no box on the screen")
        window, geometry = found
        pane = next(p for p in self.state()["panes"] if p["key"] == 137)
        # The box's middle, which lies on the map pane.
        x = int(geometry["X"]) + int(geometry["WIDTH"]) // 2
        y = int(geometry["Y"]) + int(geometry["HEIGHT"]) // 2
        self.assertTrue(pane["x"] < x < pane["x"] + 315 and pane["y"] < y < pane["y"] + 320)

        def pointer_on_box():
            under = self.xdotool("mousemove", "--sync", str(x), str(y),
                                 "getmouselocation", "--shell").stdout
            found = re.search(r"WINDOW=(\d+)", under)
            return found and found.group(1) == window
        self.assertTrue(wait_until(pointer_on_box, 10, 0.2), "the box is under the map pane")

        # The main window's "Map" button hides the pane and shows it on top again: the box
        # stays over it.
        main = self.state()
        for _ in range(2):
            self.xdotool("mousemove", "--sync", str(main["x"] + 675), str(main["y"] + 12),
                         "click", "1", "mousemove", "--sync", "0", "0")
        self.assertTrue(wait_until(lambda: self.state()["map"]["visible"], 10, 0.2))
        self.assertTrue(wait_until(pointer_on_box, 10, 0.2),
                        "the box went under the map pane shown again")
        self.__class__.box_window = window

    def test_2_the_route_shows_on_the_grid_while_playing(self):
        # The box answered, the first recording played by a double-click in the list.
        self.xdotool("windowfocus", "--sync", self.box_window, "key", "Return")
        self.assertTrue(wait_until(lambda: not self.xdotool(
            "search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()[1:], 10, 0.2),
            "the box did not close")
        state = self.state()
        files = next(p for p in state["panes"] if p["key"] == 139)
        self.xdotool("mousemove", "--sync", str(files["x"] + files["width"] // 2),
                     str(files["y"] + 60), "click", "--repeat", "2", "--delay", "80", "1",
                     "mousemove", "--sync", "0", "0")
        state = wait_until(lambda: (s := self.state()) and s["player"]["state"] == 0
                           and s["telemetry"]["routePoints"] > 0 and s, 60, 0.2)
        self.assertTrue(state, f"the recording did not play with its route: {self.state()}")
        pane = next(p for p in state["panes"] if p["key"] == 137)

        def route_pixels():
            path = os.path.join(self.tmp, "offline-map.ppm")
            subprocess.run([os.path.join(BIN, "qelv_screen_grab"), path], env=self.env,
                           check=True, timeout=60)
            width, _, rgb = read_ppm(path)
            count = 0
            for y in range(pane["y"] + 24, pane["y"] + 314):
                for x in range(pane["x"] + 8, pane["x"] + 307):
                    r, g, b = rgb[(y * width + x) * 3:(y * width + x) * 3 + 3]
                    # The route's blue, 61 143 224.
                    count += abs(r - 61) < 40 and abs(g - 143) < 40 and abs(b - 224) < 40
            return count > 100 and count
        self.assertTrue(wait_until(route_pixels, 30, 0.5),
                        "the map pane shows no route while the recording plays offline")
        self.assertEqual(self.state()["map"]["online"], 0)


class ViewerPlaybackEndToEnd(ViewerSession, unittest.TestCase):
    """The viewer playing three-camera recordings: pictures, read-outs and the control bar."""
    SCREENS = (129, 130, 169)
    CONTROL = 135
    FILE_LIST = 139

    @classmethod
    def setUpClass(cls):
        # Long enough that a second at 2.0x and the rest of the checks never reach the end, also
        # on a loaded machine where each state query takes seconds.
        cls.start_viewer("qelv-e2e-play-", ["--recordings", "2", "--seconds", "40",
                                            "--channels", "3", "--categories", "N",
                                            "--scale", "0.2"])

    def fronts(self):
        """The card's front files in recording order, as the list shows them."""
        folder = os.path.join(self.card, "NOR", "FRONT")
        return sorted(os.path.join(folder, name) for name in os.listdir(folder))

    def pane(self, state, key):
        return next(p for p in state["panes"] if p["key"] == key)

    def player(self):
        state = self.state()
        return state["player"] if state else None

    def wait_player(self, check, timeout=60):
        return wait_until(lambda: (p := self.player()) and check(p) and p, timeout, 0.2)

    def timed_player(self):
        """The player's state and the wall time in the middle of the query, in ms."""
        start = time.monotonic()
        player = self.player()
        return player, (start + time.monotonic()) * 500

    def grab(self, name):
        path = os.path.join(self.tmp, name)
        run = subprocess.run([os.path.join(BIN, "qelv_screen_grab"), path], env=self.env,
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        return read_ppm(path)

    def click_control(self, x, y, what):
        """Clicks a point of the control bar and moves the pointer off the viewer at once: a
        button the pointer rests on raises the main window after a quarter of a second."""
        bar = self.pane(self.state(), self.CONTROL)
        bar_window = self.xdotool("search", "--name", "^Control$").stdout.split()
        under = self.xdotool("mousemove", "--sync", str(bar["x"] + x), str(bar["y"] + y),
                             "getmouselocation", "--shell").stdout
        window = re.search(r"WINDOW=(\d+)", under)
        self.assertTrue(window and window.group(1) in bar_window,
                        f"the control bar is not on top where {what} is: {under!r}")
        self.xdotool("click", "1", "mousemove", "--sync", "0", "0")

    def click_button(self, x, what):
        self.click_control(x + 10, 33, what)

    def keys(self, *names):
        window = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.assertTrue(window)
        self.xdotool("windowfocus", "--sync", window[0], "key", "--delay", "50", *names)

    def speed(self, window_seconds=3.0):
        """Position advance per wall second while playing, measured over window_seconds."""
        first, start_ms = self.timed_player()
        time.sleep(window_seconds)  # the measuring window, not a wait for a condition
        last, end_ms = self.timed_player()
        self.assertEqual((first["state"], last["state"]), (0, 0), "playback stopped meanwhile")
        self.assertEqual(first["row"], last["row"], "another recording started meanwhile")
        return (last["positionMs"] - first["positionMs"]) / (end_ms - start_ms)

    def test_1_a_double_click_plays_three_moving_pictures(self):
        state = self.first_state
        self.assertIsNotNone(state, "the viewer did not show its windows")
        self.assertEqual(len(state["rows"]), 2)
        self.assertEqual(state["player"]["state"], 3, "something plays before the double-click")
        files = self.pane(state, self.FILE_LIST)
        # The first row sits under the list's header, about 60 px below the pane's top.
        self.xdotool("mousemove", "--sync", str(files["x"] + files["width"] // 2),
                     str(files["y"] + 60), "click", "--repeat", "2", "--delay", "80", "1",
                     "mousemove", "--sync", "0", "0")
        player = self.wait_player(lambda p: p["state"] == 0 and min(p["painted"]) > 0)
        self.assertTrue(player, f"the first recording did not play: {self.player()}")
        self.assertEqual(player["row"], 0)
        self.assertEqual(player["path"], self.fronts()[0])
        self.assertEqual(player["channels"], [0, 1, 2])
        state = self.state()
        before = self.grab("playing-1.ppm")
        time.sleep(1.0)  # the interval between the two pictures
        after = self.grab("playing-2.ppm")
        colours = []
        for key in self.SCREENS:
            changed, lit, colour = compare_pane(before, after, self.pane(state, key))
            self.assertGreater(changed, 0.005, f"the picture in pane {key} did not move")
            self.assertGreater(lit, 0.5, f"pane {key} is dark")
            colours.append(colour)
        # Each pane shows its own camera: the simulator gives every camera its own colour.
        for a in range(3):
            for b in range(a + 1, 3):
                distance = max(abs(x - y) for x, y in zip(colours[a], colours[b]))
                self.assertGreater(distance, 30, f"panes {a} and {b} show the same picture")

    def test_2_the_position_read_out_advances(self):
        first = self.player()
        self.assertEqual(first["state"], 0)
        later = self.wait_player(
            lambda p: seconds_of(p["position"]) >= seconds_of(first["position"]) + 2, 30)
        self.assertTrue(later, f"the position stayed at {first['position']}: {self.player()}")
        self.assertEqual(later["duration"], "00:40")

    def test_2b_the_graph_seeks_and_the_telemetry_follows(self):
        """A click in the G-sensor graph jumps there; the sensor strip shows the drive and the
        map the route. (The graph's click comes first: it takes playback back near the start,
        so that the recording does not end under the next tests.)"""
        self.assertEqual(self.player()["row"], 0)
        self.click_button(663, "Sensor Information")
        state = wait_until(lambda: (s := self.state()) and s["telemetry"]["graphVisible"] and s,
                           30, 0.2)
        self.assertTrue(state, "the sensor button did not show the G-sensor graph")
        graph = self.pane(state, 155)
        x = graph["x"] + 51 + 1000 * 483 // 60000 + 1
        y = graph["y"] + 150
        # The window system maps the graph a moment after the viewer shows it.
        graph_windows = wait_until(
            lambda: self.xdotool("search", "--onlyvisible", "--name",
                                 "^G-Sensor Graph$").stdout.split(), 30, 0.2)
        self.assertTrue(graph_windows, "the G-sensor graph has no visible window")

        def pointer_on_graph():
            under = self.xdotool("mousemove", "--sync", str(x), str(y),
                                 "getmouselocation", "--shell").stdout
            window = re.search(r"WINDOW=(\d+)", under)
            return window and window.group(1) in graph_windows
        self.assertTrue(wait_until(pointer_on_graph, 30, 0.2),
                        "the G-sensor graph is not on top where it was shown")
        before = self.player()
        clicked = round(time.monotonic(), 2)
        self.xdotool("click", "1", "mousemove", "--sync", "0", "0")
        seen = []
        player = self.wait_player(
            lambda p: seen.append((round(time.monotonic(), 2), p["row"], p["positionMs"]))
            or (p["row"] == 0 and p["positionMs"] < 4000), 30)
        self.assertTrue(player, f"the click at {x}, {y} in the graph did not seek to 1 s from "
                                f"{before['positionMs']} at {clicked}: seen {seen}")

        state = wait_until(lambda: (s := self.state()) and s["telemetry"]["samples"] == 40
                           and s["telemetry"]["routePoints"] > 0 and s, 30, 0.2)
        self.assertTrue(state, f"the recording's telemetry was not read: {self.state()}")
        # The simulated drive has no fix in its first two seconds.
        self.assertEqual(state["telemetry"]["routePoints"], 38)
        texts = wait_until(lambda: (t := self.state()["telemetry"]["panel"])
                           and t[2] != "000 [km/h]" and t[4] != "0.000" and t, 30, 0.2)
        self.assertTrue(texts, f"the strip shows no speed or G: {self.state()['telemetry']}")
        self.assertRegex(texts[0], r"^N\d+\.\d{6}$")
        self.assertRegex(texts[1], r"^E\d+\.\d{6}$")
        self.assertRegex(texts[2], r"^\d{3} \[km/h\]$")

        self.click_button(663, "Sensor Information")
        state = wait_until(lambda: (s := self.state()) and not s["telemetry"]["graphVisible"]
                           and s, 30, 0.2)
        self.assertTrue(state, "the sensor button did not hide the G-sensor graph")
        self.assertEqual(self.player()["row"], 0)

    def test_3_stop_returns_to_the_start(self):
        self.assertNotEqual(self.player()["position"], "00:00")
        self.click_button(240, "Stop")
        player = self.wait_player(lambda p: p["state"] == 2 and p["position"] == "00:00", 30)
        self.assertTrue(player, f"Stop did not stop at the start: {self.player()}")

    def test_4_next_file_plays_the_second_recording(self):
        self.click_button(200, "Play")
        player = self.wait_player(lambda p: p["state"] == 0 and p["row"] == 0, 30)
        self.assertTrue(player, f"Play did not play the first recording again: {self.player()}")
        self.click_button(320, "Next File")
        # The bar takes the next recording after a one-second pause.
        player = self.wait_player(lambda p: p["row"] == 1 and p["state"] == 0, 60)
        self.assertTrue(player, f"Next File did not play the second recording: {self.player()}")
        self.assertEqual(player["path"], self.fronts()[1])
        start = player["positionMs"]
        self.assertTrue(self.wait_player(lambda p: p["positionMs"] >= start + 1000, 30),
                        f"the second recording does not advance: {self.player()}")

    def test_5_the_rate_slider_changes_the_speed_both_ways(self):
        self.assertEqual(self.player()["state"], 0)
        # The right end of the rate slider (85 px wide at x 552) is x2.0.
        self.click_control(552 + 82, 7, "the rate slider")
        player = self.wait_player(lambda p: p["ratePosition"] == 10, 30)
        self.assertTrue(player, f"the rate slider did not go to its end: {self.player()}")
        self.assertEqual(player["rate"], "x2.0")
        start = player["positionMs"]
        self.wait_player(lambda p: p["positionMs"] >= start + 500, 30)
        fast = self.speed()
        self.assertTrue(1.5 <= fast <= 2.6, f"x2.0 plays {fast:.2f} s a second")
        # Four steps slower from the keyboard lead back to x1.0.
        self.keys("bracketleft", "bracketleft", "bracketleft", "bracketleft")
        player = self.wait_player(lambda p: p["ratePosition"] == 6, 30)
        self.assertTrue(player, f"the keys did not bring the rate back: {self.player()}")
        self.assertEqual(player["rate"], "x1.0")
        start = player["positionMs"]
        self.wait_player(lambda p: p["positionMs"] >= start + 300, 30)
        normal = self.speed()
        self.assertTrue(0.7 <= normal <= 1.3, f"x1.0 plays {normal:.2f} s a second")


class ViewerIncidentsEndToEnd(ViewerSession, unittest.TestCase):
    """The incidents view of a card with planted incidents: listed most severe first, and a
    double-click plays the recording from 5 s before the incident."""
    FILE_LIST = 139

    @classmethod
    def setUpClass(cls):
        cls.plan_file = tempfile.NamedTemporaryFile(suffix=".jsonl", delete=False).name
        cls.start_viewer("qelv-e2e-incidents-", ["--recordings", "3", "--seconds", "40",
                                                 "--channels", "1", "--categories", "N",
                                                 "--scale", "0.2", "--incidents", "2",
                                                 "--plan", cls.plan_file])

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        os.unlink(cls.plan_file)

    def planted(self):
        with open(self.plan_file, encoding="utf-8") as plan:
            return [json.loads(line) for line in plan if line.strip()]

    def test_1_the_top_incident_plays_from_five_seconds_before(self):
        state = self.first_state
        self.assertIsNotNone(state, "the viewer did not show its windows")
        files = next(p for p in state["panes"] if p["key"] == self.FILE_LIST)
        # The category combo ends 255 px into the pane; INCIDENTS is its last entry.
        self.xdotool("mousemove", "--sync", str(files["x"] + 245), str(files["y"] + 15),
                     "click", "1")
        time.sleep(0.5)  # the combo's list opens
        self.xdotool("key", "--delay", "100", "End", "Return")
        state = wait_until(lambda: (s := self.state()) and s["incidents"]["shown"] and
                           s["incidents"]["complete"] and s, 60, 0.2)
        self.assertTrue(state, f"the incidents view did not scan the card: {self.state()}")
        rows = state["incidents"]["rows"]
        planted = self.planted()
        self.assertGreaterEqual(len(rows), len(planted) - 1, rows)
        severities = [float(row["cells"][3]) for row in rows]
        self.assertEqual(severities, sorted(severities, reverse=True), "not most severe first")
        top = rows[0]
        kinds = {"Braking": "braking", "Impact": "impact", "Swerve": "swerve"}
        match = [p for p in planted if os.path.samefile(p["file"], top["path"]) and
                 p["kind"] == kinds[top["cells"][2]] and
                 abs(p["second"] * 1000 - top["startMs"]) <= 1000]
        self.assertTrue(match, f"the top incident {top} was not planted: {planted}")

        self.xdotool("mousemove", "--sync", str(files["x"] + files["width"] // 2),
                     str(files["y"] + 60), "click", "--repeat", "2", "--delay", "80", "1",
                     "mousemove", "--sync", "0", "0")
        target = max(0, top["startMs"] - 5000)
        player = wait_until(lambda: (s := self.state()) and s["player"]["state"] in (0, 1) and
                            s["player"]["path"] == top["path"] and s["player"], 60, 0.2)
        self.assertTrue(player, f"the recording did not open: {self.state()}")
        # The seek comes right after the opening; at 1.0x playback alone could not get from the
        # start to the target in these 5 s when the target is further in.
        player = wait_until(lambda: (p := self.state()["player"]) and
                            seconds_of(p["position"]) >= target // 1000 - 1 and p, 5, 0.2) or player
        # The read-out shows whole seconds; the recording plays on while the state is read.
        shown = seconds_of(player["position"])
        self.assertTrue(target // 1000 - 1 <= shown <= target // 1000 + 3,
                        f"playing from {player['position']}, not 5 s before {top['startMs']} ms")



class ViewerTripEndToEnd(ViewerSession, unittest.TestCase):
    """A drive of two one-minute recordings played as one trip from the Trip Timeline: the
    read-outs span the trip, a click on the timeline seeks across the joint, the first
    recording's end hands over to the second without a stop, and the map shows the whole
    route."""
    TIMELINE = 170
    TRIP_MS = 120000

    @classmethod
    def setUpClass(cls):
        cls.start_viewer("qelv-e2e-trip-", ["--recordings", "2", "--seconds", "60",
                                            "--channels", "1", "--categories", "N",
                                            "--scale", "0.1"])

    def click_at_trip_time(self, pane, ms):
        # The plot runs 730 px from x 50 of the pane, the whole trip when first shown.
        x = pane["x"] + 50 + round(ms * 730 / self.TRIP_MS)
        self.xdotool("mousemove", "--sync", str(x), str(pane["y"] + 120), "click", "1",
                     "mousemove", "--sync", "0", "0")

    def player_when(self, check, timeout=60):
        return wait_until(lambda: (s := self.state()) and check(s["player"]) and s["player"],
                          timeout, 0.2)

    def test_1_a_trip_plays_across_its_joint(self):
        self.assertIsNotNone(self.first_state, "the viewer did not show its windows")
        window = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.xdotool("windowfocus", "--sync", window[0], "key", "t")
        state = wait_until(lambda: (s := self.state()) and s["timeline"]["trips"] >= 1 and s,
                           60, 0.2)
        self.assertTrue(state, f"the timeline did not read the trip: {self.state()}")
        pane = next(p for p in state["panes"] if p["key"] == self.TIMELINE)
        # "Play trip", at the top of the pane.
        self.xdotool("mousemove", "--sync", str(pane["x"] + 605), str(pane["y"] + 20), "click",
                     "1", "mousemove", "--sync", "0", "0")
        player = self.player_when(lambda p: p["tripIndex"] == 0 and p["state"] == 0)
        self.assertTrue(player, f"the trip did not play: {self.state()['player']}")
        self.assertTrue(119 <= seconds_of(player["duration"]) <= 121, player["duration"])

        self.click_at_trip_time(pane, 90000)  # into the second recording
        player = self.player_when(lambda p: p["tripIndex"] == 1 and p["state"] == 0, 30)
        self.assertTrue(player, f"no seek across the joint: {self.state()['player']}")
        self.assertTrue(player["path"].endswith("120100_1CH_N_F.mp4"), player["path"])
        self.assertTrue(88 <= seconds_of(player["position"]) <= 97, player["position"])

        self.click_at_trip_time(pane, 56000)  # back, a few seconds before the joint
        self.assertTrue(self.player_when(lambda p: p["tripIndex"] == 0, 30))
        player = self.player_when(lambda p: p["tripIndex"] == 1 and p["state"] == 0, 40)
        self.assertTrue(player, f"the second recording did not take over: {self.state()['player']}")
        self.assertGreaterEqual(seconds_of(player["position"]), 59)
        route = self.state()["map"]
        self.assertGreater(route["tripEndMs"], 100000, f"the map has no whole-trip route: {route}")

if __name__ == "__main__":
    if len(sys.argv) > 1:
        BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
