// Reading pictures for the qob tool: PNG (through libpng) and binary PGM and PPM.
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
};

// Reads path by its content: a PNG signature, or "P5" (PGM) or "P6" (PPM). PNG pictures
// with alpha lose it (composited on black), 16-bit samples become 8-bit, palettes expand;
// gray PNGs stay one channel. On failure returns false with a message (no file name in it).
bool readImage(const std::string& path, RasterImage* image, std::string* error);

// The same for bytes in memory.
bool readImageBytes(const std::vector<uint8_t>& bytes, RasterImage* image, std::string* error);

// The bytes of a file; false with a message when it cannot be read.
bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Writes bytes to path, replacing it; false with a message on failure.
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace qob
