"""Tests of the package's tracking on the clip that make_clip.sh made and the
tool tracked (TRESSEL_CLIP): track() and Tracker give the tool's rows, cell
for cell as its CSV shows them; summarize() measures a table again; bad input
raises with the library's message."""

import math
import os
import unittest
from pathlib import Path

import tressel

try:
    import numpy as np
except ImportError:
    np = None
try:
    import pandas
except ImportError:
    pandas = None

CLIP = Path(os.environ.get("TRESSEL_CLIP", "."))
WIDTH, HEIGHT, FRAMES = 320, 240, 40


def tool_lines(name):
    """The tool's CSV without its "# " header: the column names, then the rows."""
    return [line for line in (CLIP / name).read_text().splitlines() if not line.startswith("#")]


def csv_lines(table, decimals=None):
    """The table as the tool writes its CSV."""
    decimals = decimals or table.dtype.metadata["decimals"]
    names = table.dtype.names
    lines = [",".join(names)]
    for row in table.tolist():
        lines.append(",".join(tressel._track._csv_cell(v, decimals[n]) for n, v in zip(names, row)))
    return lines


@unittest.skipIf(np is None, "NumPy is not installed")
class Tracking(unittest.TestCase):
    def test_track_and_pushed_frames_give_the_tools_rows(self):
        table = tressel.track(CLIP / "clip.mp4")
        self.assertEqual(table.dtype["frame"], np.int64)
        self.assertEqual(csv_lines(table), tool_lines("clip.csv"))

        frames = np.fromfile(CLIP / "clip.raw", np.uint8).reshape(FRAMES, HEIGHT, WIDTH)
        # A strided view of a wider picture reads the same pixels.
        wide = np.zeros((FRAMES, HEIGHT, WIDTH + 7), np.uint8)
        wide[:, :, :WIDTH] = frames
        tracker = tressel.Tracker(WIDTH, HEIGHT, samples=list(frames), background_samples=40)
        parts = [tracker.push(wide[i, :, :WIDTH], i / 20) for i in range(FRAMES)] + [tracker.finish()]
        pushed = np.concatenate(parts)  # NumPy keeps no dtype metadata here
        self.assertEqual(csv_lines(pushed, table.dtype.metadata["decimals"]), tool_lines("clip-raw.csv"))
        self.assertEqual(tracker.summary()["arenas"][0]["overall"]["frames"], FRAMES)

    def test_summarize_measures_the_table_again(self):
        table = tressel.track(CLIP / "clip.mp4")
        tool = (CLIP / "clip.csv.summary.csv").read_text().splitlines()
        for source in (table, CLIP / "clip.csv"):
            with self.subTest(source=type(source).__name__):
                again = tressel.summarize(source, format="csv").splitlines()
                self.assertEqual(again[0], tool[0])
                # The counts agree; the distances move with the table's rounding.
                self.assertEqual(again[1].split(",")[:17], tool[1].split(",")[:17])
        binned = tressel.summarize(table, bin="1s")
        self.assertEqual(len(binned["arenas"][0]["bins"]), 2)

    @unittest.skipIf(pandas is None, "pandas is not installed")
    def test_as_frame_holds_the_same_table(self):
        table = tressel.track(CLIP / "clip.mp4")
        frame = tressel.track(CLIP / "clip.mp4", as_frame=True)
        self.assertEqual(list(frame.columns), list(table.dtype.names))
        self.assertEqual(frame["frame"].dtype, np.int64)
        self.assertEqual(list(frame["status"]), list(table["status"]))
        np.testing.assert_array_equal(frame["center_sub_x"].to_numpy(), table["center_sub_x"])
        self.assertEqual(tressel.summarize(frame, format="csv"), tressel.summarize(table, format="csv"))

    def test_an_error_while_taking_a_row_stops_the_run_and_is_raised(self):
        taken = []
        original = tressel._track._value

        def failing(cell):
            taken.append(cell.kind)
            if len(taken) > 100:
                raise KeyboardInterrupt("stop here")
            return original(cell)

        tressel._track._value = failing
        try:
            with self.assertRaises(KeyboardInterrupt):
                tressel.track(CLIP / "clip.mp4")
        finally:
            tressel._track._value = original
        self.assertEqual(len(taken), 101)  # no row is taken after the one that failed

    def test_missing_points_are_nan_never_zero(self):
        table = tressel.track(CLIP / "clip.mp4", end=0.5, tail_width_percent=0)  # no tail anywhere
        self.assertTrue(len(table) > 0 and set(table["status"]) == {"no_tail"})
        self.assertTrue(all(math.isnan(v) for v in table["tail_start_x"]))

    def test_bad_input_raises_with_the_message(self):
        cases = [
            (tressel.TrackError, "clip.csv", lambda: tressel.track(CLIP / "clip.csv")),
            (ValueError, "--no-such", lambda: tressel.track(CLIP / "clip.mp4", no_such=1)),
            (ValueError, "'300'", lambda: tressel.Tracker(8, 8, threshold=300)),
            (ValueError, "320x239", lambda: tressel.Tracker(WIDTH, HEIGHT).push(np.zeros((239, 320), np.uint8), 0)),
            (ValueError, "2-D uint8", lambda: tressel.Tracker(WIDTH, HEIGHT).push(np.zeros((240, 320)), 0)),
            (ValueError, "sample", lambda: tressel.Tracker(WIDTH, HEIGHT).push(np.zeros((240, 320), np.uint8), 0)),
            (ValueError, "settings", lambda: tressel.summarize(np.zeros(3, [("frame", "i8")]))),
            (ValueError, "--threshold", lambda: tressel.summarize(CLIP / "clip.csv", threshold=20)),
        ]
        for error, text, call in cases:
            with self.subTest(text=text):
                with self.assertRaises(error) as raised:
                    call()
                self.assertIn(text, str(raised.exception))


if __name__ == "__main__":
    unittest.main()
