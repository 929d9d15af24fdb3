"""Native single-threaded decode times for bench/web-speed: the C interface of libxqob.so.1
through ctypes, bytes in memory to packed R, G, B rows (what the WebAssembly side times).

    web_native.py LIBRARY RUNS FILE...   prints a JSON object: file -> list of milliseconds of
                                         the calling thread's CPU time, one per decode
"""
import ctypes
import json
import sys
import time


class Image(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("format", ctypes.c_int32),
                ("width", ctypes.c_int32), ("height", ctypes.c_int32),
                ("stride", ctypes.c_size_t), ("pixels", ctypes.c_void_p),
                ("buffer_size", ctypes.c_size_t)]


FORMAT_RGB = 2


def main():
    library = ctypes.CDLL(sys.argv[1])
    library.xqob_decode_memory.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_void_p,
                                           ctypes.POINTER(Image), ctypes.c_void_p]
    library.xqob_free.argtypes = [ctypes.c_void_p]
    runs = int(sys.argv[2])
    times = {}
    for path in sys.argv[3:]:
        with open(path, "rb") as file:
            data = file.read()
        times[path] = []
        for _ in range(runs):
            image = Image(struct_size=ctypes.sizeof(Image), format=FORMAT_RGB)
            start = time.thread_time()
            status = library.xqob_decode_memory(data, len(data), None, ctypes.byref(image), None)
            elapsed = time.thread_time() - start
            if status != 0:
                sys.exit(f"{path}: decode failed with status {status}")
            library.xqob_free(image.pixels)
            times[path].append(elapsed * 1000)
    json.dump(times, sys.stdout)


main()
