import io
import os
import pickle
import re
import subprocess
import sys

import numpy as np
import pytest

import xqob
from conftest import ROOT, SAMPLES


def gradient(height, width, channels):
    y, x = np.mgrid[0:height, 0:width]
    planes = [(x * 255 // max(width - 1, 1)), (y * 255 // max(height - 1, 1)), (x + y) % 256]
    array = np.stack(planes[:channels], axis=-1).astype(np.uint8)
    return array[:, :, 0] if channels == 1 else array


def psnr(a, b):
    mse = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(255 * 255 / mse)


def test_version_is_the_projects():
    cmake = (ROOT / "CMakeLists.txt").read_text()
    assert re.search(r"project\(xqob VERSION (\S+)", cmake).group(1) == xqob.__version__


def test_samples_exist():
    assert len(SAMPLES) >= 4


class Unseekable(io.RawIOBase):
    """A pipe: read() only."""

    def __init__(self, data):
        self.rest = data

    def readable(self):
        return True

    def readinto(self, buffer):
        size = min(len(buffer), len(self.rest))
        buffer[:size], self.rest = self.rest[:size], self.rest[size:]
        return size


@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_info_and_decode_agree_from_every_source(path):
    data = path.read_bytes()
    sources = [path, str(path), data, bytearray(data), memoryview(data), io.BytesIO(data)]
    infos = [xqob.info(source) for source in sources]
    assert all(found == infos[0] for found in infos)
    found = infos[0]
    assert found.header_bytes + found.payload_bytes == len(data)
    pixels = xqob.decode(path)
    expected_shape = (found.height, found.width) + (() if found.gray else (3,))
    assert pixels.shape == expected_shape and pixels.dtype == np.uint8
    assert pixels.flags.writeable and pixels.flags.c_contiguous
    sources += [Unseekable(data), memoryview(b"x" + data + b"x")[1:-1]]
    for source in sources[1:]:
        np.testing.assert_array_equal(xqob.decode(source), pixels)
    np.testing.assert_array_equal(xqob.decode(path, threads=2), pixels)


def test_info_from_file_objects_reads_the_header_only():
    data = SAMPLES[0].read_bytes()
    file = io.BytesIO(b"junk" + data)
    file.seek(4)
    assert xqob.info(file).payload_bytes == len(data) - xqob.info(data).header_bytes
    assert file.tell() == 4  # a seekable file is left where it was
    pipe = Unseekable(data)
    assert xqob.info(pipe).payload_bytes == 0  # no size to tell
    assert len(pipe.rest) == len(data) - 24


@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_formats(path):
    native = xqob.decode(path)
    rgb = native if native.ndim == 3 else np.repeat(native[:, :, None], 3, axis=2)
    np.testing.assert_array_equal(xqob.decode(path, format="rgb"), rgb)
    np.testing.assert_array_equal(xqob.decode(path, "bgr"), rgb[:, :, ::-1])
    rgba = xqob.decode(path, format="rgba")
    np.testing.assert_array_equal(rgba[:, :, :3], rgb)
    assert (rgba[:, :, 3] == 255).all()
    np.testing.assert_array_equal(xqob.decode(path, format="bgra")[:, :, :3], rgb[:, :, ::-1])
    gray = xqob.decode(path, format="gray")
    r, g, b = (rgb[:, :, c].astype(np.uint32) for c in range(3))
    np.testing.assert_array_equal(gray, (19595 * r + 38470 * g + 7471 * b + 32768) >> 16)
    np.testing.assert_array_equal(xqob.decode(path, mode="L"), gray)  # the earlier spelling


@pytest.mark.parametrize("channels", [1, 3, 4])
def test_round_trip(channels):
    source = gradient(37, 53, channels)
    data = xqob.encode(source, quality=90)
    assert xqob.info(data).quality == 90
    decoded = xqob.decode(data)
    expected = source if channels == 1 else source[:, :, :3]
    assert decoded.shape == expected.shape
    assert psnr(expected, decoded) > 35


def test_strides_views_and_opaque_alpha_do_not_change_the_file():
    rgb = gradient(20, 30, 3)
    reference = xqob.encode(rgb)
    assert xqob.encode(np.dstack([rgb, np.full((20, 30), 255, np.uint8)])) == reference
    wide = np.zeros((20, 50, 3), np.uint8)
    wide[:, 10:40] = rgb
    assert xqob.encode(wide[:, 10:40]) == reference  # rows lie apart: passed with a stride
    assert xqob.encode(rgb[::-1][::-1]) == reference
    assert xqob.encode(np.asfortranarray(rgb)) == reference
    assert xqob.encode(gradient(20, 30, 1)[:, :, None]) == xqob.encode(gradient(20, 30, 1))


# Translucent pixels are blended over the background, rounded to nearest: value v at alpha a
# over b gives (v * a + b * (255 - a) + 127) // 255.
@pytest.mark.parametrize(
    "pixel,background,stored",
    [
        ((0, 0, 0, 128), "white", (127, 127, 127)),
        ((200, 100, 0, 0), "black", (0, 0, 0)),
        ((255, 255, 255, 64), "#204060", (88, 112, 136)),
        ((90, 90, 90, 255), (1, 2, 3), (90, 90, 90)),
        ((10, 128), "black", (5,)),  # gray and alpha over gray stays gray
        ((10, 128), (255, 0, 0), (132, 5, 5)),
    ],
)
def test_alpha_is_blended_over_the_background(pixel, background, stored):
    source = np.broadcast_to(np.array(pixel, np.uint8), (8, 8, len(pixel)))
    expected = np.broadcast_to(np.array(stored, np.uint8), (8, 8, len(stored)))
    expected = expected[:, :, 0] if len(stored) == 1 else expected
    assert xqob.encode(source, background=background) == xqob.encode(expected)


def test_encode_options():
    source = gradient(32, 32, 3)
    assert xqob.info(xqob.encode(source, gray=True)).gray
    assert xqob.decode(xqob.encode(source, gray=True)).shape == (32, 32)
    found = xqob.info(xqob.encode(source, chroma_quality=10, full_chroma=True, optional_block=True))
    assert (found.chroma_quality, found.full_chroma, found.optional_block) == (10, True, True)
    assert xqob.decode(xqob.encode(np.zeros((0, 5, 3), np.uint8))).shape == (0, 5, 3)


def header(quality_byte=25, chroma_byte=30, flags=0, width=16, height=16):
    return bytes([ord("Q"), ord("O"), ord("B"), quality_byte, chroma_byte, flags]) + bytes(
        [width >> 8, width & 255, height >> 8, height & 255, 0, 0, 0, 0]
    )


BAD_FILES = [
    ("empty", b"", "header ends after 0 bytes"),
    ("not QOB", b"PNG" + bytes(20), "not a QOB file"),
    ("quality", header(quality_byte=101), "quality index 101 out of range 0..100"),
    ("chroma", header(chroma_byte=81), "chroma quantiser 81 out of range 0..80"),
    ("flags", header(flags=4), "unknown header flags 0x04"),
    ("no payload", header(), "payload ends after 0 bytes"),
]


@pytest.mark.parametrize("name,data,message", BAD_FILES, ids=[c[0] for c in BAD_FILES])
def test_bad_files_raise_with_the_message(name, data, message):
    with pytest.raises(xqob.Error, match=re.escape(message)) as caught:
        xqob.decode(data)
    assert caught.value.status != 0


def test_truncated_sample_and_limits(tmp_path):
    data = SAMPLES[0].read_bytes()
    with pytest.raises(xqob.Error, match="payload ends after"):
        xqob.decode(data[: len(data) // 2])
    with pytest.raises(xqob.Error, match="exceeds the limit of 1000 pixels"):
        xqob.decode(data, max_pixels=1000)
    big = header(width=40000, height=40000) + bytes(8)
    assert xqob.info(big).width == 40000
    with pytest.raises(xqob.Error, match="exceeds the limit of 268435456 pixels"):
        xqob.decode(big)
    with pytest.raises(xqob.Error, match="cannot open"):
        xqob.info(tmp_path / "missing.qob")


@pytest.mark.parametrize(
    "call,exception",
    [
        (lambda: xqob.encode(np.zeros((4, 4), np.float32)), TypeError),
        (lambda: xqob.encode("picture"), TypeError),
        (lambda: xqob.encode(np.zeros((4, 4, 5), np.uint8)), ValueError),
        (lambda: xqob.encode(np.zeros(4, np.uint8)), ValueError),
        (lambda: xqob.encode(np.zeros((4, 4), np.uint8), quality=101), ValueError),
        (lambda: xqob.encode(np.zeros((4, 4), np.uint8), quality=7.5), TypeError),
        (lambda: xqob.encode(np.zeros((4, 4), np.uint8), chroma_quality=81), ValueError),
        (lambda: xqob.encode(np.zeros((4, 4, 4), np.uint8), background="pink"), ValueError),
        (lambda: xqob.encode(np.zeros((4, 70000), np.uint8)), xqob.Error),
        (lambda: xqob.decode(SAMPLES[0], format="cmyk"), ValueError),
        (lambda: xqob.decode(SAMPLES[0], format=3), TypeError),
        (lambda: xqob.decode(SAMPLES[0], format="rgb", mode="L"), TypeError),
        (lambda: xqob.decode(SAMPLES[0], threads=-1), ValueError),
        (lambda: xqob.decode(12), TypeError),
        (lambda: xqob.decode("a\0b.qob"), ValueError),
        (lambda: xqob.info(io.StringIO("QOB")), TypeError),
        (lambda: xqob.decode(io.StringIO("QOB")), TypeError),
    ],
)
def test_bad_arguments(call, exception):
    with pytest.raises(exception):
        call()


def test_error_is_an_oserror_that_survives_pickling():
    with pytest.raises(OSError) as caught:
        xqob.decode(b"QOB")
    copy = pickle.loads(pickle.dumps(caught.value))
    assert isinstance(copy, xqob.Error)
    assert (str(copy), copy.status) == (str(caught.value), caught.value.status)
    assert str(copy) == "header ends after 3 bytes"


def test_xqob_library_overrides_the_packaged_copy(tmp_path):
    missing = tmp_path / "libxqob.so.1"
    run = subprocess.run([sys.executable, "-c", "import xqob"], capture_output=True, text=True,
                         env={**os.environ, "XQOB_LIBRARY": str(missing)})
    assert run.returncode != 0 and f"{missing}: cannot open shared object file" in run.stderr
