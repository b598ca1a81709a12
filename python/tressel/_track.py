"""Tracking through libTresselTrack: tressel.track, tressel.Tracker, tressel.summarize.

    table = tressel.track("mouse.mp4", threshold=30, bin="60s")   # NumPy structured array
    table["center_sub_x"], table["status"]
    frame = tressel.track("mouse.mp4", as_frame=True)              # a pandas DataFrame

    tracker = tressel.Tracker(640, 480, samples=first_frames)      # frames from anywhere
    for grey, t in camera:                                          # 2-D uint8 arrays, seconds
        rows = tracker.push(grey, t)                                # the rows finished so far
    rows = tracker.finish()
    summary = tracker.summary()                                     # a dict, as FILE.summary.json

    tressel.summarize(table, bin="30s")                            # measured again from the rows

Options are those of `tressel track` (see `tressel track --help`): a keyword
is the option's name with underscores for dashes (max_speed="0.5bl/s" is
--max-speed 0.5bl/s); a tuple is given comma-separated (roi=(10, 10, 300, 200)).

Numbers that can be missing (a point of a frame without an animal, a speed
before the first position) are floats with NaN there, never 0; `frame` is an
integer, text columns are Python strings. The array's dtype.metadata (the
DataFrame's attrs) holds the run's "settings", which summarize reads.
"""

import ctypes
import functools
import json
import math
import os
import sys
from pathlib import Path

from . import _native

try:
    import numpy as _np
except ImportError:
    _np = None

ENVIRONMENT_VARIABLE = "TRESSEL_TRACK_LIBRARY"

if sys.platform == "darwin":
    _FILE_NAMES = ("libTresselTrack.dylib",)
else:
    _FILE_NAMES = ("libTresselTrack.so", "libTresselTrack.so.1")

ERROR_OPTION = -4
ERROR_INPUT = -5
ERROR_STOPPED = -6
CELL_MISSING, CELL_INTEGER, CELL_REAL, CELL_TEXT, CELL_FLAG = range(5)
SUMMARY_JSON, SUMMARY_CSV = 0, 1
_INDEX_COLUMN = "frame"  # the one integer column that is never missing


class TrackError(RuntimeError):
    """A recording that could not be tracked; `rows` holds those given before."""

    def __init__(self, message, rows=None):
        super().__init__(message)
        self.rows = rows


class Cell(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_int), ("integer", ctypes.c_int64), ("real", ctypes.c_double),
                ("text", ctypes.c_char_p)]


class Column(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("kind", ctypes.c_int), ("decimals", ctypes.c_int)]


RowCallback = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(Cell), ctypes.c_int, ctypes.c_void_p)


def candidates():
    """Where the library is looked for: TRESSEL_TRACK_LIBRARY alone when set,
    else beside TRESSEL_LIBRARY when that is set, else the package's folder
    and the repository's build."""
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        return [Path(explicit)]
    core = os.environ.get(_native.ENVIRONMENT_VARIABLE)
    folders = [Path(core).parent] if core else [_native._PACKAGE_DIR, _native._REPO_BUILD_DIR]
    return [d / name for d in folders for name in _FILE_NAMES]


@functools.lru_cache(maxsize=None)
def library():
    return _native.load_first(candidates(), _declare, "libTresselTrack",
                              "Set " + ENVIRONMENT_VARIABLE + " to the library's path.")


def _declare(lib):
    handle = ctypes.c_void_p
    options = ctypes.POINTER(ctypes.c_char_p)
    frame = (handle, ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_ssize_t)
    text = (ctypes.c_char_p, ctypes.c_int)
    signatures = {
        "tressel_tracker_open": (ctypes.c_char_p, options, ctypes.c_int, ctypes.POINTER(handle)),
        "tressel_tracker_create": (ctypes.c_int, ctypes.c_int, options, ctypes.c_int, ctypes.POINTER(handle)),
        "tressel_tracker_add_sample": frame,
        "tressel_tracker_set_background": frame,
        "tressel_tracker_push": frame + (ctypes.c_double, RowCallback, ctypes.c_void_p),
        "tressel_tracker_finish": (handle, RowCallback, ctypes.c_void_p),
        "tressel_tracker_run": (handle, RowCallback, ctypes.c_void_p),
        "tressel_tracker_columns": (handle, ctypes.POINTER(Column), ctypes.c_int),
        "tressel_tracker_settings": (handle,) + text,
        "tressel_tracker_summary": (handle, ctypes.c_int) + text,
        "tressel_tracker_warnings": (handle,) + text,
        "tressel_summarize": (ctypes.c_char_p, ctypes.c_size_t, options, ctypes.c_int, ctypes.c_int) + text,
    }
    for name, argtypes in signatures.items():
        function = getattr(lib, name)
        function.restype = ctypes.c_int
        function.argtypes = argtypes
    lib.tressel_tracker_close.restype = None
    lib.tressel_tracker_close.argtypes = (handle,)
    lib.tressel_track_error.restype = ctypes.c_char_p
    lib.tressel_track_error.argtypes = ()
    return lib


def _check(code, rows=None):
    if code >= 0:
        return code
    message = library().tressel_track_error().decode(errors="replace")
    if code in (_native.ERROR_ARGUMENT, ERROR_OPTION):
        raise ValueError(message)
    if code == _native.ERROR_MEMORY:
        raise MemoryError(message)
    if code == ERROR_INPUT:
        raise TrackError(message, rows)
    raise RuntimeError(message)


def _arguments(options):
    """Keyword options as the tool's arguments, for the C call."""
    arguments = []
    for name, value in options.items():
        if value is None:
            continue
        if isinstance(value, (tuple, list)):
            value = ",".join(str(v) for v in value)
        arguments.append("--%s=%s" % (name.replace("_", "-"), value))
    array = (ctypes.c_char_p * max(len(arguments), 1))(*(a.encode() for a in arguments))
    return array, len(arguments)


def _text(call, *arguments):
    size = _check(call(*arguments, None, 0))
    buffer = ctypes.create_string_buffer(size + 1)
    _check(call(*arguments, buffer, size + 1))
    return buffer.value.decode()


class _Rows:
    """The rows a call gives, gathered as tuples, and how they become a table."""

    def __init__(self):
        self.columns = None  # [(name, kind, decimals)]
        self.settings = "{}"
        self.rows = []
        self.error = None
        self.callback = RowCallback(self._row)

    def set_columns(self, handle):
        lib = library()
        count = _check(lib.tressel_tracker_columns(handle, None, 0))
        columns = (Column * count)()
        _check(lib.tressel_tracker_columns(handle, columns, count))
        self.columns = [(c.name.decode(), c.kind, c.decimals) for c in columns]
        self.settings = _text(lib.tressel_tracker_settings, handle)

    def _row(self, cells, count, _user):
        try:
            self.rows.append(tuple(_value(cells[i]) for i in range(count)))
            return 0
        except BaseException as e:  # noqa: B902 - raised again once the C call returns
            self.error = e
            return 1

    def raise_error(self):
        if self.error is not None:
            error, self.error = self.error, None
            raise error

    def table(self, as_frame=False):
        rows, self.rows = self.rows, []
        if _np is None:
            raise ImportError("tressel.track needs NumPy")
        dtype = _np.dtype([(name, _dtype(name, kind)) for name, kind, _ in self.columns],
                          metadata={"settings": self.settings,
                                    "decimals": {name: d for name, _, d in self.columns}})
        missing = tuple("" if kind == CELL_TEXT else math.nan for _, kind, _ in self.columns)
        rows = [tuple(m if v is None else v for v, m in zip(row, missing)) for row in rows]
        array = _np.array(rows, dtype=dtype) if rows else _np.zeros(0, dtype=dtype)
        if not as_frame:
            return array
        import pandas
        frame = pandas.DataFrame.from_records(array)
        frame.attrs["settings"] = self.settings
        frame.attrs["decimals"] = dict(dtype.metadata["decimals"])
        return frame


def _dtype(name, kind):
    if kind == CELL_TEXT:
        return object
    return _np.int64 if name == _INDEX_COLUMN else _np.float64


def _value(cell):
    if cell.kind == CELL_MISSING:
        return None
    if cell.kind == CELL_TEXT:
        return cell.text.decode()
    if cell.kind == CELL_REAL:
        return cell.real
    return cell.integer


def track(path, *, as_frame=False, **options):
    """The per-frame table of the recording at `path`, as `tressel track`
    writes it. A frame that could not be decoded has status decode_error and
    a warning says how many; a recording that stops midway raises TrackError
    with the rows before it."""
    import warnings
    lib = library()
    handle = ctypes.c_void_p()
    arguments, count = _arguments(options)
    _check(lib.tressel_tracker_open(os.fsencode(path), arguments, count, ctypes.byref(handle)))
    try:
        rows = _Rows()
        rows.set_columns(handle)
        for warning in _text(lib.tressel_tracker_warnings, handle).splitlines():
            warnings.warn("%s: %s" % (path, warning), stacklevel=2)
        code = lib.tressel_tracker_run(handle, rows.callback, None)
        rows.raise_error()
        if code < 0 and code != ERROR_INPUT:
            _check(code)
        table = rows.table(as_frame)
        if code < 0:
            _check(code, table)
        if code > 0:
            warnings.warn(lib.tressel_track_error().decode(errors="replace"), stacklevel=2)
        return table
    finally:
        lib.tressel_tracker_close(handle)


class Tracker:
    """Tracks grey frames pushed one at a time (2-D uint8 arrays of
    height x width, any strides), with their times in seconds.

    The background is the median of `samples` (frames spread over the
    session, or its start), or `background`: a 2-D array of the empty arena
    or the path of its picture; the samples also teach the thresholds, so at
    least one is needed. push() and finish() return the rows finished so
    far as a table like track()'s: the head is decided over the track, so a
    frame's row comes some frames later, and finish() gives the rest."""

    def __init__(self, width, height, *, samples=(), background=None, as_frame=False, **options):
        if isinstance(background, (str, os.PathLike)):
            options["background"] = os.fspath(background)
            background = None
        self._lib = library()
        self._size = (int(height), int(width))
        self._as_frame = as_frame
        self._rows = _Rows()
        self._handle = ctypes.c_void_p()
        arguments, count = _arguments(options)
        _check(self._lib.tressel_tracker_create(int(width), int(height), arguments, count,
                                                ctypes.byref(self._handle)))
        if background is not None:
            _check(self._lib.tressel_tracker_set_background(self._handle, *self._frame(background)))
        for sample in samples:
            _check(self._lib.tressel_tracker_add_sample(self._handle, *self._frame(sample)))
        self.time = None

    def _frame(self, grey):
        array = _np.asarray(grey)
        if array.ndim != 2 or array.dtype != _np.uint8:
            raise ValueError("a frame is a 2-D uint8 array, got %d dimensions of %s" % (array.ndim, array.dtype))
        if array.strides[1] != 1 or array.strides[0] < array.shape[1]:
            array = _np.ascontiguousarray(array)
        self._keep = array
        height, width = array.shape
        return array.ctypes.data, width, height, array.strides[0] if height > 1 else width

    def push(self, grey, time):
        """Tracks the next frame, taken at `time` seconds."""
        code = self._lib.tressel_tracker_push(self._handle, *self._frame(grey), float(time),
                                              self._rows.callback, None)
        self._rows.raise_error()
        _check(code)
        if self._rows.columns is None:
            self._rows.set_columns(self._handle)
        return self._rows.table(self._as_frame)

    def finish(self):
        """The rows still held; the summary is complete after it."""
        code = self._lib.tressel_tracker_finish(self._handle, self._rows.callback, None)
        self._rows.raise_error()
        _check(code)
        if self._rows.columns is None:
            self._rows.set_columns(self._handle)
        return self._rows.table(self._as_frame)

    def summary(self, format="json"):
        """The summary, as a dict (json) or as CSV text (csv)."""
        text = _text(self._lib.tressel_tracker_summary, self._handle, _format(format))
        return json.loads(text) if format == "json" else text

    def close(self):
        if getattr(self, "_handle", None):
            self._lib.tressel_tracker_close(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def __del__(self):
        self.close()


def _format(format):
    if format not in ("json", "csv"):
        raise ValueError("format must be 'json' or 'csv', got %r" % (format,))
    return SUMMARY_JSON if format == "json" else SUMMARY_CSV


def summarize(table, *, format="json", **options):
    """The summary of a table measured again with other behaviour options
    (bin, zones, scale, ...), without the video: a table from track() or
    Tracker, or the path of a CSV table that `tressel track` wrote. A dict
    (format="json") or CSV text (format="csv")."""
    if isinstance(table, (str, os.PathLike)):
        text = Path(table).read_bytes()
    else:
        text = _table_csv(table).encode()
    arguments, count = _arguments(options)
    summary = _text(library().tressel_summarize, text, len(text), arguments, count, _format(format))
    return json.loads(summary) if format == "json" else summary


def _table_csv(table):
    """A table from track() as the tool's CSV, with its settings line."""
    if hasattr(table, "attrs") and hasattr(table, "to_records"):  # a DataFrame
        settings, decimals = table.attrs.get("settings"), table.attrs.get("decimals")
        names = list(table.columns)
        rows = table.itertuples(index=False, name=None)
    else:
        metadata = getattr(getattr(table, "dtype", None), "metadata", None) or {}
        settings, decimals = metadata.get("settings"), metadata.get("decimals")
        names = list(table.dtype.names)
        rows = (row.tolist() if hasattr(row, "tolist") else row for row in table)
    if not settings or decimals is None:
        raise ValueError("the table carries no settings: give a table from tressel.track or a CSV file's path")
    lines = ["# settings: " + settings, ",".join(names)]
    for row in rows:
        lines.append(",".join(_csv_cell(value, decimals.get(name, 0)) for name, value in zip(names, row)))
    return "\n".join(lines) + "\n"


def _csv_cell(value, decimals):
    if isinstance(value, str):
        return '"%s"' % value.replace('"', '""') if any(c in value for c in ',"\r\n') else value
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return ""
    if decimals == 0:
        return str(int(value))
    text = "%.*f" % (decimals, value)
    return text[1:] if text.startswith("-") and not text.strip("-0.") else text
