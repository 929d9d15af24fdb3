// One open, fully decoded picture, owned by the host from vkmLoadPictureInit to
// vkmLoadPictureExit.
#pragma once

#include <cstdint>

namespace xqob {

struct LoadHandle {
    int32_t width;
    int32_t height;
    int32_t gray;
    int32_t quality;        // 100 - qualityIndex
    int32_t chromaQuality;  // 80 - chromaQuantiser
    int32_t fullChroma;
    uint8_t* pixels;  // height rows of width * bytesPerPixel bytes
    uint8_t* cursor;  // the next row to hand out
    int32_t bytesPerPixel;
};

}  // namespace xqob
