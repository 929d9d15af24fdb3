#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/recon_fixture.h"
#include "xqob/dsp/intra_prediction.h"
#include "xqob/recon/luma_prediction.h"

namespace xqob {
namespace {

using test::blockIsUntouched;
using test::blockRow;
using test::blockValues;
using test::ReconFixture;
using test::samples;

struct Neighbours8x8 {
    int32_t c;
    int32_t t[16];
    int32_t l[8];
};

const Neighbours8x8 kExample = {
    213,
    {196, 136, 73, 124, 184, 100, 79, 245, 10, 65, 141, 211, 122, 223, 204, 80},
    {64, 102, 225, 14, 110, 254, 123, 243}};

// Writes the references of the quadrant at (x, y); which count as present follows from the
// position.
void placeNeighbours(ReconFixture& f, int32_t x, int32_t y, const Neighbours8x8& n) {
    if (y > 0) {
        for (int32_t i = 0; i < 16 && x + i < f.context.paddedWidth; ++i) {
            f.luma(x + i, y - 1) = static_cast<uint8_t>(n.t[i]);
        }
        if (x > 0) f.luma(x - 1, y - 1) = static_cast<uint8_t>(n.c);
    }
    if (x > 0) {
        for (int32_t i = 0; i < 8; ++i) f.luma(x - 1, y + i) = static_cast<uint8_t>(n.l[i]);
    }
}

TEST(SmoothLumaReferences, WorkedExampleAllPresent) {
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothLumaReferences(kExample.t, kExample.l, kExample.c, true, true, ts, ls, &cs);
    EXPECT_EQ(blockValues(ts, 16),
              samples("185 135 102 126 148 116 126 145 83 70 140 171 170 193 178 111"));
    EXPECT_EQ(blockValues(ls, 8), samples("111 123 142 91 122 185 186 213"));
    EXPECT_EQ(cs, 172);
}

TEST(SmoothLumaReferences, EndsWithoutAnOuterNeighbourWeightTheirOwnSampleThree) {
    const int32_t l[8] = {38, 142, 253, 158, 231, 208, 221, 213};
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothLumaReferences(kExample.t, l, 0, false, true, ts, ls, &cs);
    EXPECT_EQ(blockValues(ls, 8), samples("64 144 202 200 207 217 216 215"));

    smoothLumaReferences(kExample.t, kExample.l, 0, true, false, ts, ls, &cs);
    EXPECT_EQ(ts[0], (3 * 196 + 136 + 2) >> 2);
}

struct ModeRow {
    int32_t mode;
    int32_t row;
    std::string values;
};

TEST(IntraLuma8x8, WorkedExampleModes) {
    const ModeRow cases[] = {
        {2, 0, "141 141 141 141 141 141 141 141"}, {2, 7, "141 141 141 141 141 141 141 141"},
        {3, 0, "139 116 126 135 127 128 125 95"},  {4, 0, "160 169 139 116 126 135 127 128"},
        {4, 7, "193 170 130 112 125 125 129 160"}, {5, 0, "179 160 119 114 137 132 121 136"},
        {5, 7, "170 112 125 160 169 139 116 126"}, {6, 0, "142 160 169 139 116 126 135 127"},
        {6, 7, "200 193 186 170 154 130 107 112"}, {7, 0, "160 119 114 137 132 121 136 114"},
        {8, 0, "117 125 133 125 117 112 107 130"}, {8, 4, "154 170 186 193 200 206 213 213"},
        {8, 7, "213 213 213 213 213 213 213 213"}, {0, 3, "185 135 102 126 148 116 126 145"},
        {1, 5, "185 185 185 185 185 185 185 185"},
    };
    for (const ModeRow& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " row " << c.row);
        // The top-right quadrant of a macroblock below the first row: all neighbours present.
        ReconFixture f(32, 32, 16, 16);
        placeNeighbours(f, 8, 16, kExample);
        predictIntraLuma8x8(&f.context, 8, 16, c.mode);
        EXPECT_EQ(blockRow(f.context.lumaPred8x8[c.mode], 8, c.row), samples(c.values));
        for (int32_t other = 0; other < 10; ++other) {
            if (other != c.mode) {
                EXPECT_TRUE(blockIsUntouched(f.context.lumaPred8x8[other], 64));
            }
        }
    }
    ReconFixture f(32, 32, 16, 16);
    placeNeighbours(f, 8, 16, kExample);
    predictIntraLuma8x8(&f.context, 8, 16, 3);
    EXPECT_EQ(f.context.lumaPred8x8[3][63], 128);
}

TEST(IntraLuma8x8, TopRightAbsentRepeatsTheLastTopSample) {
    // t'[7] = (79 + 2 * 245 + 245 + 2) >> 2 = 204, t'[8..15] = 245: visible through mode 7,
    // whose row 7 reads t'[10..13] and row 0 t'[7..8].
    int32_t t[16];
    for (int32_t i = 0; i < 16; ++i) t[i] = i < 8 ? kExample.t[i] : kExample.t[7];
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothLumaReferences(t, kExample.l, kExample.c, true, true, ts, ls, &cs);
    EXPECT_EQ(ts[7], 204);
    for (int32_t i = 8; i < 16; ++i) EXPECT_EQ(ts[i], 245) << i;

    struct Case {
        int32_t x;
        int32_t y;
    };
    // The bottom-right quadrant of a macroblock (above-right in the next macroblock, not yet
    // decoded), and the last quadrant of a row (x = W - 8) on a macroblock row's top.
    for (const Case& c : {Case{8, 8}, Case{24, 16}}) {
        SCOPED_TRACE(c.x);
        ReconFixture f(32, 32, 16, 16);
        placeNeighbours(f, c.x, c.y, kExample);
        predictIntraLuma8x8(&f.context, c.x, c.y, 7);
        EXPECT_EQ(f.context.lumaPred8x8[7][7], (ts[7] + ts[8] + 1) >> 1);
        EXPECT_EQ(f.context.lumaPred8x8[7][63], (ts[10] + 2 * ts[11] + ts[12] + 2) >> 2);
        EXPECT_EQ(blockRow(f.context.lumaPred8x8[7], 8, 7).back(), 245);
    }
}

TEST(IntraLuma8x8, TopPictureRowWithLeftPresent) {
    const Neighbours8x8 leftOnly = {0, {}, {38, 142, 253, 158, 231, 208, 221, 213}};
    ReconFixture f(32, 32, 16, 16);
    placeNeighbours(f, 16, 0, leftOnly);
    for (int32_t mode = 0; mode < 9; ++mode) predictIntraLuma8x8(&f.context, 16, 0, mode);
    const std::vector<int32_t> column = samples("64 144 202 200 207 217 216 215");
    for (int32_t r = 0; r < 8; ++r) {
        EXPECT_EQ(blockRow(f.context.lumaPred8x8[1], 8, r), std::vector<int32_t>(8, column[r]));
    }
    EXPECT_EQ(blockValues(f.context.lumaPred8x8[2], 64), std::vector<int32_t>(64, 183));
    for (int32_t mode : {0, 3, 4, 5, 6, 7}) {
        EXPECT_TRUE(blockIsUntouched(f.context.lumaPred8x8[mode], 64)) << mode;
    }
    EXPECT_FALSE(blockIsUntouched(f.context.lumaPred8x8[8], 64));
}

TEST(IntraLuma8x8, CornerQuadrantFormsOnlyDc) {
    ReconFixture f(16, 16, 8, 8);
    for (int32_t mode = 0; mode < 9; ++mode) predictIntraLuma8x8(&f.context, 0, 0, mode);
    EXPECT_EQ(blockValues(f.context.lumaPred8x8[2], 64), std::vector<int32_t>(64, 128));
    for (int32_t mode : {0, 1, 3, 4, 5, 6, 7, 8}) {
        EXPECT_TRUE(blockIsUntouched(f.context.lumaPred8x8[mode], 64)) << mode;
    }
}

TEST(IntraLuma8x8, RowComesFirstInTheArguments) {
    // A quadrant at column 8, row 0 has only its left neighbour; at column 0, row 8 only top.
    ReconFixture f(32, 32, 16, 16);
    placeNeighbours(f, 8, 0, kExample);
    predictIntraLuma8x8(&f.context, 8, 0, 1);
    EXPECT_FALSE(blockIsUntouched(f.context.lumaPred8x8[1], 64));
    predictIntraLuma8x8(&f.context, 8, 0, 0);
    EXPECT_TRUE(blockIsUntouched(f.context.lumaPred8x8[0], 64));
}

}  // namespace
}  // namespace xqob
