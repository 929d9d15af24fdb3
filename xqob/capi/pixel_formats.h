// Pixel formats of the C interface: bytes per pixel and the conversion of the decoder's
// gray or R, G, B rows into any of them, and of any of them into packed rows for the encoder.
#pragma once

#include <cstddef>
#include <cstdint>

#include <xqob/xqob.h>

namespace xqob {

// 1, 3 or 4 for the formats GRAY..BGR; 0 for AUTO and unknown values.
int32_t bytesPerPixel(int32_t format);

// One row of width pixels from source (1 byte gray or 3 bytes R, G, B per pixel as
// sourceChannels says) into destination in format.
void convertRow(const uint8_t* source, int32_t sourceChannels, int32_t width, int32_t format,
                uint8_t* destination);

// Rows of an image in format at stride into packed rows for the encoder: 1 byte per pixel
// from GRAY, otherwise R, G, B (alpha dropped).
void packRows(const uint8_t* source, size_t stride, int32_t format, int32_t width, int32_t height,
              uint8_t* destination);

// The weighted gray of a colour pixel, as in GRAY output of a colour picture.
inline uint8_t grayOf(uint32_t r, uint32_t g, uint32_t b) {
    // Weights sum to 65536, so the result stays within 0..255.
    return uint8_t((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

}  // namespace xqob
