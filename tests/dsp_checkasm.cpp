// Every optimised kernel against its reference, bit for bit, on random inputs with the
// extremes included: levels and factors whose products and transforms wrap around 32 bits,
// samples at 0 and 255, every deblocking strength, row widths that leave every tail length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "xqob/base/allocation_chain.h"
#include "xqob/dsp/dsp.h"
#include "xqob/output/colour.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/quantiser.h"

namespace xqob {
namespace {

std::vector<DspLevel> optimisedLevels() {
    std::vector<DspLevel> levels;
    for (DspLevel level : {DspLevel::sse2, DspLevel::avx2}) {
        if (dspFunctions(level) != nullptr) levels.push_back(level);
    }
    return levels;
}

struct Random {
    std::mt19937 engine{20261208};
    int32_t range(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(engine);
    }
    int32_t any() { return int32_t(uint32_t(engine())); }
    uint8_t byte() { return uint8_t(engine()); }
};

// Levels of one block of a kind: sparse and small, dense up to the coded cap, or any 32-bit
// value (wraps in the product and in the transform).
void fillLevels(Random* random, int32_t kind, int32_t count, int32_t* levels) {
    for (int32_t i = 0; i < count; ++i) {
        switch (kind) {
            case 0:
                levels[i] = random->range(0, 3) == 0 ? random->range(-3, 3) : 0;
                break;
            case 1:
                levels[i] = random->range(-6000, 6000);
                break;
            default:
                levels[i] = random->range(0, 1) ? random->any()
                                                : (random->range(0, 1) ? INT32_MAX : INT32_MIN);
                break;
        }
    }
}

void fillFactors(Random* random, int32_t kind, int32_t count, int32_t* factors) {
    for (int32_t i = 0; i < count; ++i) {
        factors[i] = kind < 2 ? random->range(18, 61) << random->range(0, 8) : random->any();
    }
}

TEST(Checkasm, Reconstruction) {
    Random random;
    for (DspLevel level : optimisedLevels()) {
        const DspFunctions& fast = *dspFunctions(level);
        SCOPED_TRACE(int(level));
        for (int32_t n : {4, 8}) {
            for (int32_t trial = 0; trial < 3000; ++trial) {
                const int32_t kind = trial % 3;
                int32_t levels[64], factors[64], prediction[64];
                fillLevels(&random, kind, n * n, levels);
                fillFactors(&random, kind, n * n, factors);
                for (int32_t i = 0; i < n * n; ++i) {
                    prediction[i] = trial % 7 == 6 ? random.any() : random.range(0, 255);
                }
                // A block inside a wider plane, with the samples around it checked too.
                constexpr int32_t kStride = 24;
                std::vector<uint8_t> expected(kStride * 10, 0x5A), actual(kStride * 10, 0x5A);
                auto* reconstruct =
                    n == 4 ? referenceDsp.reconstruct4x4 : referenceDsp.reconstruct8x8;
                auto* optimised = n == 4 ? fast.reconstruct4x4 : fast.reconstruct8x8;
                reconstruct(levels, factors, prediction, expected.data() + kStride + 3, kStride);
                optimised(levels, factors, prediction, actual.data() + kStride + 3, kStride);
                ASSERT_EQ(expected, actual) << "n " << n << " trial " << trial;
                if (trial % 7 == 6) continue;  // the plain copy only sees samples 0..255
                auto* put = n == 4 ? referenceDsp.putPrediction4x4 : referenceDsp.putPrediction8x8;
                auto* putFast = n == 4 ? fast.putPrediction4x4 : fast.putPrediction8x8;
                put(prediction, expected.data() + kStride + 3, kStride);
                putFast(prediction, actual.data() + kStride + 3, kStride);
                ASSERT_EQ(expected, actual) << "put n " << n << " trial " << trial;
            }
        }
    }
}

TEST(Checkasm, UncodedBlockEqualsTheTransformOfZeroLevels) {
    // The skipped transform must give what the full path gives for an all-zero block.
    Random random;
    int32_t zeros[64] = {}, factors[64], prediction[64];
    fillFactors(&random, 0, 64, factors);
    for (int32_t& p : prediction) p = random.range(0, 255);
    for (int32_t n : {4, 8}) {
        uint8_t full[64], put[64];
        (n == 4 ? referenceDsp.reconstruct4x4 : referenceDsp.reconstruct8x8)(zeros, factors,
                                                                             prediction, full, n);
        (n == 4 ? referenceDsp.putPrediction4x4 : referenceDsp.putPrediction8x8)(prediction, put,
                                                                                 n);
        EXPECT_EQ(std::vector<uint8_t>(full, full + n * n), std::vector<uint8_t>(put, put + n * n));
    }
}

// Every luma, Cb and Cr value: rows of 256 pixels whose luma runs over 0..255 (the kernels
// take the whole row in blocks and the tail) for each Cb, Cr pair. The reference itself is
// checked against the table form of the conversion.
TEST(Checkasm, ColourConversionOfEveryTriple) {
    DecoderContext context{};
    setUpColourTables(&context);
    std::vector<const DspFunctions*> tables = {&referenceDsp};
    for (DspLevel level : optimisedLevels()) tables.push_back(dspFunctions(level));
    uint8_t luma[256], cb[256], cr[256], expected[768], actual[768];
    for (int32_t i = 0; i < 256; ++i) luma[i] = uint8_t(i);
    for (int32_t u = 0; u < 256; ++u) {
        for (int32_t v = 0; v < 256; ++v) {
            std::fill(cb, cb + 256, uint8_t(u));
            std::fill(cr, cr + 256, uint8_t(v));
            convertRow(&context, luma, cb, cr, expected, 256);
            for (const DspFunctions* table : tables) {
                table->convertRow(luma, cb, cr, actual, 256);
                ASSERT_TRUE(std::equal(expected, expected + 768, actual))
                    << "cb " << u << " cr " << v;
            }
        }
    }
    freeChain(&context);
}

TEST(Checkasm, ColourConversionAndUpsampling) {
    Random random;
    for (DspLevel level : optimisedLevels()) {
        const DspFunctions& fast = *dspFunctions(level);
        SCOPED_TRACE(int(level));
        for (int32_t width = 1; width <= 100; ++width) {
            for (int32_t trial = 0; trial < 20; ++trial) {
                std::vector<uint8_t> luma(width), cb(width), cr(width);
                for (int32_t i = 0; i < width; ++i) {
                    // Extremes often: the clamps at both ends.
                    const bool extreme = trial % 4 == 0;
                    luma[i] = extreme ? uint8_t(random.range(0, 1) * 255) : random.byte();
                    cb[i] = extreme ? uint8_t(random.range(0, 1) * 255) : random.byte();
                    cr[i] = extreme ? uint8_t(random.range(0, 1) * 255) : random.byte();
                }
                std::vector<uint8_t> expected(3 * width + 64, 0xA5), actual(3 * width + 64, 0xA5);
                referenceDsp.convertRow(luma.data(), cb.data(), cr.data(), expected.data(), width);
                fast.convertRow(luma.data(), cb.data(), cr.data(), actual.data(), width);
                ASSERT_EQ(expected, actual) << "width " << width;
                // Four bytes a pixel: the same R, G, B in either order, then 255.
                for (const bool bgr : {false, true}) {
                    std::vector<uint8_t> quad(4 * width + 64, 0xA5), quadFast = quad;
                    referenceDsp.convertRowQuad(luma.data(), cb.data(), cr.data(), quad.data(),
                                                width, bgr);
                    fast.convertRowQuad(luma.data(), cb.data(), cr.data(), quadFast.data(), width,
                                        bgr);
                    ASSERT_EQ(quad, quadFast) << "width " << width << " bgr " << bgr;
                    for (int32_t x = 0; x < width; ++x) {
                        const uint8_t* rgb = expected.data() + 3 * x;
                        const uint8_t want[4] = {rgb[bgr ? 2 : 0], rgb[1], rgb[bgr ? 0 : 2], 255};
                        ASSERT_TRUE(std::equal(want, want + 4, quad.data() + 4 * x)) << x;
                    }
                }

                const int32_t m = width < 2 ? 2 : width;
                std::vector<uint8_t> near(m), far(m);
                for (int32_t i = 0; i < m; ++i) {
                    near[i] = trial % 4 == 0 ? 255 : random.byte();
                    far[i] = trial % 4 == 0 ? 255 : random.byte();
                }
                std::vector<uint8_t> up(2 * m + 64, 0xA5), upFast(2 * m + 64, 0xA5);
                referenceDsp.upsampleRow(near.data(), far.data(), up.data(), m);
                fast.upsampleRow(near.data(), far.data(), upFast.data(), m);
                ASSERT_EQ(up, upFast) << "m " << m;
            }
        }
    }
}

// A 24 x 24 patch around an edge: smooth sides with small noise, a step across the edge, or
// noise over the whole range, so that every branch of both filters is taken.
std::vector<uint8_t> edgePatch(Random* random, int32_t kind) {
    std::vector<uint8_t> patch(24 * 24);
    const int32_t base = random->range(0, 255);
    const int32_t step = random->range(-40, 40);
    for (int32_t y = 0; y < 24; ++y) {
        for (int32_t x = 0; x < 24; ++x) {
            int32_t v = kind == 2 ? random->range(0, 255)
                                  : base + (x >= 12 || y >= 12 ? step : 0) + random->range(-2, 2);
            if (kind == 1) v = (x >= 12 || y >= 12) ? 255 : 0;
            patch[y * 24 + x] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    return patch;
}

TEST(Checkasm, DeblockingSegments) {
    Random random;
    for (DspLevel level : optimisedLevels()) {
        const DspFunctions& fast = *dspFunctions(level);
        SCOPED_TRACE(int(level));
        for (int32_t trial = 0; trial < 400; ++trial) {
            const std::vector<uint8_t> patch = edgePatch(&random, trial % 3);
            for (int32_t direction = 0; direction < 2; ++direction) {
                const ptrdiff_t along = direction == 0 ? 24 : 1;
                const ptrdiff_t across = direction == 0 ? 1 : 24;
                const ptrdiff_t q0 = direction == 0 ? 8 * 24 + 12 : 12 * 24 + 8;
                for (int32_t index = 22; index <= 50; ++index) {
                    std::vector<uint8_t> expected = patch, actual = patch;
                    referenceDsp.filterLumaSegment(expected.data() + q0, along, across,
                                                   lumaDeblockTable[index]);
                    fast.filterLumaSegment(actual.data() + q0, along, across,
                                           lumaDeblockTable[index]);
                    ASSERT_EQ(expected, actual) << "luma index " << index << " trial " << trial;
                    // 16 lines from the same q0 (the patch holds them in both directions).
                    referenceDsp.filterLumaSegmentPair(expected.data() + q0, along, across,
                                                       lumaDeblockTable[index]);
                    fast.filterLumaSegmentPair(actual.data() + q0, along, across,
                                               lumaDeblockTable[index]);
                    ASSERT_EQ(expected, actual) << "luma pair " << index << " trial " << trial;
                }
                for (int32_t index = 18; index <= 40; ++index) {
                    std::vector<uint8_t> expected = patch, actual = patch;
                    referenceDsp.filterChromaSegment(expected.data() + q0, along, across,
                                                     chromaDeblockTable[index]);
                    fast.filterChromaSegment(actual.data() + q0, along, across,
                                             chromaDeblockTable[index]);
                    ASSERT_EQ(expected, actual) << "chroma index " << index << " trial " << trial;
                    // Both planes at once: the patch and its mirror image.
                    std::vector<uint8_t> otherExpected(patch.rbegin(), patch.rend());
                    std::vector<uint8_t> otherActual = otherExpected;
                    referenceDsp.filterChromaSegments(expected.data() + q0,
                                                      otherExpected.data() + q0, along, across,
                                                      chromaDeblockTable[index]);
                    fast.filterChromaSegments(actual.data() + q0, otherActual.data() + q0, along,
                                              across, chromaDeblockTable[index]);
                    ASSERT_EQ(expected, actual) << "chroma Cr " << index << " trial " << trial;
                    ASSERT_EQ(otherExpected, otherActual) << "chroma Cb " << index;
                }
            }
        }
    }
}

// Every mode over every presence of the sides, 4x4 and 8x8 with luma and chroma smoothing, on
// random edges, flat edges at 0 and 255 and edges that alternate between them. A mode that
// reads an absent side writes nothing on every level.
TEST(Checkasm, IntraPrediction) {
    Random random;
    for (DspLevel level : optimisedLevels()) {
        const DspFunctions& fast = *dspFunctions(level);
        SCOPED_TRACE(int(level));
        for (int32_t trial = 0; trial < 600; ++trial) {
            const int32_t kind = trial % 4;
            IntraEdge edge{};
            for (int32_t i = 0; i < 25; ++i) {
                const uint8_t sample = kind == 0   ? random.byte()
                                       : kind == 1 ? uint8_t(0)
                                       : kind == 2 ? uint8_t(255)
                                                   : uint8_t(i % 2 ? 255 : 0);
                if (i < 16)
                    edge.above[i] = sample;
                else if (i < 24)
                    edge.left[i - 16] = sample;
                else
                    edge.corner = sample;
            }
            for (int32_t sides = 0; sides < 4; ++sides) {
                IntraEdge present = edge;
                present.hasTop = (sides & 1) != 0;
                present.hasLeft = (sides & 2) != 0;
                if (!present.hasTop) std::fill(present.above, present.above + 16, 0);
                if (!present.hasLeft) std::fill(present.left, present.left + 8, 0);
                if (!(present.hasTop && present.hasLeft)) present.corner = 0;
                // A 4x4 block's edge: the samples past n = 4 are 0.
                IntraEdge small = present;
                std::fill(small.above + 8, small.above + 16, 0);
                std::fill(small.left + 4, small.left + 8, 0);
                for (int32_t mode = 0; mode <= 8; ++mode) {
                    std::vector<int32_t> expected(16, -1), actual(16, -1);
                    const bool wrote = referenceDsp.predictIntra4x4(&small, mode, expected.data());
                    ASSERT_EQ(fast.predictIntra4x4(&small, mode, actual.data()), wrote);
                    ASSERT_EQ(expected, actual) << "4x4 mode " << mode << " sides " << sides;
                    for (const bool chroma : {false, true}) {
                        std::vector<int32_t> expected(64, -1), actual(64, -1);
                        const bool wrote =
                            referenceDsp.predictIntra8x8(&present, mode, chroma, expected.data());
                        ASSERT_EQ(fast.predictIntra8x8(&present, mode, chroma, actual.data()),
                                  wrote);
                        ASSERT_EQ(expected, actual) << "mode " << mode << " sides " << sides
                                                    << " chroma " << chroma << " trial " << trial;
                    }
                }
            }
        }
    }
}

TEST(Checkasm, ThisProcessorGetsAnOptimisedTable) {
#if defined(__x86_64__)
    // SSE2 is part of every x86-64 processor.
    EXPECT_NE(dspFunctions(DspLevel::sse2), nullptr);
    EXPECT_NE(bestDspLevel(), DspLevel::reference);
#endif
    EXPECT_EQ(dspFunctions(DspLevel::reference), &referenceDsp);
}

}  // namespace
}  // namespace xqob
