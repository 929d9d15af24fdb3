#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/recon_fixture.h"
#include "xqob/recon/flat_prediction.h"

namespace xqob {
namespace {

using test::blockIsUntouched;
using test::blockValues;
using test::ReconFixture;

struct FlatCase {
    int32_t left;    // the 8 samples of the column to the left
    int32_t top;     // the 8 samples of the row above
    int32_t corner;  // never part of the mean
    int32_t mean;
};

const FlatCase kCases[] = {
    {0, 0, 255, 0},      // candidate 1 stays as it was
    {255, 255, 0, 255},  // candidate 2 stays as it was
    {10, 11, 200, 11},   // (80 + 88 + 8) >> 4
    {7, 8, 0, 8},        // (56 + 64 + 8) >> 4 = 8: ties round up
};

void checkCandidates(int32_t* const* candidates, int32_t mean) {
    EXPECT_EQ(blockValues(candidates[0], 64), std::vector<int32_t>(64, mean));
    if (mean > 0) {
        EXPECT_EQ(blockValues(candidates[1], 64), std::vector<int32_t>(64, mean - 1));
    } else {
        EXPECT_TRUE(blockIsUntouched(candidates[1], 64));
    }
    if (mean < 255) {
        EXPECT_EQ(blockValues(candidates[2], 64), std::vector<int32_t>(64, mean + 1));
    } else {
        EXPECT_TRUE(blockIsUntouched(candidates[2], 64));
    }
    for (int32_t i = 3; i < 9; ++i) EXPECT_TRUE(blockIsUntouched(candidates[i], 64));
}

TEST(FlatPrediction, LumaMeanOfTheBorder) {
    for (const FlatCase& c : kCases) {
        SCOPED_TRACE(c.mean);
        ReconFixture f(32, 32, 16, 16);
        for (int32_t i = 0; i < 8; ++i) {
            f.luma(7, 8 + i) = static_cast<uint8_t>(c.left);
            f.luma(8 + i, 7) = static_cast<uint8_t>(c.top);
        }
        f.luma(7, 7) = static_cast<uint8_t>(c.corner);
        f.luma(16, 7) = 255;  // beyond the top row
        f.luma(7, 16) = 255;  // below the left column
        predictFlatLuma(&f.context, 8, 8);
        checkCandidates(f.context.lumaPred8x8, c.mean);
    }
}

TEST(FlatPrediction, SumOfEightGivesMeanOne) {
    ReconFixture f(32, 32, 16, 16);
    f.luma(15, 7) = 8;
    predictFlatLuma(&f.context, 8, 8);
    checkCandidates(f.context.lumaPred8x8, 1);

    // A sum of 7 rounds down to 0.
    ReconFixture g(32, 32, 16, 16);
    g.luma(7, 15) = 7;
    predictFlatLuma(&g.context, 8, 8);
    checkCandidates(g.context.lumaPred8x8, 0);
}

TEST(FlatPrediction, ChromaPlanesHaveTheirOwnMeans) {
    for (const FlatCase& c : kCases) {
        SCOPED_TRACE(c.mean);
        ReconFixture f(32, 32, 24, 16);
        for (int32_t i = 0; i < 8; ++i) {
            f.cr(15, 8 + i) = static_cast<uint8_t>(c.left);
            f.cr(16 + i, 7) = static_cast<uint8_t>(c.top);
            f.cb(15, 8 + i) = 100;
            f.cb(16 + i, 7) = 50;
        }
        f.cr(15, 7) = static_cast<uint8_t>(c.corner);
        predictFlatChroma(&f.context, 16, 8);
        checkCandidates(f.context.crPred, c.mean);
        checkCandidates(f.context.cbPred, 75);
    }
}

}  // namespace
}  // namespace xqob
