#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/recon_fixture.h"
#include "xqob/dsp/intra_prediction.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/neighbour_presence.h"

namespace xqob {
namespace {

using test::blockIsUntouched;
using test::blockValues;
using test::ReconFixture;
using test::samples;

// Writes the references of the 4x4 block at (x, y) into the plane; which of them count as
// present follows from the position.
struct Neighbours4x4 {
    int32_t c;
    int32_t t[8];
    int32_t l[4];
};

void placeNeighbours(ReconFixture& f, int32_t x, int32_t y, const Neighbours4x4& n) {
    if (y > 0) {
        for (int32_t i = 0; i < 8 && x + i < f.context.paddedWidth; ++i) {
            f.luma(x + i, y - 1) = static_cast<uint8_t>(n.t[i]);
        }
        if (x > 0) f.luma(x - 1, y - 1) = static_cast<uint8_t>(n.c);
    }
    if (x > 0) {
        for (int32_t i = 0; i < 4; ++i) f.luma(x - 1, y + i) = static_cast<uint8_t>(n.l[i]);
    }
}

const Neighbours4x4 kExample = {103, {188, 252, 72, 134, 198, 172, 171, 238}, {2, 36, 193, 15}};

struct ModeRows {
    int32_t mode;
    std::string rows;
};

TEST(IntraLuma4x4, WorkedExampleEveryMode) {
    const ModeRows cases[] = {
        {0, "188 252 72 134 / 188 252 72 134 / 188 252 72 134 / 188 252 72 134"},
        {1, "2 2 2 2 / 36 36 36 36 / 193 193 193 193 / 15 15 15 15"},
        {2, "112 112 112 112 / 112 112 112 112 / 112 112 112 112 / 112 112 112 112"},
        {3, "191 133 135 176 / 133 135 176 178 / 135 176 178 188 / 176 178 188 221"},
        {4, "99 183 191 133 / 36 99 183 191 / 67 36 99 183 / 109 67 36 99"},
        {5, "146 220 162 103 / 99 183 191 133 / 36 146 220 162 / 67 99 183 191"},
        {6, "53 99 183 191 / 19 36 53 99 / 115 67 19 36 / 104 109 115 67"},
        {7, "220 162 103 166 / 191 133 135 176 / 162 103 166 185 / 133 135 176 178"},
        {8, "19 67 115 109 / 115 109 104 60 / 104 60 15 15 / 15 15 15 15"},
    };
    for (const ModeRows& c : cases) {
        SCOPED_TRACE(c.mode);
        // The bottom-left block of the top-right quadrant: its above-right block precedes it.
        ReconFixture f(16, 16, 8, 8);
        placeNeighbours(f, 8, 4, kExample);
        predictIntraLuma4x4(&f.context, 8, 4, c.mode);
        EXPECT_EQ(blockValues(f.context.lumaPred4x4[c.mode], 16), samples(c.rows));
        for (int32_t other = 0; other < 10; ++other) {
            if (other != c.mode) {
                EXPECT_TRUE(blockIsUntouched(f.context.lumaPred4x4[other], 16));
            }
        }
    }
}

const std::string kDownLeftWithoutTopRight =
    "191 133 119 134 / 133 119 134 134 / 119 134 134 134 / 134 134 134 134";

TEST(IntraLuma4x4, TopRightRepeatsTheLastTopSampleWhenNotYetDecoded) {
    // The bottom-right 4x4 block of a top-left quadrant: above-right not yet decoded.
    ReconFixture f(16, 16, 8, 8);
    placeNeighbours(f, 4, 4, kExample);
    predictIntraLuma4x4(&f.context, 4, 4, 3);
    EXPECT_EQ(blockValues(f.context.lumaPred4x4[3], 16), samples(kDownLeftWithoutTopRight));
}

TEST(IntraLuma4x4, TopRightAbsentInTheLastFourColumns) {
    // x = W - 4, the top row of a macroblock row: the samples after (15, 15) belong to the
    // next row and are not used.
    ReconFixture f(16, 32, 8, 8);
    placeNeighbours(f, 12, 16, kExample);
    f.luma(0, 16) = 9;
    predictIntraLuma4x4(&f.context, 12, 16, 3);
    EXPECT_EQ(blockValues(f.context.lumaPred4x4[3], 16), samples(kDownLeftWithoutTopRight));

    // x = W - 8 still has its above-right samples.
    ReconFixture g(16, 16, 8, 8);
    placeNeighbours(g, 8, 4, kExample);
    predictIntraLuma4x4(&g.context, 8, 4, 3);
    EXPECT_EQ(blockValues(g.context.lumaPred4x4[3], 16),
              samples("191 133 135 176 / 133 135 176 178 / 135 176 178 188 / 176 178 188 221"));
}

TEST(NeighbourPresence, AboveRightFollowsTheDecodingOrder) {
    // Decode two rows of three macroblocks block by block, marking every reconstructed sample,
    // and compare the mark of each block's above-right sample with the position rule. Every
    // quadrant is tried both as one 8x8 block and as four 4x4 blocks.
    constexpr int32_t kWidth = 48, kHeight = 32;
    for (int32_t n : {4, 8}) {
        std::vector<uint8_t> decoded(kWidth * kHeight, 0);
        auto mark = [&](int32_t x, int32_t y) {
            for (int32_t r = y; r < y + n; ++r) {
                for (int32_t c = x; c < x + n; ++c) decoded[r * kWidth + c] = 1;
            }
        };
        for (int32_t y = 0; y < kHeight; y += 16) {
            for (int32_t x = 0; x < kWidth; x += 16) {
                for (int32_t q = 0; q < 4; ++q) {
                    const int32_t qx = x + 8 * (q % 2), qy = y + 8 * (q / 2);
                    for (int32_t i = 0; i < (n == 4 ? 4 : 1); ++i) {
                        const int32_t bx = qx + 4 * (i & 1), by = qy + 4 * (i >> 1);
                        if (by > 0 && bx + n < kWidth) {
                            EXPECT_EQ(aboveRightDecoded(bx, by, n),
                                      decoded[(by - 1) * kWidth + bx + n] != 0)
                                << n << " at " << bx << ", " << by;
                        }
                        mark(bx, by);
                    }
                }
            }
        }
    }
}

TEST(IntraLuma4x4, CornerBlockFormsOnlyDc) {
    for (int32_t mode = 0; mode < 9; ++mode) {
        ReconFixture f(16, 16, 8, 8);
        predictIntraLuma4x4(&f.context, 0, 0, mode);
        if (mode == 2) {
            EXPECT_EQ(blockValues(f.context.lumaPred4x4[2], 16), std::vector<int32_t>(16, 128));
        } else {
            EXPECT_TRUE(blockIsUntouched(f.context.lumaPred4x4[mode], 16)) << mode;
        }
    }
}

TEST(IntraLuma4x4, TopRowWithLeftPresent) {
    // l = 2, 36, 193, 15: DC = (246 + 2) >> 2 = 62; modes needing top write nothing.
    const std::string formed[9] = {"",
                                   "2 2 2 2 / 36 36 36 36 / 193 193 193 193 / 15 15 15 15",
                                   "62 62 62 62 / 62 62 62 62 / 62 62 62 62 / 62 62 62 62",
                                   "",
                                   "",
                                   "",
                                   "",
                                   "",
                                   "19 67 115 109 / 115 109 104 60 / 104 60 15 15 / 15 15 15 15"};
    for (int32_t mode = 0; mode < 9; ++mode) {
        SCOPED_TRACE(mode);
        ReconFixture f(16, 16, 8, 8);
        placeNeighbours(f, 8, 0, kExample);
        predictIntraLuma4x4(&f.context, 8, 0, mode);
        if (formed[mode].empty()) {
            EXPECT_TRUE(blockIsUntouched(f.context.lumaPred4x4[mode], 16));
        } else {
            EXPECT_EQ(blockValues(f.context.lumaPred4x4[mode], 16), samples(formed[mode]));
        }
    }
}

TEST(IntraLuma4x4, LeftPictureColumnHasOnlyTheTop) {
    // Top only: DC = (188 + 252 + 72 + 134 + 2) >> 2 = 162; modes needing the left write nothing.
    ReconFixture g(16, 16, 8, 8);
    placeNeighbours(g, 0, 4, kExample);
    predictIntraLuma4x4(&g.context, 0, 4, 2);
    EXPECT_EQ(blockValues(g.context.lumaPred4x4[2], 16), std::vector<int32_t>(16, 162));
    for (int32_t mode : {1, 4, 5, 6, 8}) {
        predictIntraLuma4x4(&g.context, 0, 4, mode);
        EXPECT_TRUE(blockIsUntouched(g.context.lumaPred4x4[mode], 16)) << mode;
    }
}

TEST(IntraKernel, NeverReadsBeyondItsReferences) {
    // References followed by values that would show in any result that read them.
    for (int32_t n : {4, 8}) {
        int32_t t[17];
        int32_t l[9];
        for (int32_t i = 0; i < 2 * n; ++i) t[i] = 10 + 3 * i;
        for (int32_t i = 0; i < n; ++i) l[i] = 90 - 5 * i;
        t[2 * n] = 100000;
        l[n] = 100000;
        for (int32_t mode = 0; mode < 9; ++mode) {
            int32_t out[64];
            ASSERT_TRUE(formIntraPrediction(n, t, l, 50, true, true, mode, out));
            for (int32_t i = 0; i < n * n; ++i) {
                EXPECT_GE(out[i], 0) << n << " mode " << mode;
                EXPECT_LE(out[i], 255) << n << " mode " << mode;
            }
        }
    }
}

// The fast form against the rule-by-rule reference: every size, mode and side present or
// absent, on random samples drawn mostly from the extremes (0, 255) and otherwise uniform.
TEST(IntraKernel, FastFormMatchesTheReference) {
    std::mt19937 random(21);
    auto sample = [&random]() -> int32_t {
        const uint32_t pick = random() % 4;
        return pick == 0 ? 0 : pick == 1 ? 255 : int32_t(random() % 256);
    };
    for (int32_t n : {4, 8}) {
        for (int32_t mode = 0; mode < 9; ++mode) {
            for (int32_t sides = 0; sides < 4; ++sides) {
                const bool top = (sides & 1) != 0;
                const bool left = (sides & 2) != 0;
                for (int32_t trial = 0; trial < 300; ++trial) {
                    int32_t t[16];
                    int32_t l[8];
                    for (int32_t& v : t) v = sample();
                    for (int32_t& v : l) v = sample();
                    const int32_t c = sample();
                    int32_t fast[64];
                    int32_t reference[64];
                    std::fill(fast, fast + 64, -7);
                    std::fill(reference, reference + 64, -7);
                    const bool wroteFast = formIntraPrediction(n, t, l, c, top, left, mode, fast);
                    const bool wroteReference =
                        formIntraPredictionReference(n, t, l, c, top, left, mode, reference);
                    ASSERT_EQ(wroteFast, wroteReference) << n << " mode " << mode;
                    ASSERT_TRUE(std::equal(fast, fast + 64, reference))
                        << n << " mode " << mode << " sides " << sides << " trial " << trial;
                }
            }
        }
    }
}

}  // namespace
}  // namespace xqob
