#include "tests/support/synthetic_images.h"

#include <cmath>

#include "xqob/decoder/decode_picture.h"

namespace xqob::test {

namespace {

uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    return x ^ (x >> 16);
}

uint8_t sample(Pattern pattern, int32_t x, int32_t y, int32_t c, int32_t width, int32_t height,
               uint32_t seed) {
    const uint32_t noise =
        hash(uint32_t(x) * 7919u + uint32_t(y) * 104729u + uint32_t(c) + seed * 31u);
    switch (pattern) {
        case Pattern::gradient:
            return uint8_t((x * 255 / (width > 1 ? width - 1 : 1) +
                            y * 128 / (height > 1 ? height : 1) + c * 60) %
                           256);
        case Pattern::noise:
            return uint8_t(noise);
        case Pattern::edges:
            return ((x / 5 + y / 7 + c) % 3 == 0) ? uint8_t(230 - 40 * c) : uint8_t(20 + 30 * c);
        case Pattern::flat:
            return uint8_t(90 + 50 * c);
        case Pattern::mixed:
            break;
    }
    // A smooth shape, an edge, and mild noise, the way photographs mix them.
    const double smooth = 128 + 90 * std::sin(x * 0.09 + c) * std::cos(y * 0.07);
    const double edge = (x + 2 * y) % 40 < 20 ? 30 : -30;
    return uint8_t(std::fmax(0, std::fmin(255, smooth + edge + double(noise % 17) - 8)));
}

}  // namespace

Picture makePicture(Pattern pattern, int32_t width, int32_t height, int32_t channels,
                    uint32_t seed) {
    Picture picture{width, height, channels, {}};
    picture.pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    size_t i = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t c = 0; c < channels; ++c) {
                picture.pixels[i++] = sample(pattern, x, y, c, width, height, seed);
            }
        }
    }
    return picture;
}

const char* patternName(Pattern pattern) {
    switch (pattern) {
        case Pattern::gradient:
            return "gradient";
        case Pattern::noise:
            return "noise";
        case Pattern::edges:
            return "edges";
        case Pattern::flat:
            return "flat";
        case Pattern::mixed:
            return "mixed";
    }
    return "?";
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

bool decodeBytes(const std::vector<uint8_t>& file, int32_t width, int32_t height, bool gray,
                 std::vector<uint8_t>* pixels) {
    pixels->assign(size_t(width) * size_t(height) * (gray ? 1 : 3), 0);
    DecodeRequest request;
    request.data = file.data();
    request.size = file.size();
    return decodePicture(request, pixels->data()) == 0;
}

}  // namespace xqob::test
