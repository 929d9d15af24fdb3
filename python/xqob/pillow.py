"""A Pillow plug-in for QOB pictures, registered on import:

    import xqob.pillow
    from PIL import Image
    image = Image.open("photo.qob")   # reads only the header; pixels on first use
    image.save("copy.qob", quality=80)

Image.open() reads the header alone, so .size, .mode ("L" or "RGB") and .info (quality; for
colour pictures also chroma_quality and chroma_layout, "4:2:0" or "4:4:4") cost no decoding.
A file that is not QOB is left to the other plug-ins; a damaged one raises xqob.Error, an
OSError, with the library's message when it loads. Saving takes quality, chroma_quality,
gray, full_chroma and background: QOB stores no alpha, so translucent pixels (RGBA, LA, or
a palette with transparency) are blended over background, white by default, as
xqob.encode does.
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
        if not found.gray:
            self.info["chroma_quality"] = found.chroma_quality
            self.info["chroma_layout"] = "4:4:4" if found.full_chroma else "4:2:0"
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
    if image.mode == "P" or "transparency" in image.info:
        image = image.convert("RGBA")
    elif image.mode in ("1", "I", "I;16", "F"):
        image = image.convert("L")
    elif image.mode not in ("L", "LA", "RGB", "RGBA"):
        image = image.convert("RGB")
    fp.write(
        xqob.encode(
            np.asarray(image),
            quality=options.get("quality", 75),
            chroma_quality=options.get("chroma_quality"),
            full_chroma=options.get("full_chroma", False),
            gray=options.get("gray", False),
            background=options.get("background", "white"),
        )
    )


Image.register_open(QobImageFile.format, QobImageFile, _accept)
Image.register_decoder("qob", QobDecoder)
Image.register_save(QobImageFile.format, _save)
Image.register_extension(QobImageFile.format, ".qob")
Image.register_mime(QobImageFile.format, "image/x-qob")
