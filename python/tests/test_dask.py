import shutil
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import xqob
from conftest import EXAMPLES, SAMPLES

pytest.importorskip("distributed")


def test_dask_convert_on_two_worker_processes(tmp_path):
    """A gray and a colour sample, one in a subfolder, and a cut file beside them."""
    source, target = tmp_path / "in", tmp_path / "out"
    (source / "sub").mkdir(parents=True)
    gray, colour = SAMPLES[0], SAMPLES[-1]
    shutil.copy(gray, source / gray.name)
    shutil.copy(colour, source / "sub" / colour.name)
    (source / "cut.qob").write_bytes(colour.read_bytes()[:300])
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / "dask_convert.py"), str(source), str(target),
         "--workers", "2"], capture_output=True, text=True, timeout=300)
    assert run.returncode == 1, run.stderr
    assert f"{source / 'cut.qob'}: payload ends after" in run.stderr
    assert "dask_convert: 2 converted, 1 failed" in run.stderr
    written = sorted(p.relative_to(target) for p in target.rglob("*") if p.is_file())
    assert [str(p) for p in written] == [gray.with_suffix(".png").name,
                                        f"sub/{colour.with_suffix('.png').name}"]
    for picture, png in [(gray, written[0]), (colour, written[1])]:
        with Image.open(target / png) as image:
            np.testing.assert_array_equal(np.asarray(image), xqob.decode(picture))
