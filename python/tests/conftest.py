"""Runs the tests against the source tree: the package from python/ and, unless XQOB_LIBRARY
says otherwise, the library of the Release build in build/."""

import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = sorted((ROOT / "samples").glob("*.qob"))

sys.path.insert(0, str(ROOT / "python"))
_built = ROOT / "build" / "lib" / "libxqob.so.1"
if "XQOB_LIBRARY" not in os.environ and _built.exists():
    os.environ["XQOB_LIBRARY"] = str(_built)
