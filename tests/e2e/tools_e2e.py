#!/usr/bin/env python3
"""Runs the real qelv-viewer under Xvfb on a demo card that the drive discovery sees as a
mounted FAT card (a fake block-device tree and mount table), and opens each card tool from the
control bar: the storage information with the card's figures, the recorder's settings and the
accident report; each blocks the panes while it is open and closes with its own button.

With QELV_E2E_SHOTS set to a folder, a screenshot of each dialog is saved there."""
import os
import shutil
import subprocess
import sys
import unittest

import viewer_e2e
from viewer_e2e import ViewerSession, wait_until

CONTROL = 135
FILE_LIST = 139
SIZES = {"NOR": 70, "EVT": 35, "MOT": 35, "USR": 35}
SHARES = {"NOR": 50, "EVT": 20, "MOT": 20, "USR": 10}


class ViewerToolsEndToEnd(ViewerSession, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_viewer("qelv-e2e-tools-", ["--recordings", "4", "--seconds", "20",
                                             "--channels", "1", "--scale", "0.2"])

    @classmethod
    def environment(cls, runtime):
        """The card shows as partition sdq1 of a removable disk, mounted as FAT."""
        env = super().environment(runtime)
        sysfs = os.path.join(cls.tmp, "sys")
        part = os.path.join(sysfs, "block", "sdq", "sdq1")
        os.makedirs(part, exist_ok=True)
        with open(os.path.join(sysfs, "block", "sdq", "removable"), "w", encoding="ascii") as f:
            f.write("1\n")
        with open(os.path.join(part, "partition"), "w", encoding="ascii") as f:
            f.write("1\n")
        # The device node lies in a folder of its own, so that no disk service can ever find a
        # real device by that name.
        devices = os.path.join(cls.tmp, "dev")
        os.makedirs(devices, exist_ok=True)
        mountinfo = os.path.join(cls.tmp, "mountinfo")
        with open(mountinfo, "w", encoding="ascii") as f:
            f.write(f"40 1 65:1 / {cls.card} rw,relatime shared:1 - vfat {devices}/sdq1 rw\n")
        # The card's folder is this machine's removable-media folder, and it has no swap.
        swaps = os.path.join(cls.tmp, "swaps")
        with open(swaps, "w", encoding="ascii") as f:
            f.write("Filename\tType\tSize\tUsed\tPriority\n")
        env.update(QELV_SYSFS=sysfs, QELV_MOUNTINFO=mountinfo, QELV_DEV=devices,
                   QELV_SWAPS=swaps, QELV_MEDIA=cls.tmp)
        return env

    def dialog(self, title):
        state = self.state()
        found = [d for d in state["dialogs"] if d["title"] == title] if state else []
        return found[0] if found else None

    def panes_guarded(self):
        """The main window and the panes one could click behind a tool (not the sensor panel
        and the screen settings, which only show)."""
        state = self.state()
        return state and state["guarded"] and all(
            p["guarded"] for p in state["panes"] if p["key"] not in (136, 159)) and state

    def click_bar_button(self, x, what):
        bar = next(p for p in self.state()["panes"] if p["key"] == CONTROL)
        self.xdotool("mousemove", "--sync", str(bar["x"] + x + 10), str(bar["y"] + 33),
                     "click", "1", "mousemove", "--sync", "0", "0")

    def click_in(self, dialog, x, y):
        self.xdotool("mousemove", "--sync", str(dialog["x"] + x), str(dialog["y"] + y),
                     "click", "1", "mousemove", "--sync", "0", "0")

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

    def open_tool(self, x, title):
        self.click_bar_button(x, title)
        dialog = wait_until(lambda: self.dialog(title), 60, 0.3)
        self.assertTrue(dialog, f"{title} did not open")
        self.assertTrue(wait_until(self.panes_guarded, 30, 0.3),
                        f"the panes are not blocked while {title} is open: "
                        f"{[(p['key'], p['visible'], p['guarded']) for p in self.state()['panes']]}")
        return dialog

    def close_tool(self, title, x, y):
        self.click_in(self.dialog(title), x, y)
        self.assertTrue(wait_until(lambda: self.dialog(title) is None, 30, 0.3),
                        f"{title} did not close")
        state = wait_until(lambda: (s := self.state()) and not s["guarded"] and not any(
            p["guarded"] for p in s["panes"]) and s, 30, 0.3)
        self.assertTrue(state, "the panes stayed blocked after the dialog closed")

    def expected_storage(self):
        info = os.statvfs(self.card)
        total = info.f_blocks * info.f_frsize // (1024 * 1024)
        texts = {}
        for i, folder in enumerate(("NOR", "EVT", "MOT", "USR")):
            front = os.path.join(self.card, folder, "FRONT")
            count = len([n for n in os.listdir(front) if n.split("_")[4:5] == ["F.mp4"]]) \
                if os.path.isdir(front) else 0
            budget = total * SHARES[folder] // 100
            texts[f"control{(1332, 1338, 1339, 1340)[i]}"] = \
                f"Total: {budget} MB / Used: {count * SIZES[folder]} MB"
        texts["control1324"] = f"{self.card}/ ({total / 1024:.2f} GB)"
        return texts

    def test_1_storage_information_shows_the_card_and_closes(self):
        dialog = self.open_tool(728, "STORAGE INFORMATION")
        expected = self.expected_storage()
        dialog = wait_until(lambda: (d := self.dialog("STORAGE INFORMATION")) and
                            d["texts"].get("control1324") == expected["control1324"] and d,
                            30, 0.3)
        self.assertTrue(dialog, f"the card's capacity is not shown: "
                                f"{self.dialog('STORAGE INFORMATION')}")
        self.assertEqual(dialog["texts"]["control1300"], self.card + "/")
        for name, text in expected.items():
            self.assertEqual(dialog["texts"][name], text, name)
        self.assertEqual(dialog["texts"]["control1344"], "Ready...")
        self.shot("storage-information")
        # A format of this card cannot happen (its device is no disk of the machine): the
        # dialog says what really happened instead of reporting success.
        self.click_in(dialog, 67, 324)
        self.answer_box("All data will be erased")
        dialog = wait_until(lambda: (d := self.dialog("STORAGE INFORMATION")) and
                            d["texts"]["control1344"].startswith("Format ") and
                            d["texts"]["control1344"] != "Format Started." and d, 60, 0.3)
        self.assertTrue(dialog, f"no outcome: {self.dialog('STORAGE INFORMATION')}")
        self.assertNotIn("Completed", dialog["texts"]["control1344"])
        self.answer_box(dialog["texts"]["control1344"][:20])
        self.assertTrue(os.path.isdir(os.path.join(self.card, "NOR")), "the card was touched")
        self.close_tool("STORAGE INFORMATION", 385, 398)

    def answer_box(self, text, button="OK"):
        """Clicks `button` of the message box that shows `text`."""
        def showing(state):
            """The box: a dialog with the text and the button (the storage dialog's status
            line may say the same)."""
            return next((d for d in state["dialogs"] if (any(
                text in t for t in d["texts"].values()) or text in d["title"]) and any(
                b["text"].replace("&", "") == button for b in d["buttons"])), None)

        box = wait_until(lambda: (s := self.state()) and showing(s), 30, 0.3)
        self.assertTrue(box, f"no box saying {text!r}: {self.state()['dialogs']}")
        target = next((b for b in box["buttons"] if b["text"].replace("&", "") == button), None)
        self.assertTrue(target, f"the box saying {text!r} has no {button}: {box}")
        self.xdotool("mousemove", "--sync", str(target["x"]), str(target["y"]), "click", "1",
                     "mousemove", "--sync", "0", "0")
        # The next box may come up at the same place at once: this one is gone when its text is.
        self.assertTrue(wait_until(lambda: not showing(self.state()), 30, 0.3),
                        f"the box saying {text!r} stayed")

    def test_2_device_settings_open_on_the_card_and_close(self):
        self.open_tool(753, "Device Settings")
        self.assertTrue(os.path.isfile(os.path.join(self.card, "SETUP", "setup.ini")),
                        "the recorder's settings file was not created on the card")
        self.shot("device-settings")
        self.close_tool("Device Settings", 685, 19)

    def test_3_the_accident_report_of_the_playing_recording(self):
        window = self.xdotool("search", "--onlyvisible", "--name", "^QELV Viewer$").stdout.split()
        self.xdotool("windowfocus", "--sync", window[0], "key", "space")
        playing = wait_until(lambda: (s := self.state()) and s["player"]["state"] == 0 and
                             s["player"]["positionMs"] > 500 and s, 60, 0.3)
        self.assertTrue(playing, f"the recording does not play: {self.state()['player']}")
        self.open_tool(503, "Accident Report")
        report = self.dialog("Accident Report")
        self.assertIn("1. Vehicle Number:", report["texts"]["reportForm"])
        self.assertEqual((report["width"], report["height"]), (936, 701))
        self.shot("accident-report")
        self.close_tool("Accident Report", 894, 40)
        # Playback goes on after the report.
        start = self.state()["player"]["positionMs"]
        self.assertTrue(wait_until(lambda: self.state()["player"]["positionMs"] > start + 500,
                                   30, 0.3), "playback did not go on after the report")

    def test_4_no_settings_file_once_the_card_is_gone(self):
        """A card taken out leaves its mount point behind: a folder on the PC's own disk."""
        mountinfo = os.path.join(self.tmp, "mountinfo")
        with open(mountinfo, encoding="ascii") as f:
            table = f.read()
        shutil.rmtree(os.path.join(self.card, "SETUP"))
        try:
            with open(mountinfo, "w", encoding="ascii") as f:
                f.write("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n")
            self.click_bar_button(753, "Device Settings")
            self.answer_box("is no longer mounted")
        finally:
            with open(mountinfo, "w", encoding="ascii") as f:
                f.write(table)
        self.assertFalse(os.path.exists(os.path.join(self.card, "SETUP")))


if __name__ == "__main__":
    if len(sys.argv) > 1:
        viewer_e2e.BIN = sys.argv.pop(1)
    unittest.main(verbosity=2)
