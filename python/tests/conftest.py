"""By default the tests run against the source tree: the package from python/ and, unless
XQOB_LIBRARY says otherwise, the library of the Release build in build/. With
XQOB_TEST_INSTALLED=1 they run against the package that is installed (pip), and check that
it is not the source tree's."""

import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = sorted((ROOT / "samples").glob("*.qob"))
EXAMPLES = ROOT / "python" / "examples"
INSTALLED = os.environ.get("XQOB_TEST_INSTALLED") == "1"

if not INSTALLED:
    sys.path.insert(0, str(ROOT / "python"))
    # Programs that the tests start (the Dask workers) import the same package.
    os.environ["PYTHONPATH"] = os.pathsep.join(
        [str(ROOT / "python")] + [p for p in [os.environ.get("PYTHONPATH")] if p])
    _built = ROOT / "build" / "lib" / "libxqob.so.1"
    if "XQOB_LIBRARY" not in os.environ and _built.exists():
        os.environ["XQOB_LIBRARY"] = str(_built)
else:
    import xqob

    assert ROOT / "python" not in pathlib.Path(xqob.__file__).resolve().parents, (
        f"XQOB_TEST_INSTALLED=1, but xqob comes from the source tree: {xqob.__file__}")
