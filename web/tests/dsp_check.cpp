// The SIMD128 kernels against the reference kernels, bit for bit, on random inputs with the
// extremes included (products and transforms that wrap around 32 bits, samples at 0 and 255,
// every luma, Cb and Cr value, every row-tail length, every intra mode). xqob_dsp_check
// returns "" when all agree, else the first disagreement; web/tests/dsp.test.mjs runs it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "xqob/dsp/dsp.h"

namespace xqob {
namespace {

char failure[200];

struct Random {
    std::mt19937 engine{20261209};
    int32_t range(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(engine);
    }
    int32_t any() { return int32_t(uint32_t(engine())); }
    uint8_t byte() { return uint8_t(engine()); }
};

bool fail(const char* what, int32_t a, int32_t b) {
    std::snprintf(failure, sizeof failure, "%s (%d, %d)", what, int(a), int(b));
    return false;
}

bool reconstruction(const DspFunctions& fast, Random* random) {
    for (int32_t n : {4, 8}) {
        for (int32_t trial = 0; trial < 3000; ++trial) {
            const int32_t kind = trial % 3;
            int32_t levels[64], factors[64], prediction[64];
            for (int32_t i = 0; i < n * n; ++i) {
                levels[i] = kind == 0   ? (random->range(0, 3) == 0 ? random->range(-3, 3) : 0)
                            : kind == 1 ? random->range(-6000, 6000)
                                        : (random->range(0, 1)
                                               ? random->any()
                                               : (random->range(0, 1) ? INT32_MAX : INT32_MIN));
                factors[i] =
                    kind < 2 ? random->range(18, 61) << random->range(0, 8) : random->any();
                prediction[i] = trial % 7 == 6 ? random->any() : random->range(0, 255);
            }
            constexpr int32_t kStride = 24;
            std::vector<uint8_t> expected(kStride * 10, 0x5A), actual(kStride * 10, 0x5A);
            (n == 4 ? referenceDsp.reconstruct4x4 : referenceDsp.reconstruct8x8)(
                levels, factors, prediction, expected.data() + kStride + 3, kStride);
            (n == 4 ? fast.reconstruct4x4 : fast.reconstruct8x8)(
                levels, factors, prediction, actual.data() + kStride + 3, kStride);
            if (expected != actual) return fail("reconstruct n, trial", n, trial);
            if (trial % 7 == 6) continue;  // the plain copy only sees samples 0..255
            (n == 4 ? referenceDsp.putPrediction4x4 : referenceDsp.putPrediction8x8)(
                prediction, expected.data() + kStride + 3, kStride);
            (n == 4 ? fast.putPrediction4x4 : fast.putPrediction8x8)(
                prediction, actual.data() + kStride + 3, kStride);
            if (expected != actual) return fail("put prediction n, trial", n, trial);
        }
    }
    return true;
}

bool everyColourTriple(const DspFunctions& fast) {
    uint8_t luma[256], cb[256], cr[256], expected[768], actual[768];
    for (int32_t i = 0; i < 256; ++i) luma[i] = uint8_t(i);
    for (int32_t u = 0; u < 256; ++u) {
        for (int32_t v = 0; v < 256; ++v) {
            std::memset(cb, u, sizeof cb);
            std::memset(cr, v, sizeof cr);
            referenceDsp.convertRow(luma, cb, cr, expected, 256);
            fast.convertRow(luma, cb, cr, actual, 256);
            if (std::memcmp(expected, actual, sizeof actual) != 0)
                return fail("colour cb, cr", u, v);
        }
    }
    return true;
}

bool rowsOfEveryWidth(const DspFunctions& fast, Random* random) {
    for (int32_t width = 1; width <= 100; ++width) {
        for (int32_t trial = 0; trial < 20; ++trial) {
            const bool extreme = trial % 4 == 0;
            auto sample = [&] {
                return extreme ? uint8_t(random->range(0, 1) * 255) : random->byte();
            };
            std::vector<uint8_t> luma(width), cb(width), cr(width);
            for (int32_t i = 0; i < width; ++i)
                luma[i] = sample(), cb[i] = sample(), cr[i] = sample();
            std::vector<uint8_t> expected(3 * width + 64, 0xA5), actual(3 * width + 64, 0xA5);
            referenceDsp.convertRow(luma.data(), cb.data(), cr.data(), expected.data(), width);
            fast.convertRow(luma.data(), cb.data(), cr.data(), actual.data(), width);
            if (expected != actual) return fail("colour row width, trial", width, trial);
            for (const bool bgr : {false, true}) {
                std::vector<uint8_t> quad(4 * width + 64, 0xA5), quadFast = quad;
                referenceDsp.convertRowQuad(luma.data(), cb.data(), cr.data(), quad.data(), width,
                                            bgr);
                fast.convertRowQuad(luma.data(), cb.data(), cr.data(), quadFast.data(), width, bgr);
                if (quad != quadFast)
                    return fail("four-byte colour row width, trial", width, trial);
            }

            const int32_t m = width < 2 ? 2 : width;
            std::vector<uint8_t> near(m), far(m);
            for (int32_t i = 0; i < m; ++i) {
                near[i] = extreme ? 255 : random->byte();
                far[i] = extreme ? 255 : random->byte();
            }
            std::vector<uint8_t> up(2 * m + 64, 0xA5), upFast(2 * m + 64, 0xA5);
            referenceDsp.upsampleRow(near.data(), far.data(), up.data(), m);
            fast.upsampleRow(near.data(), far.data(), upFast.data(), m);
            if (up != upFast) return fail("upsampling m, trial", m, trial);
        }
    }
    return true;
}

// Every intra mode over every presence of the sides, 4x4 and 8x8 with luma and chroma
// smoothing, on random edges and edges at 0 and 255.
bool intraPrediction(const DspFunctions& fast, Random* random) {
    for (int32_t trial = 0; trial < 300; ++trial) {
        IntraEdge edge{};
        for (uint8_t& s : edge.above)
            s = trial % 3 == 0 ? random->byte() : trial % 3 == 1 ? 0 : 255;
        for (uint8_t& s : edge.left) s = trial % 3 == 0 ? random->byte() : trial % 3 == 1 ? 0 : 255;
        edge.corner = random->byte();
        for (int32_t sides = 0; sides < 4; ++sides) {
            IntraEdge present = edge;
            present.hasTop = (sides & 1) != 0;
            present.hasLeft = (sides & 2) != 0;
            if (!present.hasTop) std::memset(present.above, 0, 16);
            if (!present.hasLeft) std::memset(present.left, 0, 8);
            if (!(present.hasTop && present.hasLeft)) present.corner = 0;
            IntraEdge small = present;
            std::memset(small.above + 8, 0, 8);
            std::memset(small.left + 4, 0, 4);
            for (int32_t mode = 0; mode <= 8; ++mode) {
                int32_t expected[64];
                int32_t actual[64];
                std::memset(expected, 0xA5, sizeof expected);
                std::memset(actual, 0xA5, sizeof actual);
                if (referenceDsp.predictIntra4x4(&small, mode, expected) !=
                        fast.predictIntra4x4(&small, mode, actual) ||
                    std::memcmp(expected, actual, sizeof expected) != 0) {
                    return fail("4x4 intra mode, trial", mode, trial);
                }
                for (const bool chroma : {false, true}) {
                    if (referenceDsp.predictIntra8x8(&present, mode, chroma, expected) !=
                            fast.predictIntra8x8(&present, mode, chroma, actual) ||
                        std::memcmp(expected, actual, sizeof expected) != 0) {
                        return fail("8x8 intra mode, trial", mode, trial);
                    }
                }
            }
        }
    }
    return true;
}

}  // namespace
}  // namespace xqob

extern "C" __attribute__((used)) const char* xqob_dsp_check() {
    using namespace xqob;
    const DspFunctions* fast = dspFunctions(DspLevel::simd128);
    if (fast == nullptr || bestDspLevel() != DspLevel::simd128) return "no SIMD128 kernels linked";
    Random random;
    if (reconstruction(*fast, &random) && everyColourTriple(*fast) &&
        rowsOfEveryWidth(*fast, &random) && intraPrediction(*fast, &random)) {
        return "";
    }
    return failure;
}
