#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "xqob/base/allocation_chain.h"
#include "xqob/recon/quantiser.h"

namespace xqob {
namespace {

struct QuantiserTables {
    std::vector<int32_t> quantMatrix;
    std::vector<int32_t> weighted;
};

QuantiserTables buildTables(int32_t qualityIndex) {
    DecoderContext context{};
    context.qualityIndex = qualityIndex;
    setUpQuantiser(&context);
    QuantiserTables tables{
        std::vector<int32_t>(context.quantMatrix8x8, context.quantMatrix8x8 + 64),
        std::vector<int32_t>(context.weightedDequant8x8, context.weightedDequant8x8 + 64)};
    freeChain(&context);
    return tables;
}

std::vector<int32_t> firstRow(const std::vector<int32_t>& table) {
    return std::vector<int32_t>(table.begin(), table.begin() + 8);
}

struct FirstRowCase {
    int32_t qualityIndex;
    std::vector<int32_t> quantMatrix;
    std::vector<int32_t> weighted;
};

TEST(QuantiserSetUp, FirstRowsAtKnownQualities) {
    const FirstRowCase cases[] = {
        {0, {1, 1, 1, 1, 1, 1, 1, 1}, {32, 30, 40, 30, 32, 30, 40, 30}},
        {50, {5, 3, 3, 5, 8, 13, 16, 19}, {160, 90, 120, 150, 256, 390, 640, 570}},
        {100,
         {90, 62, 56, 90, 135, 226, 288, 344},
         {2880, 1860, 2240, 2700, 4320, 6780, 11520, 10320}},
    };
    for (const FirstRowCase& c : cases) {
        SCOPED_TRACE(c.qualityIndex);
        const QuantiserTables tables = buildTables(c.qualityIndex);
        EXPECT_EQ(firstRow(tables.quantMatrix), c.quantMatrix);
        EXPECT_EQ(firstRow(tables.weighted), c.weighted);
    }
}

TEST(QuantiserSetUp, LowestQualityIsOneExceptForTheLargestSteps) {
    const QuantiserTables tables = buildTables(0);
    for (int32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(tables.quantMatrix[i], jpegLuma[i] >= 86 ? 2 : 1) << "position " << i;
    }
}

TEST(QuantiserSetUp, QualityTenDividesTheJpegTableBy32) {
    const QuantiserTables tables = buildTables(10);
    for (int32_t i = 0; i < 64; ++i) {
        const int32_t expected = std::max(1, (jpegLuma[i] + 16) / 32);
        EXPECT_EQ(tables.quantMatrix[i], expected) << "position " << i;
    }
}

TEST(QuantiserSetUp, WeightedTableIsTheRowEightFactorTimesTheStep) {
    const int32_t rowEight[6] = {32, 29, 51, 30, 40, 38};
    for (int32_t quality : {0, 7, 33, 64, 99, 100}) {
        SCOPED_TRACE(quality);
        const QuantiserTables tables = buildTables(quality);
        for (int32_t i = 0; i < 64; ++i) {
            EXPECT_GE(tables.quantMatrix[i], 1);
            EXPECT_EQ(tables.weighted[i], rowEight[class8[i]] * tables.quantMatrix[i]);
        }
    }
}

TEST(QuantiserTables, JpegLuminanceRowsAndScaleSteps) {
    const int32_t firstJpegRow[8] = {16, 11, 10, 16, 24, 40, 51, 61};
    const int32_t lastJpegRow[8] = {72, 92, 95, 98, 112, 100, 103, 99};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(jpegLuma[i], firstJpegRow[i]);
        EXPECT_EQ(jpegLuma[56 + i], lastJpegRow[i]);
    }
    for (int32_t r = 0; r < 12; ++r) {
        EXPECT_EQ(octaveScale[r], std::lround(32768.0 * std::pow(1.06, r - 10))) << r;
    }
}

TEST(QuantiserTables, PositionClassesFollowTheirParityRules) {
    for (int32_t r = 0; r < 4; ++r) {
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t expected = (r % 2 == 0 && c % 2 == 0)   ? 0
                                     : (r % 2 == 1 && c % 2 == 1) ? 1
                                                                  : 2;
            EXPECT_EQ(class4[4 * r + c], expected) << r << "," << c;
        }
    }
    // 0: multiple of 4, 1: odd, 2: two more than a multiple of 4.
    auto kind = [](int32_t v) { return v % 4 == 0 ? 0 : (v % 2 == 1 ? 1 : 2); };
    const int32_t byKinds[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t c = 0; c < 8; ++c) {
            EXPECT_EQ(class8[8 * r + c], byKinds[kind(r)][kind(c)]) << r << "," << c;
        }
    }
}

}  // namespace
}  // namespace xqob
