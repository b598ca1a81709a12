"""The tracker's table in the layouts of the pose-estimation field, read back by
the readers that field uses (pandas, h5py), and the report page as a browser
shows it. A generated rodent is tracked once: its drawn truth says where the
nose and tail base are."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import numpy as np
import pandas as pd

from tressel import formats

ROOT = Path(__file__).resolve().parents[2]
TOOL = os.environ.get("TRESSEL_TOOL", str(ROOT / "build/release/tools/tressel"))
ENCODE = os.environ.get("TRESSEL_ENCODE", str(ROOT / "build/release/tools/tressel-encode"))
PARTS = ["nose", "tailbase", "center", "tailstart", "tailend"]


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=600, **kwargs)


def setUpModule():
    global DIR, TABLE, DLC_CSV, TRUTH
    DIR = Path(tempfile.mkdtemp(prefix="tressel-formats-"))
    video, TRUTH = DIR / "walk.mp4", DIR / "walk.truth.csv"
    scene = subprocess.Popen([sys.executable, str(ROOT / "samples/scene.py"), "--preset", "demo", "--size", "320x240",
                              "--duration", "6", "--truth", str(TRUTH)], stdout=subprocess.PIPE)
    encoded = run(ENCODE, "--size", "320x240", "--fps", "30", video, stdin=scene.stdout)
    scene.stdout.close()
    assert scene.wait() == 0 and encoded.returncode == 0, encoded.stderr
    TABLE, DLC_CSV = DIR / "walk.csv", DIR / "walk.dlc.csv"
    for out, extra in ((TABLE, []), (DLC_CSV, ["--format", "dlc"])):
        tracked = run(TOOL, "track", video, "--out", out, *extra)
        assert tracked.returncode == 0, tracked.stderr


def tearDownModule():
    shutil.rmtree(DIR, ignore_errors=True)


def our_table():
    return pd.read_csv(TABLE, comment="#")


class DeepLabCut(unittest.TestCase):
    def test_layouts_read_back_with_every_value(self):
        ours = our_table()
        h5 = DIR / "walk.h5"
        formats.write_dlc_h5(formats.read_table(TABLE), h5)
        python_csv = DIR / "walk.py.dlc.csv"
        formats.write_dlc_csv(formats.read_table(TABLE), python_csv)
        readers = {
            "tool's CSV": lambda: pd.read_csv(DLC_CSV, header=[0, 1, 2], index_col=0),
            "Python's CSV": lambda: pd.read_csv(python_csv, header=[0, 1, 2], index_col=0),
            "HDF5": lambda: pd.read_hdf(h5, "df_with_missing"),
        }
        found = ours["orientation"] == "found"
        measured = ours["interpolated"] == 0
        expected = {  # body part: (x, y, likelihood, where present)
            "nose": (ours.nose_x, ours.nose_y, ours.orientation_confidence, ours.nose_x.notna()),
            "tailbase": (ours.tail_base_x, ours.tail_base_y, ours.orientation_confidence, ours.tail_base_x.notna()),
            "center": (ours.center_sub_x, ours.center_sub_y, 1.0, ours.center_sub_x.notna() & measured),
            "tailstart": (ours.tail_start_x, ours.tail_start_y, ours.orientation_confidence,
                          ours.tail_start_x.notna() & found),
            "tailend": (ours.tail_end_x, ours.tail_end_y, ours.orientation_confidence,
                        ours.tail_end_x.notna() & found),
        }
        for name, read in readers.items():
            with self.subTest(name):
                dlc = read()
                self.assertEqual(list(dlc.columns.names), ["scorer", "bodyparts", "coords"])
                self.assertEqual(list(dict.fromkeys(dlc.columns.get_level_values("bodyparts"))), PARTS)
                self.assertEqual(set(dlc.columns.get_level_values("scorer")), {"tressel"})
                self.assertEqual(list(dlc.index), list(ours.frame))
                for part, (x, y, likelihood, present) in expected.items():
                    present = present.to_numpy()
                    got = dlc["tressel"][part]
                    np.testing.assert_allclose(got.x[present], x[present], atol=1e-9, err_msg=part)
                    np.testing.assert_allclose(got.y[present], y[present], atol=1e-9, err_msg=part)
                    want = np.broadcast_to(np.asarray(likelihood, dtype=float), present.shape)
                    np.testing.assert_allclose(got.likelihood[present], want[present], atol=1e-9, err_msg=part)
                    # Missing is NaN with likelihood 0, never a zero position.
                    self.assertTrue(got.x[~present].isna().all() and got.y[~present].isna().all(), part)
                    self.assertTrue((got.likelihood[~present] == 0).all(), part)
                self.assertGreater(expected["tailstart"][3].sum(), 0)
        for path in (DLC_CSV, python_csv, h5):  # the frame rate and size beside each
            settings = json.loads(Path(str(path) + ".json").read_text())
            self.assertEqual((settings["frame_rate"], settings["width"], settings["height"]), (30, 320, 240))

    def test_points_lie_on_the_drawn_animal(self):
        # Catches swapped x/y, swapped body parts or a frame shift.
        dlc = pd.read_csv(DLC_CSV, header=[0, 1, 2], index_col=0)["tressel"]
        truth = pd.read_csv(TRUTH).set_index("frame")
        for part, column in (("nose", "nose"), ("tailbase", "tail_base"), ("center", "center")):
            with self.subTest(part):
                sure = dlc[part].likelihood > 0.9
                self.assertGreater(sure.sum(), len(dlc) / 2)
                dx = dlc[part].x[sure] - truth[column + "_x"].reindex(dlc.index[sure])
                dy = dlc[part].y[sure] - truth[column + "_y"].reindex(dlc.index[sure])
                self.assertLess(np.nanmedian(np.hypot(dx, dy)), 6, part)

    def test_several_arenas_get_individuals(self):
        ours = our_table()
        right = ours.copy()
        right["arena"], right["nose_x"] = "right", right["nose_x"] + 1000
        both = pd.concat([ours.assign(arena="left"), right]).sort_values("frame", kind="stable")
        path = DIR / "two.csv"
        both.to_csv(path, index=False)
        h5 = DIR / "two.h5"
        formats.write_dlc_h5(formats.read_table(path), h5)
        dlc = pd.read_hdf(h5, "df_with_missing")
        self.assertEqual(list(dlc.columns.names), ["scorer", "individuals", "bodyparts", "coords"])
        np.testing.assert_allclose(dlc["tressel"]["right"]["nose"].x, dlc["tressel"]["left"]["nose"].x + 1000)
        self.assertEqual(len(dlc), len(ours))


class Sleap(unittest.TestCase):
    def test_analysis_file_reads_back(self):
        import h5py
        out = DIR / "walk.analysis.h5"
        formats.write_sleap_h5(formats.read_table(TABLE), out)
        dlc = pd.read_csv(DLC_CSV, header=[0, 1, 2], index_col=0)["tressel"]
        with h5py.File(out, "r") as f:
            self.assertIn("track_occupancy", f)
            tracks = f["tracks"][:].T               # frames, nodes, 2, tracks
            scores = f["point_scores"][:].T         # frames, nodes, tracks
            occupancy = f["track_occupancy"][:].T   # tracks, frames
            nodes = [n.decode() for n in f["node_names"][:]]
            self.assertEqual(f["tracks"].compression, "gzip")
        self.assertEqual(nodes, PARTS)
        self.assertEqual(tracks.shape, (len(dlc), 5, 2, 1))
        self.assertEqual(occupancy.shape, (1, len(dlc)))
        for k, part in enumerate(PARTS):
            np.testing.assert_allclose(tracks[:, k, 0, 0], dlc[part].x, err_msg=part)
            np.testing.assert_allclose(tracks[:, k, 1, 0], dlc[part].y, err_msg=part)
            np.testing.assert_allclose(scores[:, k, 0], dlc[part].likelihood, err_msg=part)
        np.testing.assert_array_equal(occupancy[0], np.isfinite(tracks[:, :, 0, 0]).any(axis=1))


class NumPy(unittest.TestCase):
    def test_every_column(self):
        out = DIR / "walk.npz"
        formats.write_npz(formats.read_table(TABLE), out)
        ours = pd.read_csv(TABLE, comment="#", keep_default_na=False, na_values={"speed_px_s": [""]})
        with np.load(out) as npz:
            self.assertEqual([k for k in npz.files if k != "comments"], list(ours.columns))
            np.testing.assert_array_equal(npz["status"], ours.status.astype(str))
            np.testing.assert_allclose(npz["frame"], ours.frame)
            np.testing.assert_allclose(npz["speed_px_s"], ours.speed_px_s)
            self.assertTrue(any(c.startswith("input:") for c in npz["comments"]), list(npz["comments"]))


class BadInput(unittest.TestCase):
    def test_clear_message_and_nothing_complete_overwritten(self):
        empty = DIR / "empty.csv"
        empty.write_text("".join(l for l in TABLE.read_text().splitlines(True)[:200] if l.startswith("#")) +
                         next(l for l in TABLE.read_text().splitlines(True) if not l.startswith("#")))
        foreign = DIR / "foreign.csv"
        foreign.write_text("time,x,y\n0,1,2\n")
        lines = TABLE.read_text().splitlines(True)
        twice = DIR / "twice.csv"
        twice.write_text("".join(lines + [l for l in lines if l[:1].isdigit()]))
        cases = [  # (arguments after the table, table, what the message says)
            (["report"], foreign, "not a table of tressel track"),
            (["export", "--format", "npz"], foreign, "not a table of tressel track"),
            (["export", "--format", "dlc-h5"], DLC_CSV, "a DeepLabCut table"),
            (["report"], empty, "has no rows"),
            (["export", "--format", "sleap-h5"], empty, "has no rows"),
            (["report"], DIR / "absent.csv", "cannot read"),
            (["export", "--format", "dlc-h5"], twice, "appears twice"),
        ]
        for args, table, message in cases:
            with self.subTest(args=args, table=table.name):
                out = DIR / "kept"
                shutil.rmtree(out, ignore_errors=True) if out.is_dir() else out.unlink(missing_ok=True)
                if args[0] == "report":
                    out.mkdir()
                    (out / "report.html").write_text("complete")
                    (out / ".tressel-report").write_text("")
                else:
                    out.write_text("complete")
                done = run(TOOL, args[0], table, *args[1:], "--out", out)
                self.assertEqual(done.returncode, 1, done.stderr)
                self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
                self.assertIn(table.name, done.stderr)
                self.assertIn(message, done.stderr)
                kept = out / "report.html" if out.is_dir() else out
                self.assertEqual(kept.read_text(), "complete")
                self.assertFalse(Path(str(out) + ".partial").exists())

    def test_the_table_is_not_exported_over_itself(self):
        before = TABLE.read_bytes()
        done = run(TOOL, "export", TABLE, "--format", "dlc", "--out", TABLE)
        self.assertEqual(done.returncode, 1)
        self.assertIn("is the table itself", done.stderr)
        self.assertEqual(TABLE.read_bytes(), before)

    def test_a_folder_not_a_report_is_not_replaced(self):
        folder = DIR / "mine"
        folder.mkdir(exist_ok=True)
        (folder / "notes.txt").write_text("mine")
        done = run(TOOL, "report", TABLE, "--out", folder)
        self.assertEqual(done.returncode, 1)
        self.assertIn("not an earlier report", done.stderr)
        self.assertEqual((folder / "notes.txt").read_text(), "mine")

    def test_tool_points_to_export_for_python_formats(self):
        for value in ("sleap-h5", "npz", "dlc-h5"):
            with self.subTest(value):
                done = run(TOOL, "track", "x.mp4", "--format", value)
                self.assertEqual(done.returncode, 2)
                self.assertIn("tressel export TABLE --format " + value, done.stderr)


class Report(unittest.TestCase):
    def test_page_loads_with_every_picture(self):
        out = DIR / "report"
        for attempt in range(2):  # the second replaces the first report
            done = run(TOOL, "report", TABLE, "--out", out)
            self.assertEqual(done.returncode, 0, done.stderr)
        page = (out / "report.html").read_text()
        pictures = re.findall(r'<img src="([^"]+)"', page)
        self.assertEqual(len(pictures), 5)
        self.assertNotRegex(page, r"(src|href)=\"(https?:)?//")  # nothing from the network
        for name in pictures:
            self.assertEqual((out / name).read_bytes()[:8], b"\x89PNG\r\n\x1a\n", name)
        self.assertIn("move-start", page)  # an option of the measures
        browser = shutil.which("chromium")
        if browser is None:
            self.skipTest("chromium is not installed (scripts/install-packages installs it)")
        flags = [browser, "--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                 "--virtual-time-budget=10000", "--window-size=1100,4200"]
        url = (out / "report.html").resolve().as_uri()
        dom = run(*flags, "--dump-dom", url)
        match = re.search(r'<body data-images="(\d+)" data-images-loaded="(\d+)"', dom.stdout)
        self.assertIsNotNone(match, dom.stdout[-2000:] + dom.stderr[-2000:])
        self.assertEqual(match.groups(), ("5", "5"))
        shot = Path(os.environ.get("TRESSEL_SCREENSHOT", DIR / "report.png"))
        run(*flags, "--screenshot=%s" % shot, url)
        self.assertEqual(shot.read_bytes()[:8], b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
