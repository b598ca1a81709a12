"""A minimal PEP 517 backend that builds the tressel wheel with zipfile.

The wheel holds the package's Python files and the shared library that
`make python` copies into the package (or, failing that, the file named by
TRESSEL_LIBRARY), so installing needs no compiler and no package index.
"""

import base64
import hashlib
import io
import os
import re
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path

_ROOT = Path(__file__).resolve().parent
_PACKAGE = _ROOT / "tressel"
_LIBRARY_NAME = {"win32": "Tressel.dll", "darwin": "libTressel.dylib"}.get(sys.platform, "libTressel.so")
_TRACK_LIBRARY_NAME = {"darwin": "libTresselTrack.dylib"}.get(sys.platform, "libTresselTrack.so")


def _version():
    text = (_ROOT / "pyproject.toml").read_text()
    return re.search(r'^version\s*=\s*"([^"]+)"', text, re.MULTILINE).group(1)


def _library():
    placed = _PACKAGE / _LIBRARY_NAME
    if placed.is_file():
        return placed
    explicit = os.environ.get("TRESSEL_LIBRARY")
    if explicit and Path(explicit).is_file():
        return Path(explicit)
    raise RuntimeError("the wheel needs the shared library: run `make python` in the repository first "
                       "(or set TRESSEL_LIBRARY to the built library)")


def _track_library():
    """The tracker's library, where it was built (it needs FFmpeg's): optional."""
    placed = _PACKAGE / _TRACK_LIBRARY_NAME
    if placed.is_file():
        return placed
    explicit = os.environ.get("TRESSEL_TRACK_LIBRARY")
    return Path(explicit) if explicit and Path(explicit).is_file() else None


def _metadata():
    return ("Metadata-Version: 2.1\nName: tressel\nVersion: %s\n"
            "Summary: Tail, body centre and nose of an animal's silhouette seen from above\n"
            "Requires-Python: >=3.8\nProvides-Extra: numpy\n"
            "Requires-Dist: numpy; extra == \"numpy\"\n" % _version())


def _dist_info():
    return "tressel-%s.dist-info" % _version()


def _tag():
    return "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = Path(metadata_directory) / _dist_info()
    target.mkdir(parents=True, exist_ok=True)
    (target / "METADATA").write_text(_metadata())
    return target.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    library = _library()
    files = {"tressel/" + p.name: p.read_bytes() for p in sorted(_PACKAGE.glob("*.py"))}
    files["tressel/" + _LIBRARY_NAME] = library.read_bytes()
    if _track_library() is not None:
        files["tressel/" + _TRACK_LIBRARY_NAME] = _track_library().read_bytes()
    files[_dist_info() + "/METADATA"] = _metadata().encode()
    files[_dist_info() + "/WHEEL"] = ("Wheel-Version: 1.0\nGenerator: tressel build_backend\n"
                                      "Root-Is-Purelib: false\nTag: %s\n" % _tag()).encode()
    record = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append("%s,sha256=%s,%d" % (name, digest, len(data)))
    record.append(_dist_info() + "/RECORD,,")
    files[_dist_info() + "/RECORD"] = ("\n".join(record) + "\n").encode()

    wheel_name = "tressel-%s-%s.whl" % (_version(), _tag())
    with zipfile.ZipFile(Path(wheel_directory) / wheel_name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if name.endswith(_LIBRARY_NAME) else 0o644) << 16
            wheel.writestr(info, data, zipfile.ZIP_DEFLATED)
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    base = "tressel-%s" % _version()
    name = base + ".tar.gz"
    with tarfile.open(Path(sdist_directory) / name, "w:gz") as sdist:
        for path in [_ROOT / "pyproject.toml", _ROOT / "build_backend.py"] + sorted(_PACKAGE.glob("*.py")):
            sdist.add(path, arcname=base + "/" + str(path.relative_to(_ROOT)))
        info = tarfile.TarInfo(base + "/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
