#!/usr/bin/env python3
"""Runs the real qelv-viewer under Xvfb, plays a two-camera recording and exports a clip of it
through the viewer: E opens "Export clip" with a span around the position, "Export..." asks
for the file in the save dialog, playback goes on while the clip is written, and the clip that
arrives has the span's length, both cameras' size of picture and sound, with nothing else left
in its folder.

With QELV_E2E_SHOTS set to a folder, the dialog and a frame of the clip are saved there."""
import json
import os
import re
import subprocess
import sys
import unittest

import viewer_e2e
from viewer_e2e import ViewerSession, wait_until


class ViewerExportEndToEnd(ViewerSession, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_viewer("qelv-e2e-export-", ["--recordings", "2", "--seconds", "20",
                                              "--channels", "2", "--categories", "N",
                                              "--scale", "0.2"])

    def dialog(self, title, button):
        """The open dialog titled `title` that has `button`."""
        state = self.state()
        return next((d for d in (state["dialogs"] if state else []) if d["title"] == title and any(
            b["text"].replace("&", "") == button for b in d["buttons"])), None)

    def click(self, dialog, button):
        target = next(b for b in dialog["buttons"] if b["text"].replace("&", "") == button)
        self.xdotool("mousemove", "--sync", str(target["x"]), str(target["y"]), "click", "1",
                     "mousemove", "--sync", "0", "0")

    def answer_box(self, text, button):
        def showing():
            state = self.state()
            return next((d for d in (state["dialogs"] if state else []) if any(
                text in t for t in d["texts"].values()) and any(
                b["text"].replace("&", "") == button for b in d["buttons"])), None)

        box = wait_until(showing, 600, 0.5)
        self.assertTrue(box, f"no box saying {text!r}: {self.state()['dialogs']}")
        self.click(box, button)
        self.assertTrue(wait_until(lambda: not showing(), 30, 0.3), f"the box {text!r} stayed")
        return box

    def shot(self, name):
        folder = os.environ.get("QELV_E2E_SHOTS")
        if not folder:
            return
        ppm = os.path.join(self.tmp, name + ".ppm")
        subprocess.run([os.path.join(viewer_e2e.BIN, "qelv_screen_grab"), ppm], env=self.env,
                       check=True, timeout=60)
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", ppm,
                        os.path.join(folder, name + ".png")], check=True, timeout=60)

    def probe(self, clip):
        run = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                              "stream=codec_type,width,height,duration", "-of", "json", clip],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        return json.loads(run.stdout)["streams"]

    def test_1_a_clip_exported_from_the_viewer_while_it_plays(self):
        window = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.assertTrue(window)
        self.xdotool("windowfocus", "--sync", window[0], "key", "space")
        playing = wait_until(lambda: (s := self.state()) and s["player"]["state"] == 0 and
                             s["player"]["positionMs"] > 3000 and s, 60, 0.3)
        self.assertTrue(playing, f"the recording does not play: {self.state()['player']}")
        self.xdotool("windowfocus", "--sync", window[0], "key", "e")
        dialog = wait_until(lambda: self.dialog("Export clip", "Export..."), 60, 0.3)
        self.assertTrue(dialog, f"Export clip did not open: {self.state()['dialogs']}")
        front = os.path.basename(self.state()["player"]["path"])
        self.assertEqual(dialog["texts"]["exportRecording"], front)
        length = float(re.match(r"([0-9.]+) s", dialog["texts"]["exportLength"]).group(1))
        self.assertGreater(length, 15.0, "the span is not 15 s either side, clamped at 0")
        self.shot("export-clip-dialog")

        self.click(dialog, "Export...")
        self.assertTrue(wait_until(lambda: self.dialog("Save the clip as", "Save"), 60, 0.3),
                        f"no save dialog: {self.state()['dialogs']}")
        out = os.path.join(self.tmp, "exported")
        os.makedirs(out)
        clip = os.path.join(out, "incident.mp4")
        saver = self.xdotool("search", "--onlyvisible", "--name", "^Save the clip as$").stdout
        self.assertTrue(saver.split(), "the save dialog has no window")
        self.xdotool("windowfocus", "--sync", saver.split()[0], "key", "ctrl+a")
        self.xdotool("type", "--delay", "20", clip)
        self.xdotool("key", "Return")

        # Exporting: the dialog's button turns into Cancel and playback goes on meanwhile.
        exporting = wait_until(lambda: self.dialog("Export clip", "Cancel"), 60, 0.2)
        if exporting:
            start = self.state()["player"]
            self.assertTrue(wait_until(lambda: (p := self.state()["player"]) and (
                p["positionMs"] > start["positionMs"] + 300 or p["row"] != start["row"]), 30,
                0.2), "playback stopped while the clip was written")
        self.answer_box("Clip saved as", "No")
        self.assertEqual(os.listdir(out), ["incident.mp4"], "something else was left behind")
        streams = self.probe(clip)
        video = [s for s in streams if s["codec_type"] == "video"]
        self.assertEqual(len(video), 1)
        self.assertEqual((video[0]["width"], video[0]["height"]), (1920, 1080))
        self.assertAlmostEqual(float(video[0]["duration"]), length, delta=0.1)
        self.assertTrue(any(s["codec_type"] == "audio" for s in streams), "the clip has no sound")
        status = self.dialog("Export clip", "Export...")["texts"]["exportStatus"]
        self.assertTrue(status.startswith("Saved " + clip), status)

        folder = os.environ.get("QELV_E2E_SHOTS")
        if folder:
            subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-ss", "5", "-i", clip,
                            "-frames:v", "1", "-vf", "scale=960:540",
                            os.path.join(folder, "exported-clip.png")], check=True, timeout=60)
        self.click(self.dialog("Export clip", "Close"), "Close")
        self.assertTrue(wait_until(lambda: self.dialog("Export clip", "Close") is None, 30, 0.3),
                        "the dialog did not close")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        viewer_e2e.BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
