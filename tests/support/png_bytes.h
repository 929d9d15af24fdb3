// Minimal PNG files for the tool tests: 8-bit samples, no filtering, stored (uncompressed)
// deflate blocks. Enough for any PNG reader, and self-contained.
#pragma once

#include <cstdint>
#include <vector>

namespace xqob::test {

// colourType: 0 gray, 2 RGB, 4 gray + alpha, 6 RGBA; pixels packed rows of the matching
// channel count.
std::vector<uint8_t> pngBytes(int32_t width, int32_t height, int32_t colourType,
                              const std::vector<uint8_t>& pixels);

// A binary PGM (channels 1) or PPM (channels 3) file with maximum value 255.
std::vector<uint8_t> pnmBytes(int32_t width, int32_t height, int32_t channels,
                              const std::vector<uint8_t>& pixels);

}  // namespace xqob::test
