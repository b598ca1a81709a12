"""Loading libTressel and declaring its C interface for ctypes."""

import ctypes
import functools
import os
import sys
from pathlib import Path

ENVIRONMENT_VARIABLE = "TRESSEL_LIBRARY"

if sys.platform == "win32":
    _FILE_NAMES = ("Tressel.dll",)
elif sys.platform == "darwin":
    _FILE_NAMES = ("libTressel.dylib",)
else:
    _FILE_NAMES = ("libTressel.so", "libTressel.so.1")

_PACKAGE_DIR = Path(__file__).resolve().parent
_REPO_BUILD_DIR = _PACKAGE_DIR.parent.parent / "build" / "release"

ERROR_ARGUMENT = -1
ERROR_MEMORY = -2
MASK_ALL_COMPONENTS = 1


class Point(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int32), ("y", ctypes.c_int32)]


class Params(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in (
        "tail_width_percent", "tail_length_percent", "tail_width_min_threshold",
        "tail_length_max_threshold", "limb_width_percent", "limb_length_percent",
        "limb_width_min_threshold", "limb_length_max_threshold", "loop_length_max_percent")]


class Result(ctypes.Structure):
    _fields_ = [("has_tail", ctypes.c_int), ("tail_base", Point), ("tail_start", Point),
                ("tail_end", Point), ("body_center", Point), ("nose", Point)]


def candidates():
    """Where the library is looked for, in order. TRESSEL_LIBRARY, when set,
    is the only place: a wrong setting must not fall back silently."""
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        return [Path(explicit)]
    return [d / name for d in (_PACKAGE_DIR, _REPO_BUILD_DIR) for name in _FILE_NAMES]


def load_first(tried, declare, name, hint):
    """The first of the paths that is a file, loaded and declared; or an
    OSError that lists them all."""
    for path in tried:
        if path.is_file():
            return declare(ctypes.CDLL(str(path)))
    raise OSError(name + " not found; looked for " + ", ".join(str(p) for p in tried) + ". " + hint)


@functools.lru_cache(maxsize=None)
def library():
    return load_first(candidates(), _declare, "libTressel",
                      "Set " + ENVIRONMENT_VARIABLE + " to the library's path, or run"
                      " `make python` in the repository to place it in the package.")


@functools.lru_cache(maxsize=None)
def default_params():
    """The library's default parameters, a Params record."""
    return library().tressel_default_params()


def _declare(lib):
    float_array = ctypes.c_void_p
    mask = (ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_ssize_t, ctypes.c_int)
    signatures = {
        "tressel_default_params": (Params, ()),
        "tressel_analyze": (ctypes.c_int, (float_array, float_array, ctypes.c_int,
                                           ctypes.POINTER(Params), ctypes.POINTER(Result))),
        "tressel_border": (ctypes.c_int, (float_array, float_array, ctypes.c_int,
                                          float_array, float_array, ctypes.c_int)),
        "tressel_mask_spans": (ctypes.c_int, mask + (float_array, float_array, ctypes.c_int)),
        "tressel_analyze_mask": (ctypes.c_int, mask + (ctypes.POINTER(Params),
                                                       ctypes.POINTER(Result))),
        "tressel_error_message": (ctypes.c_char_p, (ctypes.c_int,)),
        "tressel_version": (ctypes.c_char_p, ()),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


def check(code):
    """The call's result, or the library's error as a Python exception."""
    if code >= 0:
        return code
    message = library().tressel_error_message(code).decode()
    if code == ERROR_ARGUMENT:
        raise ValueError(message)
    if code == ERROR_MEMORY:
        raise MemoryError(message)
    raise RuntimeError(message)
