#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/recon_fixture.h"
#include "xqob/base/allocation_chain.h"
#include "xqob/recon/quantiser.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {
namespace {

using test::ReconFixture;

void fillCandidate(int32_t* candidate, int32_t count, int32_t value) {
    for (int32_t i = 0; i < count; ++i) candidate[i] = value;
}

std::vector<int32_t> lumaBlock(ReconFixture& f, int32_t x, int32_t y, int32_t n) {
    std::vector<int32_t> samples;
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t j = 0; j < n; ++j) samples.push_back(f.luma(x + j, y + r));
    }
    return samples;
}

std::vector<int32_t> uniform(int32_t count, int32_t value) {
    return std::vector<int32_t>(count, value);
}

TEST(Reconstruct, ZeroResidualStoresTheClippedPrediction) {
    ReconFixture f(32, 32, 16, 16);
    f.context.lumaQuantiser = 40;
    setUpDequantFactors(&f.context);
    f.context.chromaQuantiser = 30;
    setUpDequantFactors(&f.context);
    const int32_t values[] = {-300, -1, 0, 17, 255, 256, 1000};
    auto predict = [&](int32_t i) { return values[i % 7]; };
    auto clipped = [](int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
    for (int32_t i = 0; i < 16; ++i) f.context.lumaPred4x4[6][i] = predict(i);
    for (int32_t i = 0; i < 64; ++i) {
        f.context.lumaPred8x8[4][i] = predict(i + 1);
        f.context.crPred[7][i] = predict(i + 2);
        f.context.cbPred[1][i] = predict(i + 3);
    }
    int32_t weightedFactors[64];
    fillCandidate(weightedFactors, 64, 999);
    f.context.weightedDequant8x8 = weightedFactors;

    reconstructLuma4x4(&f.context, 4, 8, 6);
    reconstructLuma8x8(&f.context, 16, 0, 4, 0);
    reconstructLuma8x8(&f.context, 16, 16, 4, 1);
    reconstructChroma(&f.context, 8, 8, 7, 1);
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t j = 0; j < 8; ++j) {
            const int32_t i = 8 * r + j;
            if (r < 4 && j < 4) {
                EXPECT_EQ(f.luma(4 + j, 8 + r), clipped(predict(4 * r + j)));
            }
            EXPECT_EQ(f.luma(16 + j, r), clipped(predict(i + 1)));
            EXPECT_EQ(f.luma(16 + j, 16 + r), clipped(predict(i + 1)));
            EXPECT_EQ(f.cr(8 + j, 8 + r), clipped(predict(i + 2)));
            EXPECT_EQ(f.cb(8 + j, 8 + r), clipped(predict(i + 3)));
        }
    }
}

struct DcCase {
    int32_t quantiser;
    int32_t level;
    int32_t expected;  // every sample, prediction 100
};

TEST(Reconstruct, FourByFourDcLevel) {
    const DcCase cases[] = {
        {24, 1, 101},    // d0 = 40
        {24, -1, 99},    // d0 = -40
        {0, 3, 100},     // d0 = (60 + 1) >> 1 = 30: (6400 + 30 + 32) >> 6
        {0, 4, 101},     // d0 = 40
        {36, -5, 94},    // d0 = (-799) >> 1 = -400: (6400 - 400 + 32) >> 6
        {2, -3, 99},     // 22 * -3 = -66; (-65) >> 1 = -33, not -32: (6400 - 1) >> 6
        {1, 3, 101},     // 21 * 3 = 63: (63 + 1) >> 1 = 32, one more than 63 >> 1
        {96, 1, 140},    // d0 = (20 * 256 + 1) >> 1 = 2560
        {96, 100, 255},  // clipped above
        {96, -100, 0},   // clipped below
    };
    for (const DcCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "Q " << c.quantiser << " level " << c.level);
        ReconFixture f(16, 16, 8, 8);
        f.context.lumaQuantiser = c.quantiser;
        setUpDequantFactors(&f.context);
        fillCandidate(f.context.lumaPred4x4[2], 16, 100);
        f.context.coeff4x4[0] = c.level;
        reconstructLuma4x4(&f.context, 4, 4, 2);
        EXPECT_EQ(lumaBlock(f, 4, 4, 4), uniform(16, c.expected));
    }
}

TEST(Reconstruct, FourByFourDcSpreadsEquallyOverTheBlock) {
    // At Q mod 12 = 0 the DC factor is 20 and every sample moves by (d0 + 32) >> 6.
    for (int32_t quantiser = 0; quantiser <= 96; quantiser += 12) {
        for (int32_t level : {-1800, -77, -3, -1, 1, 2, 5, 64, 1800}) {
            SCOPED_TRACE(testing::Message() << "Q " << quantiser << " level " << level);
            const int64_t product = int64_t{20} * level * (int64_t{1} << (quantiser / 12));
            const int64_t d0 = (product + 1) >> 1;
            const int64_t moved = 100 + ((d0 + 32) >> 6);
            const int32_t expected =
                static_cast<int32_t>(moved < 0 ? 0 : (moved > 255 ? 255 : moved));
            ReconFixture f(8, 8, 8, 8);
            f.context.lumaQuantiser = quantiser;
            setUpDequantFactors(&f.context);
            fillCandidate(f.context.lumaPred4x4[9], 16, 100);
            f.context.coeff4x4[0] = level;
            reconstructLuma4x4(&f.context, 4, 0, 9);
            EXPECT_EQ(lumaBlock(f, 4, 0, 4), uniform(16, expected));
        }
    }
}

TEST(Reconstruct, UniformEightByEightDcLevel) {
    const DcCase cases[] = {
        {24, 1, 100},  // d0 = 80: (25600 + 80 + 128) >> 8
        {24, 2, 101},  // d0 = 160
        {24, -2, 99},  // d0 = -160
        {97, 6, 226},  // d0 = 21 * 6 * 256 = 32256
        {97, 8, 255},  // clipped above
        {97, -8, 0},   // clipped below
    };
    for (const DcCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "Q " << c.quantiser << " level " << c.level);
        ReconFixture f(16, 16, 8, 8);
        f.context.lumaQuantiser = c.quantiser;
        setUpDequantFactors(&f.context);
        fillCandidate(f.context.lumaPred8x8[3], 64, 100);
        f.context.coeff8x8[0] = c.level;
        reconstructLuma8x8(&f.context, 8, 8, 3, 0);
        EXPECT_EQ(lumaBlock(f, 8, 8, 8), uniform(64, c.expected));
    }
}

TEST(Reconstruct, UniformEightByEightFirstHorizontalFrequency) {
    // Q 12: class 3 factor 19, times 3, times 2: d[1] = 114.
    ReconFixture f(16, 16, 8, 8);
    f.context.lumaQuantiser = 12;
    setUpDequantFactors(&f.context);
    fillCandidate(f.context.lumaPred8x8[0], 64, 100);
    f.context.coeff8x8[1] = 3;
    reconstructLuma8x8(&f.context, 0, 8, 0, 0);
    const std::vector<int32_t> expected = {101, 101, 100, 100, 100, 100, 99, 99};
    const std::vector<int32_t> samples = lumaBlock(f, 0, 8, 8);
    for (int32_t r = 0; r < 8; ++r) {
        EXPECT_EQ(std::vector<int32_t>(samples.begin() + 8 * r, samples.begin() + 8 * r + 8),
                  expected)
            << "row " << r;
    }
}

TEST(Reconstruct, WeightedEightByEightIgnoresTheLumaQuantiser) {
    DecoderContext tables{};
    tables.qualityIndex = 50;
    setUpQuantiser(&tables);  // DC factor 160
    std::vector<uint8_t> results[2];
    for (int32_t pass = 0; pass < 2; ++pass) {
        ReconFixture f(16, 16, 8, 8);
        f.context.weightedDequant8x8 = tables.weightedDequant8x8;
        f.context.lumaQuantiser = pass == 0 ? 16 : 97;
        setUpDequantFactors(&f.context);
        fillCandidate(f.context.lumaPred8x8[2], 64, 100);
        f.context.coeff8x8[0] = 2;   // d0 = 320
        f.context.coeff8x8[9] = -1;  // class 1: 29 * 5
        reconstructLuma8x8(&f.context, 8, 0, 2, 1);
        for (int32_t r = 0; r < 8; ++r) {
            for (int32_t j = 0; j < 8; ++j) results[pass].push_back(f.luma(8 + j, r));
        }
        EXPECT_EQ(f.context.coeff8x8[0], 2) << "levels are left as they were";
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_NE(results[0], std::vector<uint8_t>(64, 100));
    freeChain(&tables);

    // DC alone: (25600 + 320 + 128) >> 8 = 101 everywhere.
    ReconFixture f(16, 16, 8, 8);
    int32_t factors[64];
    fillCandidate(factors, 64, 160);
    f.context.weightedDequant8x8 = factors;
    fillCandidate(f.context.lumaPred8x8[1], 64, 100);
    f.context.coeff8x8[0] = 2;
    reconstructLuma8x8(&f.context, 0, 0, 1, 1);
    EXPECT_EQ(lumaBlock(f, 0, 0, 8), uniform(64, 101));
}

TEST(Reconstruct, ChromaUsesTheChromaQuantiserForBothPlanes) {
    // At chroma Q 24 a DC level 2 gives d0 = 160 (101); at the luma Q 0 it would give 40 (100).
    ReconFixture f(32, 32, 16, 16);
    f.context.lumaQuantiser = 0;
    setUpDequantFactors(&f.context);
    f.context.chromaQuantiser = 24;
    setUpDequantFactors(&f.context);
    fillCandidate(f.context.crPred[3], 64, 100);
    fillCandidate(f.context.cbPred[5], 64, 100);
    f.context.coeffCr[0] = 2;
    f.context.coeffCb[0] = -2;
    reconstructChroma(&f.context, 8, 0, 3, 5);
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t j = 0; j < 8; ++j) {
            EXPECT_EQ(f.cr(8 + j, r), 101);
            EXPECT_EQ(f.cb(8 + j, r), 99);
        }
    }
    // Nothing outside the block is written.
    EXPECT_EQ(f.cr(7, 0), 0);
    EXPECT_EQ(f.cb(8, 8), 0);
}

// The plane loops pass the levels where the syntax left them, or null for a block without
// coded levels; whatever the context's coefficient blocks hold must then play no part.
TEST(Reconstruct, ReadsTheLevelsItIsGivenAndNoOthers) {
    const int32_t dc[64] = {1};             // Q 24, 4x4: every sample + 1
    const int32_t horizontal[64] = {0, 3};  // Q 12, 8x8: the ramp below along every row
    const std::vector<int32_t> ramp = {101, 101, 100, 100, 100, 100, 99, 99};
    enum Kind { luma4x4, luma8x8, chroma };
    struct Case {
        Kind kind;
        const int32_t* levels;
        const int32_t* levelsCb;  // chroma only
        std::vector<int32_t> row;
        std::vector<int32_t> rowCb;
    } cases[] = {
        {luma4x4, dc, nullptr, uniform(4, 101), {}},
        {luma4x4, nullptr, nullptr, uniform(4, 100), {}},
        {luma8x8, horizontal, nullptr, ramp, {}},
        {luma8x8, nullptr, nullptr, uniform(8, 100), {}},
        {chroma, horizontal, nullptr, ramp, uniform(8, 100)},
        {chroma, nullptr, horizontal, uniform(8, 100), ramp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << (c.levels ? " coded" : "")
                                        << (c.levelsCb ? " Cb coded" : ""));
        ReconFixture f(16, 16, 16, 16);
        f.context.lumaQuantiser = c.kind == luma4x4 ? 24 : 12;
        f.context.chromaQuantiser = 12;
        setUpDequantFactors(&f.context);
        fillCandidate(f.context.coeff4x4, 16, 77);
        for (int32_t* block : {f.context.coeff8x8, f.context.coeffCr, f.context.coeffCb})
            fillCandidate(block, 64, 77);
        fillCandidate(f.context.lumaPred4x4[2], 16, 100);
        fillCandidate(f.context.lumaPred8x8[2], 64, 100);
        fillCandidate(f.context.crPred[2], 64, 100);
        fillCandidate(f.context.cbPred[2], 64, 100);
        const int32_t n = c.kind == luma4x4 ? 4 : 8;
        if (c.kind == luma4x4) reconstructLuma4x4(&f.context, 4, 8, 2, c.levels);
        if (c.kind == luma8x8) reconstructLuma8x8(&f.context, 8, 8, 2, 0, c.levels);
        if (c.kind == chroma) reconstructChroma(&f.context, 8, 0, 2, 2, c.levels, c.levelsCb);
        for (int32_t r = 0; r < n; ++r) {
            std::vector<int32_t> row, rowCb;
            for (int32_t j = 0; j < n; ++j) {
                if (c.kind == luma4x4) row.push_back(f.luma(4 + j, 8 + r));
                if (c.kind == luma8x8) row.push_back(f.luma(8 + j, 8 + r));
                if (c.kind != chroma) continue;
                row.push_back(f.cr(8 + j, r));
                rowCb.push_back(f.cb(8 + j, r));
            }
            EXPECT_EQ(row, c.row) << "row " << r;
            EXPECT_EQ(rowCb, c.rowCb) << "row " << r;
        }
    }
}

TEST(Reconstruct, StoresOnlyTheBlockAtTheGivenPosition) {
    ReconFixture f(16, 16, 8, 8);
    fillCandidate(f.context.lumaPred4x4[0], 16, 200);
    reconstructLuma4x4(&f.context, 12, 8, 0);
    int32_t written = 0;
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const bool inside = x >= 12 && y >= 8 && y < 12;
            EXPECT_EQ(f.luma(x, y), inside ? 200 : 0) << x << "," << y;
            written += inside;
        }
    }
    EXPECT_EQ(written, 16);
}

// Levels at their caps with the largest factors leave the 32-bit range inside the transforms;
// the result wraps and every stored sample is still a clipped value. Run under the sanitizers.
TEST(Reconstruct, ExtremeLevelsWrapWithoutFailing) {
    DecoderContext tables{};
    tables.qualityIndex = 100;
    setUpQuantiser(&tables);
    for (int32_t pattern = 0; pattern < 4; ++pattern) {
        ReconFixture f(16, 16, 16, 16);
        f.context.weightedDequant8x8 = tables.weightedDequant8x8;
        f.context.chromaQuantiser = 80;
        setUpDequantFactors(&f.context);
        auto level = [pattern](int32_t i, int32_t cap) {
            switch (pattern) {
                case 0:
                    return cap;
                case 1:
                    return -cap;
                case 2:
                    return (i & 1) ? cap : -cap;
                default:
                    return ((i >> 3) + i) & 1 ? -cap : cap;
            }
        };
        for (int32_t i = 0; i < 16; ++i) f.context.coeff4x4[i] = level(i, 1800);
        for (int32_t i = 0; i < 64; ++i) {
            f.context.coeff8x8[i] = level(i, 6000);
            f.context.coeffCr[i] = level(i, 6000);
            f.context.coeffCb[i] = level(i + 1, 6000);
        }
        fillCandidate(f.context.lumaPred4x4[8], 16, 255);
        fillCandidate(f.context.lumaPred8x8[8], 64, 0);
        fillCandidate(f.context.crPred[8], 64, 128);
        fillCandidate(f.context.cbPred[8], 64, 128);
        for (int32_t quantiser : {95, 96, 97}) {
            f.context.lumaQuantiser = quantiser;
            setUpDequantFactors(&f.context);
            reconstructLuma4x4(&f.context, 0, 0, 8);
            reconstructLuma8x8(&f.context, 8, 0, 8, 0);
            reconstructLuma8x8(&f.context, 0, 8, 8, 1);
            reconstructChroma(&f.context, 8, 8, 8, 8);
        }
    }
    freeChain(&tables);
}

}  // namespace
}  // namespace xqob
