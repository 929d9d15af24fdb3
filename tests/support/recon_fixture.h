// A DecoderContext whose planes, prediction candidates and coefficient blocks
// point into storage the fixture owns, for tests of single reconstruction stages.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "xqob/base/decoder_context.h"

namespace xqob::test {

// Marks candidate buffers that a stage must leave alone.
constexpr int32_t kUntouched = -7777;

struct ReconFixture {
    DecoderContext context{};
    std::vector<uint8_t> planes;
    std::vector<int32_t> buffers;

    ReconFixture(int32_t lumaWidth, int32_t lumaHeight, int32_t chromaWidth, int32_t chromaHeight)
        : planes(3 * static_cast<size_t>(lumaWidth) * lumaHeight, 0),
          buffers(10 * 64 + 10 * 16 + 2 * 9 * 64 + 64 + 16 + 64 + 64, kUntouched) {
        const size_t size = static_cast<size_t>(lumaWidth) * lumaHeight;
        context.width = lumaWidth;
        context.height = lumaHeight;
        context.paddedWidth = lumaWidth;
        context.paddedHeight = lumaHeight;
        context.chromaWidth = chromaWidth;
        context.chromaHeight = chromaHeight;
        context.planeY = planes.data();
        context.planeCb = planes.data() + size;
        context.planeCr = planes.data() + 2 * size;
        int32_t* next = buffers.data();
        auto take = [&next](int32_t count) {
            int32_t* block = next;
            next += count;
            return block;
        };
        for (int32_t i = 0; i < 10; ++i) context.lumaPred8x8[i] = take(64);
        for (int32_t i = 0; i < 10; ++i) context.lumaPred4x4[i] = take(16);
        for (int32_t i = 0; i < 9; ++i) context.crPred[i] = take(64);
        for (int32_t i = 0; i < 9; ++i) context.cbPred[i] = take(64);
        context.coeff8x8 = take(64);
        context.coeff4x4 = take(16);
        context.coeffCr = take(64);
        context.coeffCb = take(64);
        clearCoefficients();
    }
    ReconFixture(const ReconFixture&) = delete;
    ReconFixture& operator=(const ReconFixture&) = delete;

    void clearCoefficients() {
        for (int32_t i = 0; i < 64; ++i) {
            context.coeff8x8[i] = 0;
            context.coeffCr[i] = 0;
            context.coeffCb[i] = 0;
        }
        for (int32_t i = 0; i < 16; ++i) context.coeff4x4[i] = 0;
    }

    uint8_t& luma(int32_t x, int32_t y) { return context.planeY[y * context.paddedWidth + x]; }
    uint8_t& cr(int32_t x, int32_t y) { return context.planeCr[y * context.chromaWidth + x]; }
    uint8_t& cb(int32_t x, int32_t y) { return context.planeCb[y * context.chromaWidth + x]; }
};

// Row r of an n-wide block in raster order.
inline std::vector<int32_t> blockRow(const int32_t* block, int32_t n, int32_t r) {
    return std::vector<int32_t>(block + n * r, block + n * r + n);
}

inline bool blockIsUntouched(const int32_t* block, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (block[i] != kUntouched) return false;
    }
    return true;
}

// Samples written as in "1 2 3 / 4 5 6": numbers in order, slashes only for the reader.
inline std::vector<int32_t> samples(const std::string& text) {
    std::istringstream in(text);
    std::vector<int32_t> values;
    std::string word;
    while (in >> word) {
        if (word != "/") values.push_back(std::stoi(word));
    }
    return values;
}

inline std::vector<int32_t> blockValues(const int32_t* block, int32_t count) {
    return std::vector<int32_t>(block, block + count);
}

}  // namespace xqob::test
