"""The shared library libxqob.so.1 and the C structs of <xqob/xqob.h>, through ctypes."""

import ctypes
import ctypes.util
import os
import pathlib

ABI_MAJOR = 1

FORMAT_AUTO, FORMAT_GRAY, FORMAT_RGB, FORMAT_RGBA, FORMAT_BGRA, FORMAT_BGR = range(6)
DEFAULT_MAX_PIXELS = 1 << 28


class ErrorStruct(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("status", ctypes.c_int32),
        ("message", ctypes.c_char * 256),
    ]


class InfoStruct(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("gray", ctypes.c_int32),
        ("full_chroma", ctypes.c_int32),
        ("quality", ctypes.c_int32),
        ("chroma_quality", ctypes.c_int32),
        ("optional_block", ctypes.c_int32),
        ("header_bytes", ctypes.c_uint64),
        ("payload_bytes", ctypes.c_uint64),
    ]


class ImageStruct(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("format", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("stride", ctypes.c_size_t),
        ("pixels", ctypes.c_void_p),
        ("buffer_size", ctypes.c_size_t),
    ]


ROW_CALLBACK = ctypes.CFUNCTYPE(
    ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int32, ctypes.c_int32
)


class DecodeOptionsStruct(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("max_pixels", ctypes.c_uint64),
        ("threads", ctypes.c_int32),
        ("row_callback", ROW_CALLBACK),
        ("row_opaque", ctypes.c_void_p),
    ]


class EncodeOptionsStruct(ctypes.Structure):
    _fields_ = [
        ("struct_size", ctypes.c_size_t),
        ("quality", ctypes.c_int32),
        ("chroma_quality", ctypes.c_int32),
        ("gray", ctypes.c_int32),
        ("full_chroma", ctypes.c_int32),
        ("optional_block", ctypes.c_int32),
    ]


def sized(struct_type):
    """A zeroed struct with its struct_size set, as the C interface expects."""
    value = struct_type()
    value.struct_size = ctypes.sizeof(struct_type)
    return value


BUNDLED = pathlib.Path(__file__).resolve().with_name(f"libxqob.so.{ABI_MAJOR}")


def _candidates():
    """$XQOB_LIBRARY alone when set; otherwise the copy that pip put in this package, then the
    system's libxqob.so.1 (a build made with XQOB_USE_SYSTEM_LIBRARY=1 carries no copy)."""
    explicit = os.environ.get("XQOB_LIBRARY")
    if explicit:
        return [explicit]
    names = [str(BUNDLED)] if BUNDLED.exists() else []
    names.append(f"libxqob.so.{ABI_MAJOR}")
    found = ctypes.util.find_library("xqob")
    if found:
        names.append(found)
    return names


def _declare(library):
    c = ctypes
    sig = {
        "xqob_version_string": (c.c_char_p, []),
        "xqob_version": (c.c_uint32, []),
        "xqob_init_decode_options": (c.c_int, [c.POINTER(DecodeOptionsStruct), c.c_size_t]),
        "xqob_init_encode_options": (c.c_int, [c.POINTER(EncodeOptionsStruct), c.c_size_t]),
        "xqob_info_memory": (
            c.c_int,
            [c.c_void_p, c.c_size_t, c.POINTER(InfoStruct), c.POINTER(ErrorStruct)],
        ),
        "xqob_info_file": (c.c_int, [c.c_char_p, c.POINTER(InfoStruct), c.POINTER(ErrorStruct)]),
        "xqob_decode_memory": (
            c.c_int,
            [
                c.c_void_p,
                c.c_size_t,
                c.POINTER(DecodeOptionsStruct),
                c.POINTER(ImageStruct),
                c.POINTER(ErrorStruct),
            ],
        ),
        "xqob_decode_file": (
            c.c_int,
            [
                c.c_char_p,
                c.POINTER(DecodeOptionsStruct),
                c.POINTER(ImageStruct),
                c.POINTER(ErrorStruct),
            ],
        ),
        "xqob_encode": (
            c.c_int,
            [
                c.POINTER(ImageStruct),
                c.POINTER(EncodeOptionsStruct),
                c.POINTER(c.c_void_p),
                c.POINTER(c.c_size_t),
                c.POINTER(ErrorStruct),
            ],
        ),
        "xqob_free": (None, [c.c_void_p]),
    }
    for name, (result, arguments) in sig.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments


def load():
    """Loads libxqob (see _candidates) and declares its functions."""
    failures = []
    for name in _candidates():
        try:
            library = ctypes.CDLL(name)  # CDLL, not PyDLL: calls release the GIL
        except OSError as error:
            failures.append(str(error))
            continue
        _declare(library)
        major = library.xqob_version() >> 16
        if major != ABI_MAJOR:
            failures.append(f"{name} is version {major}, this module needs {ABI_MAJOR}")
            continue
        return library
    raise ImportError(
        "cannot load the xqob library (libxqob.so.1): this package carries no copy of its own "
        "(built with XQOB_USE_SYSTEM_LIBRARY=1, or not installed with pip); install the library "
        "(cmake --install), or set XQOB_LIBRARY to its path (" + "; ".join(failures) + ")"
    )
