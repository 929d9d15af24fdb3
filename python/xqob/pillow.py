"""A Pillow plug-in for QOB pictures, registered on import:

    import xqob.pillow
    from PIL import Image
    image = Image.open("photo.qob")   # reads only the header; pixels on first use
    image.save("copy.qob", quality=80)

Image.open() reads the header alone, so .size and .mode cost no decoding. Saving takes
quality, chroma_quality, gray and full_chroma; L and 1 pictures are stored gray, everything
else as R, G, B (alpha is not stored).
"""

import numpy as np
from PIL import Image, ImageFile

import xqob

_LONGEST_HEADER = 24


def _accept(prefix):
    return prefix[:3] == b"QOB"


class QobImageFile(ImageFile.ImageFile):
    format = "QOB"
    format_description = "QOB picture"

    def _open(self):
        header = self.fp.read(_LONGEST_HEADER)
        try:
            found = xqob.info(header)
        except xqob.Error as error:
            # Pillow takes SyntaxError as "not this format" and tries the next plug-in.
            raise SyntaxError(str(error)) from error
        self._size = (found.width, found.height)
        self.mode = "L" if found.gray else "RGB"
        self.info["quality"] = found.quality
        self.info["chroma_quality"] = found.chroma_quality
        self.tile = [("qob", (0, 0) + self.size, 0, None)]


class QobDecoder(ImageFile.PyDecoder):
    _pulls_fd = True

    def decode(self, buffer):
        self.fd.seek(0)
        pixels = xqob.decode(self.fd.read())
        self.set_as_raw(pixels.tobytes())
        return -1, 0


def _save(image, fp, filename):
    options = image.encoderinfo
    target = "L" if image.mode in ("L", "1", "LA", "I", "I;16", "F") else "RGB"
    if image.mode != target:
        image = image.convert(target)
    fp.write(
        xqob.encode(
            np.asarray(image),
            quality=options.get("quality", 75),
            chroma_quality=options.get("chroma_quality"),
            gray=options.get("gray", False),
            full_chroma=options.get("full_chroma", False),
        )
    )


Image.register_open(QobImageFile.format, QobImageFile, _accept)
Image.register_decoder("qob", QobDecoder)
Image.register_save(QobImageFile.format, _save)
Image.register_extension(QobImageFile.format, ".qob")
Image.register_mime(QobImageFile.format, "image/x-qob")
