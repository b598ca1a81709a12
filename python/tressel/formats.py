"""The tracker's per-frame table read back, and written in the layouts that
pose-estimation tools read: DeepLabCut's tables (CSV, HDF5), SLEAP's analysis
HDF5 and a NumPy .npz of every column.

    import tressel.formats
    table = tressel.formats.read_table("mouse.csv")   # refuses a table not ours
    tressel.formats.write_dlc_h5(table, "mouse.h5")
    tressel.formats.write_sleap_h5(table, "mouse.analysis.h5")
    tressel.formats.write_npz(table, "mouse.npz")

Body parts, in order: nose and tail base as the track decides, the body's
sub-pixel centre, and the two ends of the tail's cut. The likelihood of the
nose, tail base and tail ends is the orientation confidence; the centre's is 1
where it was measured. A point that is missing is NaN with likelihood 0, never
0,0: the centre where the position was only interpolated, the tail ends where
no tail was found or where the track swapped the ends (the cut then lies at
the head). `tressel track --format dlc` writes the same CSV. Beside a
DeepLabCut file, FILE.json holds the table's settings (frame rate, size).
"""

import io
import json
import os
from pathlib import Path

SCORER = "tressel"
# (body part, the table's column prefix)
BODY_PARTS = (("nose", "nose"), ("tailbase", "tail_base"), ("center", "center_sub"),
              ("tailstart", "tail_start"), ("tailend", "tail_end"))
# The columns every table of `tressel track` starts with, and those read here.
_FIRST_COLUMNS = ("frame", "time_s", "status", "area_px")
_NEEDED = ("nose_x", "tail_base_x", "center_sub_x", "tail_start_x", "tail_end_x",
           "orientation_confidence", "orientation", "interpolated", "arena")
_TEXT_COLUMNS = ("status", "orientation", "zone", "arena")


class TableError(Exception):
    """A table that cannot be read or used: the message names the file."""


class Table:
    """A table of `tressel track`: its rows as a pandas DataFrame, its "# key:
    value" header lines, the settings side file (None when absent), and the
    unit of lengths ("px" or "cm")."""

    def __init__(self, path, frame, comments, settings):
        self.path = Path(path)
        self.frame = frame
        self.comments = comments
        self.settings = settings
        speed = [c for c in frame.columns if c.startswith("speed_") and c.endswith("_s")]
        self.unit = speed[0][len("speed_"):-len("_s")] if speed else "px"

    @property
    def arenas(self):
        return list(dict.fromkeys(self.frame["arena"]))


def read_table(path):
    """Reads a table that `tressel track` wrote (CSV or JSON lines)."""
    import pandas as pd
    path = Path(path)
    try:
        text = path.read_text(encoding="utf-8")
    except (OSError, UnicodeDecodeError) as e:
        raise TableError("%s: cannot read the table (%s)" % (path, getattr(e, "strerror", None) or e)) from None
    comments = {}
    if text.lstrip().startswith("{"):
        try:
            records = [json.loads(line) for line in text.splitlines() if line.strip()]
        except json.JSONDecodeError as e:
            raise TableError("%s: line %d is not JSON (%s)" % (path, e.lineno, e.msg)) from None
        if not all(isinstance(r, dict) for r in records):
            raise TableError("%s: not a table of tressel track (a line is not a JSON object)" % path)
        frame = pd.DataFrame.from_records(records)
        columns = list(records[0]) if records else []
    else:
        lines = text.splitlines()
        first = 0
        while first < len(lines) and lines[first].startswith("#"):
            key, _, value = lines[first][1:].strip().partition(":")
            comments[key.strip()] = value.strip()
            first += 1
        if first == len(lines):
            raise TableError("%s: not a table of tressel track (no header line)" % path)
        columns = lines[first].rstrip("\r").split(",")
        if columns[:1] == ["scorer"]:
            raise TableError("%s: a DeepLabCut table, not the tracker's own: track with --format csv "
                             "and convert that" % path)
        _check_columns(path, columns)
        numeric = [c for c in columns if c not in _TEXT_COLUMNS]
        try:
            frame = pd.read_csv(io.StringIO("\n".join(lines[first:])), keep_default_na=False,
                                na_values={c: [""] for c in numeric},
                                dtype={c: str for c in _TEXT_COLUMNS if c in columns})
        except (ValueError, pd.errors.ParserError) as e:
            raise TableError("%s: cannot read the table (%s)" % (path, str(e).strip().splitlines()[-1])) from None
    _check_columns(path, columns)
    for c in frame.columns:
        if c in _TEXT_COLUMNS:
            frame[c] = frame[c].fillna("").astype(str)
        else:
            try:
                frame[c] = pd.to_numeric(frame[c]).astype(float)
            except (ValueError, TypeError):
                raise TableError("%s: column %s holds a value that is not a number" % (path, c)) from None
    if len(frame) and frame["frame"].isna().any():
        raise TableError("%s: a row has no frame number" % path)
    return Table(path, frame, comments, _settings(path))


def _check_columns(path, columns):
    if tuple(columns[:len(_FIRST_COLUMNS)]) != _FIRST_COLUMNS:
        raise TableError("%s: not a table of tressel track (its columns do not start with %s)"
                         % (path, ",".join(_FIRST_COLUMNS)))
    missing = [c for c in _NEEDED if c not in columns]
    if missing:
        raise TableError("%s: not a table of this version of tressel track (no column %s)" % (path, missing[0]))


def _settings(path):
    side = Path(str(path) + ".json")
    try:
        return json.loads(side.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return None


def require_rows(table):
    if len(table.frame) == 0:
        raise TableError("%s: the table has no rows (no frame was tracked)" % table.path)


def _points(table):
    """Per body part: x, y and likelihood arrays over the rows (NaN, NaN, 0
    where the point is missing)."""
    import numpy as np
    f = table.frame
    confidence = f["orientation_confidence"].to_numpy()
    confidence = np.where(np.isfinite(confidence), confidence, 0.0)
    found = (f["orientation"] == "found").to_numpy()
    measured = (f["interpolated"] != 1).to_numpy()
    out = {}
    for part, prefix in BODY_PARTS:
        x = f[prefix + "_x"].to_numpy(dtype=float)
        y = f[prefix + "_y"].to_numpy(dtype=float)
        present = np.isfinite(x) & np.isfinite(y)
        if part == "center":
            present &= measured
            likelihood = np.ones(len(f))
        else:
            likelihood = confidence
            if part.startswith("tail") and part != "tailbase":
                present &= found
        out[part] = (np.where(present, x, np.nan), np.where(present, y, np.nan), np.where(present, likelihood, 0.0))
    return out


def dlc_frame(table):
    """The DeepLabCut DataFrame: columns (scorer, bodyparts, coords), with an
    `individuals` level (the arenas) when the table has several arenas; the
    index is the frame number."""
    import numpy as np
    import pandas as pd
    require_rows(table)
    f = table.frame
    points = _points(table)
    arenas = table.arenas
    frames = np.array(sorted(set(f["frame"].astype(np.int64))), dtype=np.int64)
    row_of = {n: i for i, n in enumerate(frames)}
    rows = np.array([row_of[n] for n in f["frame"].astype(np.int64)])
    arena_of = {a: i for i, a in enumerate(arenas)}
    which = np.array([arena_of[a] for a in f["arena"]])
    if len(set(zip(rows, which))) < len(f):
        raise TableError("%s: a frame number appears twice in one arena (tables joined together?)" % table.path)
    data = np.full((len(frames), len(arenas), len(BODY_PARTS), 3), np.nan)
    data[..., 2] = 0.0
    for k, (part, _) in enumerate(BODY_PARTS):
        for c in range(3):
            data[rows, which, k, c] = points[part][c]
    parts = [p for p, _ in BODY_PARTS]
    if len(arenas) > 1:
        columns = pd.MultiIndex.from_product([[SCORER], arenas, parts, ["x", "y", "likelihood"]],
                                             names=["scorer", "individuals", "bodyparts", "coords"])
    else:
        columns = pd.MultiIndex.from_product([[SCORER], parts, ["x", "y", "likelihood"]],
                                             names=["scorer", "bodyparts", "coords"])
    return pd.DataFrame(data.reshape(len(frames), -1), index=pd.Index(frames), columns=columns)


def write_dlc_csv(table, path):
    frame = dlc_frame(table)
    with _partial(path) as partial:
        frame.to_csv(partial)
    _write_settings(table, path)


def write_dlc_h5(table, path):
    # PyTables' "table" format, under the key DeepLabCut's readers look for.
    frame = dlc_frame(table)
    with _partial(path) as partial:
        frame.to_hdf(partial, key="df_with_missing", format="table", mode="w")
    _write_settings(table, path)


def _write_settings(table, path):
    """PATH.json: the table's settings (frame rate, frame size, input...),
    as `tressel track --out FILE` keeps them in FILE.json."""
    if table.settings is None:
        return
    with _partial(str(path) + ".json") as partial:
        Path(partial).write_text(json.dumps(table.settings) + "\n", encoding="utf-8")


def write_sleap_h5(table, path):
    """SLEAP's analysis HDF5: one track per arena; the datasets stored
    transposed as SLEAP stores them (read back and transposed: tracks is frames
    x nodes x 2 x tracks)."""
    import h5py
    import numpy as np
    frame = dlc_frame(table)
    arenas = table.arenas
    values = frame.to_numpy().reshape(len(frame), len(arenas), len(BODY_PARTS), 3)
    tracks = values[..., :2].transpose(0, 2, 3, 1)            # frames, nodes, 2, tracks
    scores = values[..., 2].transpose(0, 2, 1)                # frames, nodes, tracks
    occupied = np.isfinite(values[..., 0]).any(axis=2)       # frames, tracks
    best = np.where(np.isfinite(values[..., 0]), values[..., 2], -1).max(axis=2)
    instance_scores = np.where(occupied, best, np.nan)
    with _partial(path) as partial, h5py.File(partial, "w") as h5:
        def put(name, data, compress=True):
            h5.create_dataset(name, data=data, **({"compression": "gzip"} if compress else {}))
        put("tracks", tracks.T)
        put("track_occupancy", occupied.astype(np.uint8))      # frames x tracks, read back as tracks x frames
        put("point_scores", scores.T)
        put("instance_scores", instance_scores.T)
        put("tracking_scores", np.where(occupied, 1.0, np.nan).T)
        put("node_names", np.array([p.encode() for p, _ in BODY_PARTS], dtype="S"), False)
        put("track_names", np.array([a.encode() for a in arenas], dtype="S"), False)
        put("frame_numbers", frame.index.to_numpy(dtype=np.int64))
        put("edge_names", np.array([[b"tailbase", b"nose"], [b"tailstart", b"tailend"]], dtype="S"), False)
        put("edge_inds", np.array([[1, 0], [3, 4]], dtype=np.int64), False)
        h5.attrs["provenance"] = json.dumps({"software": "tressel", "table": str(table.path),
                                             "settings": table.settings})


def write_npz(table, path):
    """Every column of the table under its own name (text columns as strings),
    and the table's header lines under "comments"."""
    import numpy as np
    require_rows(table)
    arrays = {c: table.frame[c].to_numpy(dtype=str if c in _TEXT_COLUMNS else float)
              for c in table.frame.columns}
    arrays["comments"] = np.array(["%s: %s" % kv for kv in table.comments.items()], dtype=str)
    with _partial(path) as partial:
        with open(partial, "wb") as out:
            np.savez_compressed(out, **arrays)


FORMATS = {"dlc": write_dlc_csv, "dlc-h5": write_dlc_h5,
           "sleap-h5": write_sleap_h5, "npz": write_npz}


class _partial:
    """path.partial while writing, renamed over path only when complete."""

    def __init__(self, path):
        self.path = str(path)
        self.partial = self.path + ".partial"

    def __enter__(self):
        return self.partial

    def __exit__(self, kind, value, traceback):
        if kind is None:
            os.replace(self.partial, self.path)
        else:
            try:
                os.remove(self.partial)
            except OSError:
                pass
        return False
