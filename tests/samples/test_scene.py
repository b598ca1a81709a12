"""Tests of the scene generator samples/scene.py: its truth agrees with its
pixels and with itself, scripted motions give their known measures, the frame
stream and times fit together, runs repeat exactly, bad input is refused, and
the bundled sample silhouettes stay as they are."""

import csv
import filecmp
import json
import math
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import numpy as np

SAMPLES = Path(__file__).resolve().parents[2] / "samples"
SCENE = SAMPLES / "scene.py"
# The drawn body alone, on a flat floor, not blurred by motion.
BODY_ONLY = ["--flat", "--no-tail", "--legs", "0", "--no-ears", "--blur", "0"]


def run_scene(folder, *options):
    """Runs scene.py into folder: (frames as an array, truth rows, info)."""
    folder = Path(folder)
    subprocess.run([sys.executable, str(SCENE), *options, "--out", str(folder / "f.raw"),
                    "--truth", str(folder / "t.csv"), "--info", str(folder / "i.json"),
                    "--times", str(folder / "times")], check=True)
    info = json.loads((folder / "i.json").read_text())
    frames = np.fromfile(folder / "f.raw", np.uint8).reshape(-1, info["height"], info["width"])
    with open(folder / "t.csv") as f:
        rows = list(csv.DictReader(f))
    return frames, rows, info


def number(row, key):
    return float(row[key]) if row[key] != "" else math.nan


def darkness(frame, info, arena):
    """The animal's share of each pixel of an arena on a flat floor (0 floor,
    1 body), and the arena's pixel columns and rows."""
    x, y, w, h = arena["rect"]
    floor = 210.0 if info["settings"]["polarity"] == "dark" else 42.0
    body = 28.0 if info["settings"]["polarity"] == "dark" else 222.0
    share = (frame[y:y + h, x:x + w].astype(float) - floor) / (body - floor)
    return np.clip(share, 0, 1), np.arange(x, x + w), np.arange(y, y + h)


class TruthAgreesWithPixels(unittest.TestCase):
    def test_body_centroid_and_area(self):
        cases = [
            ("mouse 640x480 dark", ["--size", "640x480"]),
            ("rat 1920x1080 light", ["--size", "1920x1080", "--length", "400", "--polarity", "light"]),
            ("two arenas, small pups", ["--size", "1280x480", "--arenas", "2", "--length", "50"]),
        ]
        for name, options in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                frames, rows, info = run_scene(tmp, *options, *BODY_ONLY, "--script", "walk:2,turn:-1,walk",
                                               "--duration", "3", "--fps", "5")
                for row in rows:
                    arena = info["arenas"][int(row["arena"])]
                    share, xs, ys = darkness(frames[int(row["frame"])], info, arena)
                    area = share.sum()
                    self.assertAlmostEqual(area / arena["body_area_px"], 1.0, delta=0.01, msg=row)
                    cx = (share.sum(axis=0) * xs).sum() / area
                    cy = (share.sum(axis=1) * ys).sum() / area
                    self.assertAlmostEqual(cx, number(row, "center_x"), delta=0.05, msg=row)
                    self.assertAlmostEqual(cy, number(row, "center_y"), delta=0.05, msg=row)

    def test_partly_and_wholly_out_of_view(self):
        # The floor fills the frame; the animal walks out over each edge,
        # and is lifted out.
        script = "at:80:240:180,exit:0.3,to:560:240,exit:0.3,to:320:80,exit:0.3,to:320:400,exit:0.3,away:0.5"
        with tempfile.TemporaryDirectory() as tmp:
            frames, rows, info = run_scene(tmp, "--margin", "0", *BODY_ONLY, "--script", script, "--fps", "10")
            arena = info["arenas"][0]
            seen = {"none": 0, "part": 0, "whole": 0}
            for row, frame in zip(rows, frames):
                share, xs, ys = darkness(frame, info, arena)
                visible = float(row["visible"])
                self.assertAlmostEqual(share.sum() / arena["body_area_px"], visible, delta=0.005, msg=row)
                if visible == 0:
                    self.assertEqual(row["center_x"], "", row)
                elif 0.05 < visible < 1:    # slivers are mostly soft edge
                    cx = (share.sum(axis=0) * xs).sum() / share.sum()
                    cy = (share.sum(axis=1) * ys).sum() / share.sum()
                    self.assertAlmostEqual(cx, number(row, "center_x"), delta=0.1, msg=row)
                    self.assertAlmostEqual(cy, number(row, "center_y"), delta=0.1, msg=row)
                seen["none" if visible == 0 else "part" if visible < 1 else "whole"] += 1
            self.assertTrue(all(seen.values()), seen)

    def test_tail_tip_is_on_the_drawn_tail(self):
        with tempfile.TemporaryDirectory() as tmp:
            frames, rows, info = run_scene(tmp, "--flat", "--blur", "0", "--legs", "0", "--script", "walk:2,curl:1",
                                           "--fps", "10")
            shown = [r for r in rows if r["tail_visible"] == "1"]
            self.assertGreater(len(shown), 0)
            for row in shown:
                base = np.array([number(row, "tail_base_x"), number(row, "tail_base_y")])
                tip = np.array([number(row, "tail_tip_x"), number(row, "tail_tip_y")])
                nose = np.array([number(row, "nose_x"), number(row, "nose_y")])
                self.assertLess(np.linalg.norm(tip - base), np.linalg.norm(tip - nose), row)
                x, y = np.round(tip).astype(int)
                self.assertLess(frames[int(row["frame"])][y, x], 200, row)     # floor 210, tip fades out
            curled = [r for r in rows if r["tail_visible"] == "0"]
            self.assertGreater(len(curled), 5)
            self.assertTrue(all(r["tail_tip_x"] == "" for r in curled))


class DerivedTruth(unittest.TestCase):
    def test_scripted_motion(self):
        # Along y = 200 and up, 400 px in all; two turns one way and one back,
        # and a quarter turn counter-clockwise to face up. The path starts
        # 3 px left of the centre square of the 612 x 428 px arena.
        script = "at:150:200:0,to:450:200,still:1,turn:2,turn:-1,to:450:100"
        with tempfile.TemporaryDirectory() as tmp:
            _, rows, info = run_scene(tmp, "--script", script)
        truth = info["arenas"][0]["truth"]
        self.assertAlmostEqual(truth["path_length_px"], 400.0, delta=0.01)
        self.assertAlmostEqual(truth["turns_cw"], 2.0, delta=0.001)
        self.assertAlmostEqual(truth["turns_ccw"], 1.25, delta=0.001)
        self.assertEqual((truth["scripted_turns_cw"], truth["scripted_turns_ccw"]), (2, 1))
        self.assertEqual(truth["centre_entries"], 1)
        # Standing 1 s, turning 3 s and facing up 0.3 s, give or take a frame.
        self.assertAlmostEqual(truth["still_time_s"], 4.3, delta=1.5 / info["fps"])

    def test_measures_agree_with_the_rows(self):
        for preset in ("exit", "vfr"):
            with self.subTest(preset), tempfile.TemporaryDirectory() as tmp:
                _, rows, info = run_scene(tmp, "--preset", preset, "--duration", "15", "--fps", "10")
                truth, zone = info["arenas"][0]["truth"], info["arenas"][0]["centre_zone"]
                t = np.array([number(r, "time_s") for r in rows])
                c = np.array([[number(r, "center_x"), number(r, "center_y")] for r in rows])
                visible = np.array([number(r, "visible") for r in rows])
                heading = np.array([number(r, "heading_deg") for r in rows])
                still = np.array([r["moving"] == "0" for r in rows])
                duration = np.diff(np.append(t, t[-1] + 1 / info["fps"]))
                whole = (visible[1:] == 1) & (visible[:-1] == 1)
                path = np.hypot(*np.diff(c, axis=0).T)[whole].sum()
                self.assertAlmostEqual(path, truth["path_length_px"], delta=0.002 * len(rows))
                inside = (c[:, 0] >= zone[0]) & (c[:, 0] < zone[2]) & (c[:, 1] >= zone[1]) & (c[:, 1] < zone[3])
                self.assertAlmostEqual(duration[inside].sum(), truth["centre_time_s"], delta=1e-5)
                seen = inside[visible > 0]
                self.assertEqual(int(seen[0]) + int((seen[1:] & ~seen[:-1]).sum()), truth["centre_entries"])
                turn = ((np.diff(heading) + 180) % 360 - 180)[(visible[1:] > 0) & (visible[:-1] > 0)]
                self.assertAlmostEqual(turn[turn > 0].sum() / 360, truth["turns_cw"], delta=0.001)
                self.assertAlmostEqual(-turn[turn < 0].sum() / 360, truth["turns_ccw"], delta=0.001)
                self.assertAlmostEqual(duration[still & (visible > 0)].sum(), truth["still_time_s"], delta=1e-5)
                self.assertGreater(truth["centre_entries"], 0)


class Stream(unittest.TestCase):
    def test_frames_times_and_rows_fit_together(self):
        with tempfile.TemporaryDirectory() as tmp:
            frames, rows, info = run_scene(tmp, "--preset", "vfr", "--duration", "4", "--jitter", "0.2",
                                           "--size", "320x240", "--length", "60")
            times = np.loadtxt(Path(tmp) / "times")
        self.assertEqual(len(frames), info["frames"])
        self.assertEqual(len(times), len(frames))
        self.assertEqual(len(rows), len(frames))
        self.assertEqual([float(r["time_s"]) for r in rows], [round(t, 6) for t in times])
        steps = np.diff(times) * info["fps"]
        self.assertGreater(steps.min(), 0)
        # Jitter moves a frame by at most 0.2 frame times; a dropped frame
        # leaves a gap of about two.
        self.assertEqual(int((steps > 1.5).sum()), len(info["dropped_frames"]))
        self.assertEqual(len(frames) + len(info["dropped_frames"]), round(4 * info["fps"]))

    def test_runs_repeat_exactly(self):
        def run(seed):
            with tempfile.TemporaryDirectory() as tmp:
                run_scene(tmp, "--preset", "openfield", "--duration", "1.5", "--seed", seed)
                return [(Path(tmp) / name).read_bytes() for name in ("f.raw", "t.csv")]
        first = run("3")
        self.assertEqual(run("3"), first)
        other = run("4")
        self.assertNotEqual(other[0], first[0])
        self.assertNotEqual(other[1], first[1])

    def test_bad_input_is_refused(self):
        cases = [
            (["--size", "10x10", "--duration", "1"], "--size"),
            (["--script", "jump"], "unknown script step"),
            (["--script", "turn:once"], "numbers"),
            (["--script", "walk,at:1:2:0"], "first"),
            (["--length", "300", "--duration", "1"], "too small"),
            (["--script", "roam"], "needs --duration"),
            (["--preset", "demo", "--snapshot", "frame.png"], "N:FILE"),
            (["--preset", "demo", "--snapshot", "9999:frame.png"], "the scene has"),
            (["--preset", "vfr", "--duration", "0.1"], "--drop must leave"),
        ]
        for options, message in cases:
            with self.subTest(options):
                done = subprocess.run([sys.executable, str(SCENE), *options, "--out", "/dev/null"],
                                      capture_output=True, text=True)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertIn(message, done.stderr.strip().splitlines()[-1])

    def test_closed_output_is_an_error(self):
        with subprocess.Popen([sys.executable, str(SCENE), "--preset", "demo"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) as p:
            p.stdout.read(1000)
            p.stdout.close()
            message = p.stderr.read().decode()
        self.assertEqual(p.returncode, 1)
        self.assertIn("closed after", message)


class Samples(unittest.TestCase):
    def test_bundled_set_unchanged(self):
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run([sys.executable, str(SAMPLES / "generate.py"), "--samples", tmp], check=True)
            names = sorted(p.name for p in Path(tmp).iterdir())
            self.assertIn("truth.csv", names)
            match, mismatch, errors = filecmp.cmpfiles(tmp, SAMPLES, names, shallow=False)
        self.assertEqual((mismatch, errors), ([], []))


if __name__ == "__main__":
    unittest.main()
