"""Read, decode and encode QOB pictures, over the library libxqob that the package carries.

    import xqob
    found = xqob.info("photo.qob")          # the header alone: width, height, quality...
    pixels = xqob.decode("photo.qob")       # numpy uint8, (H, W) gray or (H, W, 3) R, G, B
    data = xqob.encode(pixels, quality=90)  # the bytes of a QOB file

Sources are paths (str or os.PathLike), bytes-like objects (bytes, bytearray, memoryview)
or binary file objects. A picture that cannot be read raises xqob.Error (an OSError) with
the library's message; arguments of the wrong type raise TypeError, bad values ValueError.

Decoding and encoding run without the GIL: threads decode separate pictures at once.
"""

from __future__ import annotations

import ctypes
import numbers
import os
import weakref
from dataclasses import dataclass
from typing import BinaryIO, Optional, Tuple, Union

import numpy as np

from . import _library as _c

_lib = _c.load()

__version__: str = _lib.xqob_version_string().decode()

DEFAULT_MAX_PIXELS: int = _c.DEFAULT_MAX_PIXELS

Source = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, BinaryIO]
Colour = Union[str, Tuple[int, int, int]]

# decode(format=...) and the C pixel formats.
_FORMATS = {
    "auto": _c.FORMAT_AUTO,
    "gray": _c.FORMAT_GRAY,
    "rgb": _c.FORMAT_RGB,
    "rgba": _c.FORMAT_RGBA,
    "bgr": _c.FORMAT_BGR,
    "bgra": _c.FORMAT_BGRA,
}
_CHANNELS = {_c.FORMAT_GRAY: 1, _c.FORMAT_RGB: 3, _c.FORMAT_BGR: 3, _c.FORMAT_RGBA: 4,
             _c.FORMAT_BGRA: 4}
_LONGEST_HEADER = 24


class Error(OSError):
    """A picture that cannot be read, decoded or encoded. str(error) is the library's message
    (e.g. "payload ends after 1986 bytes"), status its xqob_status code."""

    def __init__(self, message: str, status: int = 0):
        super().__init__(message)
        self.status = status

    def __reduce__(self):  # keeps status across pickling (multiprocessing, Dask)
        return type(self), (str(self), self.status)


@dataclass(frozen=True)
class Info:
    """What the header says."""

    width: int
    height: int
    gray: bool
    full_chroma: bool  # chroma at full resolution (4:4:4) instead of half (4:2:0)
    quality: int  # 0..100, higher is better
    chroma_quality: int  # 0..80, higher is better
    optional_block: bool
    header_bytes: int  # 14 or 24
    payload_bytes: int  # bytes after the header; 0 when read from a stream that cannot seek


def _check(status: int, error: _c.ErrorStruct) -> None:
    if status != 0:
        raise Error(error.message.decode(errors="replace"), status)


def _is_path(source) -> bool:
    return isinstance(source, (str, os.PathLike))


def _path_bytes(source) -> bytes:
    path = os.fsencode(source)
    if b"\0" in path:
        raise ValueError("embedded null byte in the path")
    return path


def _bytes_view(source) -> np.ndarray:
    """The bytes of a bytes-like object, without a copy where they lie in one piece."""
    try:
        return np.frombuffer(source, dtype=np.uint8)
    except ValueError:  # a memoryview with gaps
        return np.frombuffer(memoryview(source).tobytes(), dtype=np.uint8)


def _read_once(source) -> np.ndarray:
    """The bytes of a bytes-like object or the rest of a binary file object, read once."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return _bytes_view(source)
    read = getattr(source, "read", None)
    if read is None:
        raise TypeError(f"expected a path, bytes or a binary file, not {type(source).__name__}")
    data = read()
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError(f"expected a binary file, but read() gave {type(data).__name__}")
    return _bytes_view(data)


def _integer(name: str, value, low: int, high: int) -> int:
    if not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{name} {value} out of range {low}..{high}")
    return int(value)


def info(source: Source) -> Info:
    """Reads the header of a QOB picture and nothing after it: from a path, bytes, or a
    binary file object, whose position is restored when it can seek (a stream that cannot
    seek is left after the header, and payload_bytes is 0)."""
    result = _c.sized(_c.InfoStruct)
    error = _c.sized(_c.ErrorStruct)
    total = None
    if _is_path(source):
        status = _lib.xqob_info_file(_path_bytes(source), result, error)
    else:
        if isinstance(source, (bytes, bytearray, memoryview)):
            data = _bytes_view(source)
        else:
            data, total = _read_header(source)
        status = _lib.xqob_info_memory(data.ctypes.data, data.size, result, error)
    _check(status, error)
    payload = result.payload_bytes if total is None else max(total - result.header_bytes, 0)
    return Info(
        width=result.width,
        height=result.height,
        gray=bool(result.gray),
        full_chroma=bool(result.full_chroma),
        quality=result.quality,
        chroma_quality=result.chroma_quality,
        optional_block=bool(result.optional_block),
        header_bytes=result.header_bytes,
        payload_bytes=payload,
    )


def _read_header(file) -> Tuple[np.ndarray, int]:
    """The first bytes of a file object and its size from its position (0 if unknown)."""
    if not hasattr(file, "read"):
        raise TypeError(f"expected a path, bytes or a binary file, not {type(file).__name__}")
    seekable = getattr(file, "seekable", lambda: False)()
    start = file.tell() if seekable else 0
    head = file.read(_LONGEST_HEADER)
    if not isinstance(head, (bytes, bytearray)):
        raise TypeError(f"expected a binary file, but read() gave {type(head).__name__}")
    if not seekable:
        return _bytes_view(head), 0
    total = file.seek(0, os.SEEK_END) - start
    file.seek(start)
    return _bytes_view(head), total


def decode(
    source: Source,
    format: str = "auto",
    *,
    max_pixels: int = DEFAULT_MAX_PIXELS,
    threads: int = 1,
    mode: Optional[str] = None,
) -> np.ndarray:
    """Decodes a QOB picture into a new numpy uint8 array.

    source: a path, bytes-like object or binary file object (read once, from its position).
    format: "auto" as stored, (H, W) gray or (H, W, 3) R, G, B; "gray" (H, W); "rgb",
        "bgr" (H, W, 3); "rgba", "bgra" (H, W, 4) with alpha 255. Gray pictures expand into
        the colour formats; colour pictures become gray by the BT.601 weights.
    max_pixels: refuse pictures of more than width x height pixels (0: no limit), checked
        before anything large is allocated.
    threads: 1 decodes on the calling thread; 2 reads the payload on a second thread
        (1.1-1.3 times faster on large photographs); 0 chooses by the picture's size.
    mode: the earlier name of format, also in Pillow's spelling ("L", "RGB", ...).
    """
    if mode is not None:
        if format != "auto":
            raise TypeError("give format or mode, not both")
        format = mode
    if not isinstance(format, str):
        raise TypeError(f"format must be a string, not {type(format).__name__}")
    key = "gray" if format.lower() == "l" else format.lower()
    if key not in _FORMATS:
        raise ValueError(f"format must be one of {', '.join(_FORMATS)}, not {format!r}")
    options = _c.DecodeOptionsStruct()
    _lib.xqob_init_decode_options(options, ctypes.sizeof(options))
    options.max_pixels = _integer("max_pixels", max_pixels, 0, (1 << 64) - 1)
    options.threads = _integer("threads", threads, 0, (1 << 31) - 1)
    image = _c.sized(_c.ImageStruct)
    image.format = _FORMATS[key]
    error = _c.sized(_c.ErrorStruct)
    # The library allocates the rows once the header has passed the limit; the array then
    # owns them and frees them with the library when it goes.
    if _is_path(source):
        status = _lib.xqob_decode_file(_path_bytes(source), options, image, error)
    else:
        data = _read_once(source)
        status = _lib.xqob_decode_memory(data.ctypes.data, data.size, options, image, error)
    _check(status, error)
    return _adopt(image)


def _adopt(image: _c.ImageStruct) -> np.ndarray:
    channels = _CHANNELS[image.format]
    shape = (image.height, image.width) + (() if channels == 1 else (channels,))
    if not image.pixels:  # width or height 0
        return np.empty(shape, dtype=np.uint8)
    size = image.height * image.width * channels
    assert image.stride == image.width * channels, "packed rows were asked for"
    buffer = (ctypes.c_uint8 * size).from_address(image.pixels)
    weakref.finalize(buffer, _lib.xqob_free, image.pixels)
    return np.frombuffer(buffer, dtype=np.uint8).reshape(shape)


def _colour(value: Colour) -> Tuple[int, int, int]:
    named = {"white": (255, 255, 255), "black": (0, 0, 0)}
    if isinstance(value, str):
        text = value.lower()
        if text in named:
            return named[text]
        if len(text) == 7 and text[0] == "#":
            try:
                return tuple(int(text[i : i + 2], 16) for i in (1, 3, 5))
            except ValueError:
                pass
        raise ValueError(f"background takes white, black, #RRGGBB or (R, G, B), not {value!r}")
    if isinstance(value, (tuple, list)) and len(value) == 3:
        return tuple(_integer("background", c, 0, 255) for c in value)
    raise TypeError(f"background takes white, black, #RRGGBB or (R, G, B), not {value!r}")


def _composite(pixels: np.ndarray, background: Tuple[int, int, int]) -> np.ndarray:
    """Blends the last channel (alpha) into background and drops it, rounded to nearest, as
    qob encode does: gray with alpha stays gray over a gray background, and becomes colour
    over a colour one only where something shows through."""
    colour, alpha = pixels[:, :, :-1], pixels[:, :, -1]
    if (alpha == 255).all():
        return colour[:, :, 0] if colour.shape[2] == 1 else colour
    back = np.array(background, dtype=np.uint32)
    if colour.shape[2] == 1 and back.min() == back.max():
        back = back[:1]
    weight = alpha.astype(np.uint32)[:, :, None]
    mixed = (colour.astype(np.uint32) * weight + back * (255 - weight) + 127) // 255
    mixed = mixed.astype(np.uint8)
    return mixed[:, :, 0] if mixed.shape[2] == 1 else mixed


def encode(
    array: np.ndarray,
    quality: int = 75,
    chroma_quality: Optional[int] = None,
    full_chroma: bool = False,
    *,
    gray: bool = False,
    optional_block: bool = False,
    background: Colour = "white",
) -> bytes:
    """Encodes a uint8 array into the bytes of a QOB file.

    array: (H, W) or (H, W, 1) gray; (H, W, 3) R, G, B; (H, W, 4) R, G, B, A or (H, W, 2)
        gray and alpha, at any strides. QOB stores no alpha: as `qob encode` does, pixels
        that are not opaque are blended over background ("white", "black", "#RRGGBB" or
        (R, G, B)); a fully opaque picture is stored as it is.
    quality: 0..100, higher is better. chroma_quality: 0..80, or None to follow quality
        (52 at 75). full_chroma: colour at full resolution instead of half in each
        direction. gray: store luma alone, also from a colour array. optional_block: write
        the header's optional 10-byte block.
    """
    pixels = np.asarray(array)
    if pixels.dtype != np.uint8:
        raise TypeError(f"expected a uint8 array, not {pixels.dtype}")
    if pixels.ndim == 2:
        pixels = pixels[:, :, None]
    if pixels.ndim != 3 or pixels.shape[2] not in (1, 2, 3, 4):
        raise ValueError(f"expected shape (H, W), (H, W, 1), (H, W, 2), (H, W, 3) or "
                         f"(H, W, 4), not {np.shape(array)}")
    quality = _integer("quality", quality, 0, 100)
    if chroma_quality is not None:
        chroma_quality = _integer("chroma_quality", chroma_quality, 0, 80)
    background = _colour(background)
    if pixels.shape[2] == 2 or (pixels.shape[2] == 4 and not (pixels[:, :, 3] == 255).all()):
        pixels = _composite(pixels, background)
    if pixels.ndim == 3 and pixels.shape[2] == 1:
        pixels = pixels[:, :, 0]
    channels = 1 if pixels.ndim == 2 else pixels.shape[2]  # 4: opaque, alpha ignored
    # Rows may lie apart (a crop is passed with its stride); pixels within a row must not.
    packed_row = pixels.strides[1] == channels and (channels == 1 or pixels.strides[2] == 1)
    if not packed_row or pixels.strides[0] < pixels.shape[1] * channels:
        pixels = np.ascontiguousarray(pixels)
    image = _c.sized(_c.ImageStruct)
    image.format = {1: _c.FORMAT_GRAY, 3: _c.FORMAT_RGB, 4: _c.FORMAT_RGBA}[channels]
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
