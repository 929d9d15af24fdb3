// Pictures through the public C++ interface, as packed rows the tests compare.
#pragma once

#include <cstdint>
#include <vector>
#include <xqob/xqob.hpp>

#include "tests/support/synthetic_images.h"

namespace xqob::test {

// Encodes packed rows of 1 (gray) or 3 (R, G, B) channels; empty when the encoder refuses.
inline std::vector<uint8_t> encodeRows(const std::vector<uint8_t>& pixels, int32_t width,
                                       int32_t height, int32_t channels,
                                       const EncodeOptions& options = {}) {
    std::vector<uint8_t> qob;
    const ImageView view{pixels.data(), width, height, channels == 1 ? Format::gray : Format::rgb};
    if (encode(view, options, qob)) qob.clear();
    return qob;
}

inline std::vector<uint8_t> encodeRows(const Picture& picture, const EncodeOptions& options = {}) {
    return encodeRows(picture.pixels, picture.width, picture.height, picture.channels, options);
}

// The rows of a decoded picture, packed.
inline std::vector<uint8_t> packedRows(const Image& image) {
    std::vector<uint8_t> rows;
    const size_t row = size_t(image.width) * size_t(image.channels());
    for (int32_t y = 0; y < image.height && image.data() != nullptr; ++y) {
        rows.insert(rows.end(), image.row(y), image.row(y) + row);
    }
    return rows;
}

}  // namespace xqob::test
