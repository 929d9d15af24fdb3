// Synthetic pictures for the encoder tests, and the measures the tests apply to the result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xqob::test {

enum class Pattern { gradient, noise, edges, flat, mixed };

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;
    std::vector<uint8_t> pixels;  // packed rows
};

// The same pattern and seed give the same picture on every platform.
Picture makePicture(Pattern pattern, int32_t width, int32_t height, int32_t channels,
                    uint32_t seed = 1);

const char* patternName(Pattern pattern);

// PSNR in dB of b against a (same size); 99 for identical pictures.
double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// Decodes a QOB file from memory; returns false when the decoder fails.
bool decodeBytes(const std::vector<uint8_t>& file, int32_t width, int32_t height, bool gray,
                 std::vector<uint8_t>* pixels);

}  // namespace xqob::test
