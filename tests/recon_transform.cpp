#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "xqob/dsp/transform.h"

namespace xqob {
namespace {

// Basis functions of the two transforms: row u holds the samples that a coefficient of
// horizontal (or vertical) frequency u spreads over, scaled by 2 (4x4) and by 8 (8x8).
constexpr int32_t kBasis4[4][4] = {{2, 2, 2, 2}, {2, 1, -1, -2}, {2, -2, -2, 2}, {1, -2, 2, -1}};
constexpr int32_t kBasis8[8][8] = {
    {8, 8, 8, 8, 8, 8, 8, 8},     {12, 10, 6, 3, -3, -6, -10, -12},
    {8, 4, -4, -8, -8, -4, 4, 8}, {10, -3, -12, -6, 6, 12, 3, -10},
    {8, -8, -8, 8, 8, -8, -8, 8}, {6, -12, 3, 10, -10, -3, 12, -6},
    {4, -8, 8, -4, -4, 8, -8, 4}, {3, -6, 10, -12, 12, -10, 6, -3},
};

// With coefficients 4 (4x4) or 64 (8x8) every shift in the butterflies is exact, so a single
// coefficient reproduces the product of its two basis functions.
TEST(InverseTransform, FourByFourSingleCoefficientsGiveTheBasis) {
    for (int32_t v = 0; v < 4; ++v) {
        for (int32_t u = 0; u < 4; ++u) {
            int32_t block[16] = {};
            block[4 * v + u] = 4;
            inverseTransform4x4(block);
            for (int32_t r = 0; r < 4; ++r) {
                for (int32_t k = 0; k < 4; ++k) {
                    EXPECT_EQ(block[4 * r + k], kBasis4[u][k] * kBasis4[v][r])
                        << "coefficient (" << v << "," << u << ") sample (" << r << "," << k << ")";
                }
            }
        }
    }
}

TEST(InverseTransform, EightByEightSingleCoefficientsGiveTheBasis) {
    for (int32_t v = 0; v < 8; ++v) {
        for (int32_t u = 0; u < 8; ++u) {
            int32_t block[64] = {};
            block[8 * v + u] = 64;
            inverseTransform8x8(block);
            for (int32_t r = 0; r < 8; ++r) {
                for (int32_t k = 0; k < 8; ++k) {
                    EXPECT_EQ(block[8 * r + k], kBasis8[u][k] * kBasis8[v][r])
                        << "coefficient (" << v << "," << u << ") sample (" << r << "," << k << ")";
                }
            }
        }
    }
}

TEST(InverseTransform, HalvingRoundsTowardMinusInfinity) {
    // s1 = -1: (s1 >> 1) is -1, not 0, so the row is -1, -1, 1, 1 rather than -1, 0, 0, 1.
    int32_t block4[16] = {};
    block4[1] = -1;
    inverseTransform4x4(block4);
    for (int32_t r = 0; r < 4; ++r) {
        EXPECT_EQ(std::vector<int32_t>(block4 + 4 * r, block4 + 4 * r + 4),
                  (std::vector<int32_t>{-1, -1, 1, 1}));
    }
    // s1 = -1 in the 8x8 odd half: a7 = -1 + (-1 >> 1) = -2, b1 = -2 >> 2 = -1 and
    // b5 = (-1 >> 2) - 1 = -2; truncating shifts would give -1, -1, -1, 0, 0, 1, 1, 1.
    int32_t block8[64] = {};
    block8[1] = -1;
    inverseTransform8x8(block8);
    EXPECT_EQ(std::vector<int32_t>(block8, block8 + 8),
              (std::vector<int32_t>{-2, -2, -1, -1, 1, 1, 2, 2}));
}

}  // namespace
}  // namespace xqob
