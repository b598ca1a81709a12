"""Tests of the Python package: every input form agrees, NumPy layouts are read
correctly, errors become exceptions, and the wheel carries the library."""

import dataclasses
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

import tressel

try:
    import numpy as np
except ImportError:
    np = None

PYTHON_DIR = Path(tressel.__file__).resolve().parent.parent
WIDTH, HEIGHT = 230, 100
SQUARE = [(x, y) for y in range(10) for x in (0, 9)]


def silhouette(tail=True, speck=False):
    """An elliptic body with an optional thin tapering tail, as bytes."""
    mask = bytearray(WIDTH * HEIGHT)
    for y in range(HEIGHT):
        for x in range(WIDTH):
            body = ((x - 70) / 55) ** 2 + ((y - 50) / 28) ** 2 <= 1
            half = 3 - 2 * (x - 120) / 95
            in_tail = tail and 120 <= x <= 215 and abs(y - (50 + (x - 120) * 8 / 95)) <= half
            if body or in_tail:
                mask[y * WIDTH + x] = 1
    if speck:
        mask[2 * WIDTH + 60] = mask[2 * WIDTH + 61] = 1
    return bytes(mask)


def inside(mask, point):
    x, y = point
    return 0 <= x < WIDTH and 0 <= y < HEIGHT and mask[y * WIDTH + x] != 0


class Analysis(unittest.TestCase):
    def test_mask_and_points_agree(self):
        for tail in (True, False):
            with self.subTest(tail=tail):
                mask = silhouette(tail)
                result = tressel.analyze(mask=mask, shape=(HEIGHT, WIDTH))
                self.assertIs(result.has_tail, tail)
                self.assertTrue(inside(mask, result.body_center), result)  # x is the column
                if tail:
                    self.assertGreater(result.tail_base[0], 110)
                points = tressel.spans(mask, shape=(HEIGHT, WIDTH))
                self.assertEqual(tressel.analyze(points=points), result)
                xs, ys = [p[0] for p in points], [p[1] for p in points]
                self.assertEqual(tressel.analyze(points=(xs, ys)), result)
                self.assertEqual(tressel.analyze(points=tuple(points), params=tressel.Params()), result)
                if np is not None:
                    self.assertEqual(tressel.analyze(points=np.array(points)), result)
                    self.assertEqual(tressel.analyze(points=np.array([xs, ys], np.float64)), result)

    def test_parameters_reach_the_analysis(self):
        mask = silhouette()
        stopped = tressel.analyze(mask=mask, shape=(HEIGHT, WIDTH), params=tressel.Params(tail_width_percent=0))
        self.assertEqual(stopped, tressel.Result(False, (0, 0), (0, 0), (0, 0), (0, 0), (0, 0)))

    def test_largest_component_is_analysed(self):
        clean = tressel.analyze(mask=silhouette(speck=False), shape=(HEIGHT, WIDTH))
        noisy = silhouette(speck=True)
        self.assertEqual(tressel.analyze(mask=noisy, shape=(HEIGHT, WIDTH)), clean)
        self.assertNotEqual(tressel.analyze(mask=noisy, shape=(HEIGHT, WIDTH), all_components=True), clean)
        self.assertEqual(len(tressel.spans(noisy, all_components=True, shape=(HEIGHT, WIDTH))),
                         len(tressel.spans(noisy, shape=(HEIGHT, WIDTH))) + 2)

    def test_border_is_the_closed_contour(self):
        mask = silhouette()
        points = tressel.spans(mask, shape=(HEIGHT, WIDTH))
        contour = tressel.border(mask=bytearray(mask), shape=(HEIGHT, WIDTH))
        self.assertEqual(tressel.border(points=points), contour)
        self.assertGreater(len(contour), len(points))
        self.assertTrue(all(inside(mask, p) for p in contour))
        steps = zip(contour, contour[1:] + contour[:1])
        self.assertTrue(all(max(abs(a[0] - b[0]), abs(a[1] - b[1])) == 1 for a, b in steps))


@unittest.skipUnless(np is not None, "NumPy is not installed")
class NumpyMasks(unittest.TestCase):
    def test_any_layout_reads_the_same_pixels(self):
        base = np.frombuffer(silhouette(speck=True), np.uint8).reshape(HEIGHT, WIDTH)
        padded = np.full((HEIGHT, WIDTH + 9), 255, np.uint8)
        padded[:, :WIDTH] = base
        read_only = base.copy()
        read_only.flags.writeable = False
        views = {
            "padded rows": padded[:, :WIDTH],
            "every other column": base[:, ::2],
            "flipped rows": base[::-1],
            "flipped columns": base[:, ::-1],
            "column-major": np.asfortranarray(base),
            "bool": base.astype(bool),
            "read-only": read_only,
            "one row": base[50:51],
            "one column": base[:, 70:71],
            "transposed": base.T,
        }
        for name, view in views.items():
            with self.subTest(name):
                expected = tressel.spans(view.astype(np.uint8).tobytes(), shape=view.shape)
                self.assertEqual(tressel.spans(view), expected)
                self.assertEqual(tressel.spans(view, all_components=True),
                                 tressel.spans(view.astype(np.uint8).tobytes(), True, shape=view.shape))
                if view.shape[0] > 1 and view.shape[1] > 1:
                    self.assertEqual(tressel.analyze(mask=view), tressel.analyze(points=expected))


class Declarations(unittest.TestCase):
    """ctypes matches fields by position: the package must mirror the C header."""

    def test_records_follow_the_header(self):
        header = (PYTHON_DIR.parent / "include" / "tressel" / "tressel_c.h").read_text()
        for record in (tressel._native.Params, tressel._native.Result):
            with self.subTest(record.__name__):
                name = "tressel_" + record.__name__.lower()
                body = re.search(r"typedef struct %s \{(.*?)\} %s;" % (name, name), header, re.S).group(1)
                body = re.sub(r"/\*.*?\*/", "", body, flags=re.S)
                declared = re.findall(r"(\w+)\s*[;,]", body)
                self.assertEqual([field for field, _ in record._fields_], declared)

    def test_defaults_are_the_librarys(self):
        c = tressel._native.library().tressel_default_params()
        library = tuple(getattr(c, n) for n, _ in c._fields_)
        self.assertEqual(dataclasses.astuple(tressel.Params()), library)
        header = (PYTHON_DIR.parent / "include" / "tressel" / "tressel_c.h").read_text()
        documented = re.findall(r"int \w+;\s*/\* \[(\d+)\]", header)
        self.assertEqual(tuple(map(int, documented)), library, "the defaults tressel_c.h gives")


class Errors(unittest.TestCase):
    def test_bad_input_is_refused(self):
        mask = silhouette()
        cases = [
            (lambda: tressel.analyze(), ValueError, "exactly one"),
            (lambda: tressel.analyze(mask=mask, points=[(1, 1)], shape=(HEIGHT, WIDTH)), ValueError, "exactly one"),
            (lambda: tressel.spans(mask), ValueError, "shape="),
            (lambda: tressel.spans(mask, shape=(HEIGHT, WIDTH + 1)), ValueError, "does not have shape"),
            (lambda: tressel.spans(bytearray(), shape=(0, 3)), ValueError, "empty"),
            (lambda: tressel.spans([[0, 1]]), ValueError, "NumPy array, or bytes"),
            (lambda: tressel.analyze(points=[(1, 2), (3,)]), ValueError, "pairs"),
            (lambda: tressel.analyze(points=[("a", 2), (3, 4)]), ValueError, "numbers"),
            (lambda: tressel.analyze(points=[(1, 2)], params={"tail_width_percent": 3}), ValueError, "Params"),
            (lambda: tressel.analyze(points=[(1, 2)], params=tressel.Params(loop_length_max_percent=2**40)),
             ValueError, "loop_length_max_percent"),
            (lambda: tressel.analyze(points=[(20000, 20000), (20010, 20000)]), MemoryError, "2^28"),
        ]
        if np is not None:
            cases += [
                (lambda: tressel.spans(np.zeros((4, 4), np.float32)), ValueError, "uint8 or bool"),
                (lambda: tressel.spans(np.zeros((4, 4, 1), np.uint8)), ValueError, "2-D"),
                (lambda: tressel.spans(np.zeros((0, 4), np.uint8)), ValueError, "empty"),
                (lambda: tressel.spans(np.zeros((4, 4), np.uint8), shape=(2, 8)), ValueError, "does not match"),
                (lambda: tressel.analyze(points=np.zeros((3, 3))), ValueError, "(n, 2)"),
            ]
        for call, error, fragment in cases:
            with self.subTest(fragment):
                with self.assertRaises(error) as raised:
                    call()
                self.assertIn(fragment, str(raised.exception))


class Packaging(unittest.TestCase):
    def run_python(self, code, cwd, **environment):
        env = {k: v for k, v in os.environ.items() if k != "TRESSEL_LIBRARY"}
        env.update(environment)
        return subprocess.run([sys.executable, "-c", code], cwd=cwd, env=env, capture_output=True, text=True)

    def test_version_matches_the_library(self):
        self.assertEqual(tressel.__version__, tressel.library_version())

    def test_wheel_carries_the_library(self):
        sys.path.insert(0, str(PYTHON_DIR))
        try:
            import build_backend
        finally:
            sys.path.pop(0)
        with tempfile.TemporaryDirectory() as temp:
            wheel = build_backend.build_wheel(temp)
            self.assertIn(tressel.__version__, wheel)
            with zipfile.ZipFile(os.path.join(temp, wheel)) as archive:
                archive.extractall(os.path.join(temp, "site"))
            code = "import tressel; print(tressel.analyze(points=%r), tressel._native.library()._name)" % (SQUARE,)
            done = self.run_python(code, cwd=temp, PYTHONPATH=os.path.join(temp, "site"))
            self.assertEqual(done.returncode, 0, done.stderr)
            packaged = os.path.join(temp, "site", "tressel", "libTressel.so")
            self.assertEqual(done.stdout, "%s %s\n" % (tressel.analyze(points=SQUARE), packaged))

    def test_a_wrong_library_setting_is_reported(self):
        done = self.run_python("import tressel; tressel.library_version()", cwd=str(PYTHON_DIR),
                               PYTHONPATH=str(PYTHON_DIR), TRESSEL_LIBRARY="/nonexistent/libTressel.so")
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("TRESSEL_LIBRARY", done.stderr)


if __name__ == "__main__":
    unittest.main()
