"""Read, decode and encode QOB pictures, over the shared library libxqob.

    import xqob
    info = xqob.info("photo.qob")          # header only
    pixels = xqob.decode("photo.qob")      # numpy uint8, (H, W) gray or (H, W, 3) R, G, B
    data = xqob.encode(pixels, quality=90) # bytes of a QOB file

Failures raise xqob.Error with the library's message.
"""

import ctypes
import os
from dataclasses import dataclass

import numpy as np

from . import _library as _c

_lib = _c.load()

__version__ = _lib.xqob_version_string().decode()

DEFAULT_MAX_PIXELS = _c.DEFAULT_MAX_PIXELS

# Output modes of decode(): name, C pixel format, channels.
_MODES = {
    "L": (_c.FORMAT_GRAY, 1),
    "RGB": (_c.FORMAT_RGB, 3),
    "RGBA": (_c.FORMAT_RGBA, 4),
    "BGRA": (_c.FORMAT_BGRA, 4),
    "BGR": (_c.FORMAT_BGR, 3),
}


class Error(Exception):
    """A failed call: status is the library's xqob_status, str(error) its message."""

    def __init__(self, message, status):
        super().__init__(message)
        self.status = status


@dataclass(frozen=True)
class Info:
    width: int
    height: int
    gray: bool
    full_chroma: bool
    quality: int  # 0..100, higher is better
    chroma_quality: int  # 0..80, higher is better
    optional_block: bool
    header_bytes: int
    payload_bytes: int


def _check(status, error):
    if status != 0:
        raise Error(error.message.decode(errors="replace"), status)


def _read(source):
    """The bytes of source: bytes-like, a path, or a binary file object."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source)
    if isinstance(source, (str, os.PathLike)):
        with open(source, "rb") as file:
            return file.read()
    if hasattr(source, "read"):
        return source.read()
    raise TypeError(f"expected bytes, a path or a binary file, not {type(source).__name__}")


def info(source):
    """Header information of a QOB picture given as bytes or a path; a path's file is read
    only as far as the header."""
    result = _c.sized(_c.InfoStruct)
    error = _c.sized(_c.ErrorStruct)
    if isinstance(source, (str, os.PathLike)):
        status = _lib.xqob_info_file(os.fsencode(source), result, error)
    else:
        data = _read(source)
        status = _lib.xqob_info_memory(data, len(data), result, error)
    _check(status, error)
    return Info(
        width=result.width,
        height=result.height,
        gray=bool(result.gray),
        full_chroma=bool(result.full_chroma),
        quality=result.quality,
        chroma_quality=result.chroma_quality,
        optional_block=bool(result.optional_block),
        header_bytes=result.header_bytes,
        payload_bytes=result.payload_bytes,
    )


def decode(source, mode=None, max_pixels=DEFAULT_MAX_PIXELS):
    """Decodes a QOB picture (bytes, a path or a binary file) into a numpy uint8 array:
    (H, W) for a gray picture and (H, W, 3) R, G, B for a colour one, or in mode ("L", "RGB",
    "RGBA", "BGR", "BGRA"; gray expands into colour, colour into "L" by BT.601 weights).
    max_pixels limits width x height; 0 lifts the limit."""
    data = _read(source)
    header = info(data)
    if mode is None:
        mode = "L" if header.gray else "RGB"
    if mode not in _MODES:
        raise ValueError(f"mode must be one of {', '.join(_MODES)}, not {mode!r}")
    pixel_format, channels = _MODES[mode]
    shape = (header.height, header.width) + (() if channels == 1 else (channels,))
    pixels = np.empty(shape, dtype=np.uint8)
    options = _c.DecodeOptionsStruct()
    _lib.xqob_init_decode_options(options, ctypes.sizeof(options))
    options.max_pixels = max_pixels
    image = _c.sized(_c.ImageStruct)
    image.format = pixel_format
    image.stride = header.width * channels
    image.pixels = pixels.ctypes.data if pixels.size else None
    image.buffer_size = pixels.nbytes
    error = _c.sized(_c.ErrorStruct)
    _check(_lib.xqob_decode_memory(data, len(data), options, image, error), error)
    return pixels


def encode(
    array, quality=75, chroma_quality=None, gray=False, full_chroma=False, optional_block=False
):
    """Encodes a uint8 array into the bytes of a QOB file: (H, W) or (H, W, 1) gray,
    (H, W, 3) R, G, B or (H, W, 4) R, G, B, A (alpha is not stored). quality 0..100;
    chroma_quality 0..80 follows quality when None; gray stores luma only."""
    pixels = np.asarray(array)
    if pixels.dtype != np.uint8:
        raise TypeError(f"expected a uint8 array, not {pixels.dtype}")
    if pixels.ndim == 3 and pixels.shape[2] == 1:
        pixels = pixels[:, :, 0]
    formats = {1: _c.FORMAT_GRAY, 3: _c.FORMAT_RGB, 4: _c.FORMAT_RGBA}
    channels = 1 if pixels.ndim == 2 else pixels.shape[2] if pixels.ndim == 3 else 0
    if channels not in formats:
        raise ValueError(f"expected shape (H, W), (H, W, 1), (H, W, 3) or (H, W, 4), not "
                         f"{pixels.shape}")
    # Rows may lie apart (a crop, a flipped view is copied): pixels within a row must not.
    row_pixels_packed = pixels.strides[1] == channels and (channels == 1 or pixels.strides[2] == 1)
    if not row_pixels_packed or pixels.strides[0] < pixels.shape[1] * channels:
        pixels = np.ascontiguousarray(pixels)
    image = _c.sized(_c.ImageStruct)
    image.format = formats[channels]
    image.height, image.width = pixels.shape[:2]
    image.stride = pixels.strides[0]
    image.pixels = pixels.ctypes.data if pixels.size else None
    options = _c.EncodeOptionsStruct()
    _lib.xqob_init_encode_options(options, ctypes.sizeof(options))
    options.quality = quality
    options.chroma_quality = -1 if chroma_quality is None else chroma_quality
    options.gray = bool(gray)
    options.full_chroma = bool(full_chroma)
    options.optional_block = bool(optional_block)
    output = ctypes.c_void_p()
    size = ctypes.c_size_t()
    error = _c.sized(_c.ErrorStruct)
    _check(_lib.xqob_encode(image, options, output, size, error), error)
    try:
        return ctypes.string_at(output, size.value)
    finally:
        _lib.xqob_free(output)


__all__ = ["Error", "Info", "info", "decode", "encode", "DEFAULT_MAX_PIXELS", "__version__"]
