import io
import re

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


@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_info_and_decode_agree_from_every_source(path):
    data = path.read_bytes()
    infos = [xqob.info(path), xqob.info(str(path)), xqob.info(data), xqob.info(io.BytesIO(data))]
    assert all(found == infos[0] for found in infos)
    found = infos[0]
    assert found.header_bytes + found.payload_bytes == len(data)
    pixels = xqob.decode(path)
    expected_shape = (found.height, found.width) + (() if found.gray else (3,))
    assert pixels.shape == expected_shape and pixels.dtype == np.uint8
    np.testing.assert_array_equal(xqob.decode(data), pixels)
    np.testing.assert_array_equal(xqob.decode(io.BytesIO(data)), pixels)


@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_modes(path):
    native = xqob.decode(path)
    rgb = native if native.ndim == 3 else np.repeat(native[:, :, None], 3, axis=2)
    np.testing.assert_array_equal(xqob.decode(path, mode="RGB"), rgb)
    np.testing.assert_array_equal(xqob.decode(path, mode="BGR"), rgb[:, :, ::-1])
    rgba = xqob.decode(path, mode="RGBA")
    np.testing.assert_array_equal(rgba[:, :, :3], rgb)
    assert (rgba[:, :, 3] == 255).all()
    np.testing.assert_array_equal(xqob.decode(path, mode="BGRA")[:, :, :3], rgb[:, :, ::-1])
    gray = xqob.decode(path, mode="L")
    r, g, b = (rgb[:, :, c].astype(np.uint32) for c in range(3))
    np.testing.assert_array_equal(gray, (19595 * r + 38470 * g + 7471 * b + 32768) >> 16)


@pytest.mark.parametrize("channels", [1, 3, 4])
def test_round_trip(channels):
    source = gradient(37, 53, channels)
    data = xqob.encode(source, quality=90)
    assert xqob.info(data).quality == 90
    decoded = xqob.decode(data)
    expected = source if channels == 1 else source[:, :, :3]
    assert decoded.shape == expected.shape
    assert psnr(expected, decoded) > 35


def test_alpha_strides_and_views_do_not_change_the_file():
    rgb = gradient(20, 30, 3)
    reference = xqob.encode(rgb)
    rgba = np.concatenate([rgb, np.full((20, 30, 1), 7, np.uint8)], axis=2)
    assert xqob.encode(rgba) == reference
    wide = np.zeros((20, 50, 3), np.uint8)
    wide[:, 10:40] = rgb
    assert xqob.encode(wide[:, 10:40]) == reference  # rows lie apart: passed with a stride
    assert xqob.encode(rgb[::-1][::-1]) == reference
    assert xqob.encode(np.asfortranarray(rgb)) == reference
    assert xqob.encode(gradient(20, 30, 1)[:, :, None]) == xqob.encode(gradient(20, 30, 1))


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
        (lambda: xqob.encode(np.zeros((4, 4, 2), np.uint8)), ValueError),
        (lambda: xqob.encode(np.zeros(4, np.uint8)), ValueError),
        (lambda: xqob.encode(np.zeros((4, 4), np.uint8), quality=101), xqob.Error),
        (lambda: xqob.encode(np.zeros((4, 70000), np.uint8)), xqob.Error),
        (lambda: xqob.decode(SAMPLES[0], mode="CMYK"), ValueError),
        (lambda: xqob.decode(12), TypeError),
    ],
)
def test_bad_arguments(call, exception):
    with pytest.raises(exception):
        call()
