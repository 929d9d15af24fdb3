#include "xqob/capi/pixel_formats.h"

#include <cstring>

namespace xqob {

namespace {

// Byte positions of R, G, B and alpha (-1: none) within a pixel of each format.
struct Layout {
    int32_t r, g, b, a, size;
};

Layout layoutOf(int32_t format) {
    switch (format) {
        case XQOB_FORMAT_RGB:
            return {0, 1, 2, -1, 3};
        case XQOB_FORMAT_RGBA:
            return {0, 1, 2, 3, 4};
        case XQOB_FORMAT_BGRA:
            return {2, 1, 0, 3, 4};
        case XQOB_FORMAT_BGR:
            return {2, 1, 0, -1, 3};
    }
    return {0, 0, 0, -1, 1};
}

void grayRow(const uint8_t* in, int32_t channels, int32_t width, uint8_t* out) {
    if (channels == 1) {
        std::memcpy(out, in, size_t(width));
        return;
    }
    for (int32_t x = 0; x < width; ++x, in += 3) out[x] = grayOf(in[0], in[1], in[2]);
}

void colourRow(const uint8_t* in, int32_t channels, int32_t width, const Layout& layout,
               uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, in += channels, out += layout.size) {
        const uint8_t r = in[0];
        const uint8_t g = in[channels == 1 ? 0 : 1];
        const uint8_t b = in[channels == 1 ? 0 : 2];
        out[layout.r] = r;
        out[layout.g] = g;
        out[layout.b] = b;
        if (layout.a >= 0) out[layout.a] = 255;
    }
}

}  // namespace

int32_t bytesPerPixel(int32_t format) {
    switch (format) {
        case XQOB_FORMAT_GRAY:
            return 1;
        case XQOB_FORMAT_RGB:
        case XQOB_FORMAT_BGR:
            return 3;
        case XQOB_FORMAT_RGBA:
        case XQOB_FORMAT_BGRA:
            return 4;
    }
    return 0;
}

void convertRow(const uint8_t* source, int32_t sourceChannels, int32_t width, int32_t format,
                uint8_t* destination) {
    if (format == XQOB_FORMAT_GRAY) {
        grayRow(source, sourceChannels, width, destination);
    } else if (format == XQOB_FORMAT_RGB && sourceChannels == 3) {
        std::memcpy(destination, source, size_t(width) * 3);
    } else {
        colourRow(source, sourceChannels, width, layoutOf(format), destination);
    }
}

void packRows(const uint8_t* source, size_t stride, int32_t format, int32_t width, int32_t height,
              uint8_t* destination) {
    // A picture without columns has no rows to copy (source and destination may be null).
    if (width == 0) return;
    const Layout layout = layoutOf(format);
    const size_t channels = format == XQOB_FORMAT_GRAY ? 1 : 3;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = source + size_t(y) * stride;
        uint8_t* out = destination + size_t(y) * size_t(width) * channels;
        if (channels == 1) {
            std::memcpy(out, in, size_t(width));
            continue;
        }
        for (int32_t x = 0; x < width; ++x, in += layout.size, out += 3) {
            out[0] = in[layout.r];
            out[1] = in[layout.g];
            out[2] = in[layout.b];
        }
    }
}

}  // namespace xqob
