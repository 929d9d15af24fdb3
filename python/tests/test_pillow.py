import io

import numpy as np
import pytest
from PIL import Image, UnidentifiedImageError

import xqob
import xqob.pillow  # noqa: F401  (registers the plug-in)
from conftest import SAMPLES
from test_xqob import BAD_FILES, gradient, header


class CountingFile(io.BytesIO):
    """Remembers how far into the file anything was read."""

    def __init__(self, data):
        super().__init__(data)
        self.furthest = 0

    def read(self, size=-1):
        data = super().read(size)
        self.furthest = max(self.furthest, self.tell())
        return data


@pytest.mark.parametrize("path", SAMPLES, ids=lambda p: p.name)
def test_open_reads_the_header_only_and_load_decodes(path):
    data = path.read_bytes()
    counting = CountingFile(data)
    with Image.open(counting) as image:
        found = xqob.info(data)
        assert image.format == "QOB"
        assert image.size == (found.width, found.height)
        assert image.mode == ("L" if found.gray else "RGB")
        assert counting.furthest <= 24
        np.testing.assert_array_equal(np.asarray(image), xqob.decode(data))
    with Image.open(path) as image:
        assert image.info["quality"] == found.quality
        if found.gray:
            assert "chroma_layout" not in image.info
        else:
            assert image.info["chroma_quality"] == found.chroma_quality
            assert image.info["chroma_layout"] == ("4:4:4" if found.full_chroma else "4:2:0")
        image.thumbnail((64, 64))
        assert max(image.size) == 64


def test_header_alone_gives_the_size():
    with Image.open(io.BytesIO(header(width=300, height=200))) as image:
        assert image.size == (300, 200)
        with pytest.raises(xqob.Error, match="payload ends after 0 bytes"):
            image.load()


@pytest.mark.parametrize("mode,stored_gray", [("RGB", False), ("L", True), ("RGBA", False),
                                              ("P", False), ("1", True), ("LA", True)])
def test_save_and_reopen(tmp_path, mode, stored_gray):
    image = Image.fromarray(gradient(24, 40, 3)).convert(mode)
    target = tmp_path / "out.qob"
    image.save(target, quality=80)
    assert ".qob" in Image.registered_extensions()
    found = xqob.info(target)
    assert (found.quality, found.gray, found.width, found.height) == (80, stored_gray, 40, 24)
    with Image.open(target) as reopened:
        assert reopened.mode == ("L" if stored_gray else "RGB")
        reopened.load()


def test_save_options(tmp_path):
    target = tmp_path / "gray.qob"
    Image.fromarray(gradient(16, 16, 3)).save(target, gray=True, full_chroma=True,
                                              chroma_quality=20)
    found = xqob.info(target)
    assert (found.gray, found.full_chroma, found.chroma_quality, found.quality) == (
        True, True, 20, 75)


@pytest.mark.parametrize("name,data,message", BAD_FILES[:5], ids=[c[0] for c in BAD_FILES[:5]])
def test_bad_headers_are_not_identified(name, data, message):
    with pytest.raises(UnidentifiedImageError):
        Image.open(io.BytesIO(data))


def test_truncated_payload_fails_on_load_with_an_oserror():
    data = SAMPLES[0].read_bytes()
    with Image.open(io.BytesIO(data[: len(data) // 3])) as image:
        with pytest.raises(OSError, match="payload ends after"):
            image.load()


def test_translucent_pixels_are_blended_as_encode_does():
    rgba = np.dstack([gradient(16, 16, 3), np.full((16, 16), 100, np.uint8)])
    target = io.BytesIO()
    Image.fromarray(rgba).save(target, "QOB", background="black")
    assert target.getvalue() == xqob.encode(rgba, background="black")

