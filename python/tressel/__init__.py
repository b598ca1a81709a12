"""Tail, body centre and nose of an animal's silhouette seen from above.

    import numpy as np
    import tressel

    mask = np.zeros((480, 640), np.uint8)      # non-zero = animal
    mask[200:260, 100:300] = 1
    result = tressel.analyze(mask=mask)
    result.has_tail, result.body_center, result.nose

A silhouette is given either as a mask (a 2-D uint8 or bool NumPy array of any
strides, or bytes with shape=(height, width)) or as its scan-line span points
(for every row, the first and last pixel of each run of region pixels): a
sequence of (x, y) pairs, or two equal-length arrays (xs, ys). With exactly two
points, pass pairs. x is the column, y the row; points are (x, y) tuples.

Only the largest 8-connected component of a mask is analysed (noise specks are
ignored) unless all_components=True.
"""

import ctypes
import dataclasses

from . import _native
from ._track import Tracker, TrackError, summarize, track

try:
    import numpy as _np
except ImportError:  # plain bytes masks and Python sequences still work
    _np = None

__version__ = "1.0.0"  # also in pyproject.toml
__all__ = ["Params", "Result", "analyze", "border", "spans", "library_version",
           "track", "Tracker", "TrackError", "summarize"]

_INT_MIN, _INT_MAX = -2**31, 2**31 - 1


def _library_default(name):
    return lambda: getattr(_native.default_params(), name)


Params = dataclasses.make_dataclass(
    "Params", [(name, int, dataclasses.field(default_factory=_library_default(name)))
               for name, _ in _native.Params._fields_])
Params.__module__ = __name__
Params.__doc__ = """The nine tuning parameters, defaults from the library (see tressel_c.h).

    tressel.Params(tail_width_percent=15)   # the other eight at their defaults
"""


@dataclasses.dataclass(frozen=True)
class Result:
    has_tail: bool
    tail_base: tuple
    tail_start: tuple
    tail_end: tuple
    body_center: tuple
    nose: tuple


def analyze(mask=None, points=None, params=None, *, shape=None, all_components=False):
    """Analyses a silhouette given as exactly one of mask= or points=."""
    c_params = _c_params(params)
    out = _native.Result()
    if _exactly_one(mask, points) == "mask":
        view = _MaskView(mask, shape)
        _native.check(_native.library().tressel_analyze_mask(
            *view.arguments(all_components), c_params, ctypes.byref(out)))
    else:
        source = _FloatPoints.from_points(points)
        _native.check(_native.library().tressel_analyze(
            source.x, source.y, source.count, c_params, ctypes.byref(out)))
    return Result(bool(out.has_tail), *((p.x, p.y) for p in (
        out.tail_base, out.tail_start, out.tail_end, out.body_center, out.nose)))


def border(mask=None, points=None, *, shape=None, all_components=False):
    """The silhouette's cleaned, closed, clockwise contour as (x, y) tuples."""
    if _exactly_one(mask, points) == "mask":
        source = _FloatPoints.from_mask(_MaskView(mask, shape), all_components)
    else:
        source = _FloatPoints.from_points(points)
    call = _native.library().tressel_border
    # The contour is usually under twice the span points; ask again if not.
    out = _FloatPoints.empty(2 * source.count + 64)
    size = _native.check(call(source.x, source.y, source.count, out.x, out.y, out.count))
    if size > out.count:
        out = _FloatPoints.empty(size)
        size = _native.check(call(source.x, source.y, source.count, out.x, out.y, out.count))
    return out.tuples(size)


def spans(mask, all_components=False, *, shape=None):
    """The mask's span points, rows top to bottom, as (x, y) tuples."""
    source = _FloatPoints.from_mask(_MaskView(mask, shape), all_components)
    return source.tuples(source.count)


def library_version():
    """The version of the loaded libTressel."""
    return _native.library().tressel_version().decode()


def _exactly_one(mask, points):
    if (mask is None) == (points is None):
        raise ValueError("pass exactly one of mask= or points=")
    return "mask" if mask is not None else "points"


def _c_params(params):
    if params is None:
        return None
    if not isinstance(params, Params):
        raise ValueError("params must be a tressel.Params, not " + type(params).__name__)
    values = dataclasses.astuple(params)
    for field, value in zip(dataclasses.fields(params), values):
        if isinstance(value, bool) or not isinstance(value, int) or not _INT_MIN <= value <= _INT_MAX:
            raise ValueError("Params.%s must be an int in the 32-bit range, got %r" % (field.name, value))
    return ctypes.byref(_native.Params(*values))


class _MaskView:
    """The address, size and row stride of a mask, without copying it unless
    its layout needs it (columns not adjacent, or rows not in order)."""

    def __init__(self, mask, shape):
        if _np is not None and isinstance(mask, _np.ndarray):
            self._from_array(mask, shape)
        elif isinstance(mask, (bytes, bytearray, memoryview)):
            self._from_bytes(mask, shape)
        else:
            raise ValueError("mask must be a 2-D uint8 or bool NumPy array, or bytes with "
                             "shape=(height, width); got " + type(mask).__name__)
        if self.width == 0 or self.height == 0:
            raise ValueError("mask is empty: shape (%d, %d)" % (self.height, self.width))

    def _from_array(self, array, shape):
        if array.ndim != 2:
            raise ValueError("mask must be 2-D, got %d dimensions" % array.ndim)
        if array.dtype not in (_np.uint8, _np.bool_):
            raise ValueError("mask must be uint8 or bool, got " + str(array.dtype))
        if shape is not None and tuple(shape) != array.shape:
            raise ValueError("shape %r does not match the array's %r" % (tuple(shape), array.shape))
        self.height, self.width = array.shape
        row_stride, column_stride = array.strides
        if self.height == 1:
            row_stride = self.width
        if self.width == 1:
            column_stride = 1
        if column_stride != 1 or row_stride < self.width:
            array = _np.ascontiguousarray(array)
            row_stride = self.width
        self._keep = array
        self.address = array.ctypes.data
        self.stride = row_stride

    def _from_bytes(self, data, shape):
        if shape is None:
            raise ValueError("a bytes mask needs shape=(height, width)")
        if isinstance(data, memoryview):
            data = data.tobytes()  # any layout, as its bytes in C order
        if len(shape) != 2:
            raise ValueError("shape must be (height, width), got %r" % (shape,))
        self.height, self.width = (int(n) for n in shape)
        if self.height < 0 or self.width < 0 or len(data) != self.height * self.width:
            raise ValueError("mask of %d bytes does not have shape %r" % (len(data), tuple(shape)))
        if not data:
            raise ValueError("mask is empty: shape %r" % (tuple(shape),))
        if isinstance(data, bytearray):
            self._keep = (ctypes.c_uint8 * len(data)).from_buffer(data)
        else:  # bytes are passed in place
            self._keep = ctypes.c_char_p(data)
        self.address = ctypes.cast(self._keep, ctypes.c_void_p).value
        self.stride = self.width

    def arguments(self, all_components):
        flags = _native.MASK_ALL_COMPONENTS if all_components else 0
        return self.address, self.width, self.height, self.stride, flags


class _FloatPoints:
    """Two float arrays for the library, and their number of points."""

    def __init__(self, x, y, count):
        self.x, self.y, self.count = x, y, count

    @classmethod
    def empty(cls, count):
        return cls((ctypes.c_float * count)(), (ctypes.c_float * count)(), count)

    @classmethod
    def from_mask(cls, view, all_components):
        call = _native.library().tressel_mask_spans
        # An animal has about two span points per row; ask again if not.
        out = cls.empty(4 * view.height + 64)
        size = _native.check(call(*view.arguments(all_components), out.x, out.y, out.count))
        if size > out.count:
            out = cls.empty(size)
            size = _native.check(call(*view.arguments(all_components), out.x, out.y, out.count))
        out.count = size
        return out

    @classmethod
    def from_points(cls, points):
        xs, ys = _split_points(points)
        if len(xs) > _INT_MAX:
            raise ValueError("too many points: %d" % len(xs))
        try:
            if _np is not None:
                # Fresh float32 copies, shared with ctypes without a second copy.
                x, y = (_np.array(a, dtype=_np.float32) for a in (xs, ys))
                if x.ndim != 1 or y.ndim != 1:
                    raise ValueError
                return cls((ctypes.c_float * len(x)).from_buffer(x),
                           (ctypes.c_float * len(y)).from_buffer(y), len(x))
            return cls((ctypes.c_float * len(xs))(*map(float, xs)),
                       (ctypes.c_float * len(ys))(*map(float, ys)), len(xs))
        except (TypeError, ValueError):
            raise ValueError("points must hold numbers") from None

    def tuples(self, count):
        return [(int(self.x[i]), int(self.y[i])) for i in range(count)]


def _split_points(points):
    """xs and ys of the pairs form [(x, y), ...] or the arrays form (xs, ys)."""
    if _np is not None and isinstance(points, _np.ndarray):
        if points.ndim == 2 and points.shape[1] == 2:
            return points[:, 0], points[:, 1]
        if points.ndim == 2 and points.shape[0] == 2:
            return points[0], points[1]
        if points.size == 0:
            return [], []
        raise ValueError("a points array must have shape (n, 2) or (2, n), got %r" % (points.shape,))
    try:
        items = list(points)
        if all(_is_pair(item) for item in items):
            return [item[0] for item in items], [item[1] for item in items]
        if len(items) == 2 and len(items[0]) == len(items[1]):
            return list(items[0]), list(items[1])
    except TypeError:
        pass
    raise ValueError("points must be a sequence of (x, y) pairs or two equal-length arrays (xs, ys)")


def _is_pair(item):
    return not isinstance(item, (str, bytes)) and hasattr(item, "__len__") and len(item) == 2
