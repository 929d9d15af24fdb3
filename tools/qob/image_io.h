// Reading pictures for the qob tool: PNG (png_codec.h) and binary PGM and PPM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qob {

struct RasterImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;         // 1 gray, 3 R, G, B
    std::vector<uint8_t> pixels;  // packed rows, top row first
    bool composited = false;      // some pixels were not opaque and met the background
};

struct Rgb {
    uint8_t r = 255, g = 255, b = 255;
};

// "white", "black", "#RRGGBB" or "RRGGBB"; false for anything else.
bool parseColour(const std::string& text, Rgb* colour);

// Reads bytes by their content: a PNG signature, or "P5" (PGM) or "P6" (PPM). Pixels of a
// PNG with transparency are composited over background; 16-bit samples become 8-bit and
// palettes expand. Gray PNGs, and palette PNGs whose colours are all gray, stay one channel,
// unless the background is not gray and meets a transparent pixel. On failure returns false
// with a message (no file name in it).
bool readImageBytes(const std::vector<uint8_t>& bytes, const Rgb& background, RasterImage* image,
                    std::string* error);

}  // namespace qob
