#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/recon_fixture.h"
#include "xqob/dsp/intra_prediction.h"
#include "xqob/recon/chroma_prediction.h"

namespace xqob {
namespace {

using test::blockIsUntouched;
using test::blockRow;
using test::blockValues;
using test::ReconFixture;
using test::samples;

struct Neighbours {
    int32_t c;
    int32_t t[16];
    int32_t l[8];
};

const Neighbours kExample = {
    229,
    {146, 5, 77, 93, 205, 105, 253, 122, 112, 11, 41, 246, 26, 207, 221, 224},
    {36, 232, 52, 217, 108, 232, 10, 5}};

const Neighbours kLeftAbsent = {
    0, {9, 72, 4, 46, 55, 104, 42, 217, 84, 55, 196, 145, 235, 250, 205, 99}, {}};

const Neighbours kTopAbsent = {0, {}, {243, 240, 54, 253, 212, 133, 151, 217}};

// Writes the references of the block at (x, y) into the Cr plane, and into the Cb plane the
// same samples mirrored (255 - v), so that each plane's prediction shows its own neighbours.
void placeNeighbours(ReconFixture& f, int32_t x, int32_t y, const Neighbours& n) {
    auto put = [&f](int32_t px, int32_t py, int32_t v) {
        f.cr(px, py) = static_cast<uint8_t>(v);
        f.cb(px, py) = static_cast<uint8_t>(255 - v);
    };
    if (y > 0) {
        for (int32_t i = 0; i < 16 && x + i < f.context.chromaWidth; ++i) put(x + i, y - 1, n.t[i]);
        if (x > 0) put(x - 1, y - 1, n.c);
    }
    if (x > 0) {
        for (int32_t i = 0; i < 8; ++i) put(x - 1, y + i, n.l[i]);
    }
}

TEST(SmoothChromaReferences, WorkedExamples) {
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothChromaReferences(kExample.t, kExample.l, kExample.c, true, true, ts, ls, &cs);
    EXPECT_EQ(blockValues(ts, 16),
              samples("127 73 59 124 137 185 163 161 83 53 97 109 155 153 217 223"));
    EXPECT_EQ(blockValues(ls, 8), samples("161 111 163 129 183 121 80 7"));
    EXPECT_EQ(cs, 140);

    smoothChromaReferences(kLeftAbsent.t, kLeftAbsent.l, 0, true, false, ts, ls, &cs);
    EXPECT_EQ(blockValues(ts, 8), samples("29 30 39 35 68 68 118 118"));

    smoothChromaReferences(kTopAbsent.t, kTopAbsent.l, 0, false, true, ts, ls, &cs);
    EXPECT_EQ(blockValues(ls, 8), samples("242 181 178 176 200 164 166 196"));
}

struct ModeRow {
    int32_t mode;
    int32_t row;
    std::string values;
};

TEST(IntraChroma, WorkedExampleAllPresent) {
    const ModeRow cases[] = {
        {2, 0, "124 124 124 124 124 124 124 124"},
        {3, 0, "83 79 111 146 168 168 142 95"},
        {4, 0, "142 117 83 79 111 146 168 168"},
        {4, 7, "72 126 154 151 142 137 143 142"},
        {5, 0, "134 100 66 92 131 161 174 162"},
        {6, 7, "44 72 101 126 152 154 156 151"},
        {7, 0, "100 66 92 131 161 174 162 122"},
        {8, 0, "136 137 137 142 146 151 156 154"},
        {8, 7, "7 7 7 7 7 7 7 7"},
        {0, 6, "127 73 59 124 137 185 163 161"},
        {1, 3, "129 129 129 129 129 129 129 129"},
    };
    for (const ModeRow& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " row " << c.row);
        ReconFixture f(32, 32, 32, 32);
        placeNeighbours(f, 8, 8, kExample);
        predictIntraChroma(&f.context, 8, 8, c.mode);
        EXPECT_EQ(blockRow(f.context.crPred[c.mode], 8, c.row), samples(c.values));
        for (int32_t other = 0; other < 9; ++other) {
            if (other == c.mode) continue;
            EXPECT_TRUE(blockIsUntouched(f.context.crPred[other], 64));
            EXPECT_TRUE(blockIsUntouched(f.context.cbPred[other], 64));
        }
    }
    ReconFixture f(32, 32, 32, 32);
    placeNeighbours(f, 8, 8, kExample);
    predictIntraChroma(&f.context, 8, 8, 3);
    EXPECT_EQ(f.context.crPred[3][63], 222);
}

TEST(IntraChroma, LeftAbsent) {
    ReconFixture f(32, 32, 32, 32);
    placeNeighbours(f, 0, 8, kLeftAbsent);
    for (int32_t mode = 0; mode < 9; ++mode) predictIntraChroma(&f.context, 0, 8, mode);
    for (int32_t r = 0; r < 8; ++r) {
        EXPECT_EQ(blockRow(f.context.crPred[0], 8, r), samples("29 30 39 35 68 68 118 118"));
    }
    EXPECT_EQ(blockValues(f.context.crPred[2], 64), std::vector<int32_t>(64, 63));
    EXPECT_EQ(blockRow(f.context.crPred[3], 8, 0), samples("32 36 44 60 81 106 118 116"));
    EXPECT_EQ(blockRow(f.context.crPred[3], 8, 7), samples("116 118 142 181 211 215 184 146"));
    EXPECT_FALSE(blockIsUntouched(f.context.crPred[7], 64));
    for (int32_t mode : {1, 4, 5, 6, 8}) {
        EXPECT_TRUE(blockIsUntouched(f.context.crPred[mode], 64)) << mode;
        EXPECT_TRUE(blockIsUntouched(f.context.cbPred[mode], 64)) << mode;
    }
}

TEST(IntraChroma, TopAbsent) {
    ReconFixture f(32, 32, 32, 32);
    placeNeighbours(f, 16, 0, kTopAbsent);
    for (int32_t mode = 0; mode < 9; ++mode) predictIntraChroma(&f.context, 16, 0, mode);
    const std::vector<int32_t> column = samples("242 181 178 176 200 164 166 196");
    for (int32_t r = 0; r < 8; ++r) {
        EXPECT_EQ(blockRow(f.context.crPred[1], 8, r), std::vector<int32_t>(8, column[r]));
    }
    EXPECT_EQ(blockValues(f.context.crPred[2], 64), std::vector<int32_t>(64, 188));
    for (int32_t mode : {0, 3, 4, 5, 6, 7}) {
        EXPECT_TRUE(blockIsUntouched(f.context.crPred[mode], 64)) << mode;
    }
    EXPECT_FALSE(blockIsUntouched(f.context.crPred[8], 64));
}

TEST(IntraChroma, CornerBlockFormsOnlyDcInBothPlanes) {
    ReconFixture f(32, 32, 16, 16);
    for (int32_t mode = 0; mode < 9; ++mode) predictIntraChroma(&f.context, 0, 0, mode);
    EXPECT_EQ(blockValues(f.context.crPred[2], 64), std::vector<int32_t>(64, 128));
    EXPECT_EQ(blockValues(f.context.cbPred[2], 64), std::vector<int32_t>(64, 128));
    for (int32_t mode : {0, 1, 3, 4, 5, 6, 7, 8}) {
        EXPECT_TRUE(blockIsUntouched(f.context.crPred[mode], 64)) << mode;
        EXPECT_TRUE(blockIsUntouched(f.context.cbPred[mode], 64)) << mode;
    }
}

TEST(IntraChroma, EachPlaneUsesItsOwnNeighbours) {
    ReconFixture f(32, 32, 32, 32);
    placeNeighbours(f, 8, 8, kExample);
    for (int32_t mode = 0; mode < 9; ++mode) {
        predictIntraChroma(&f.context, 8, 8, mode);
        EXPECT_NE(blockValues(f.context.crPred[mode], 64), blockValues(f.context.cbPred[mode], 64));
    }
    // The Cb plane holds 255 - v for every sample v of the Cr plane.
    int32_t t[16];
    int32_t l[8];
    for (int32_t i = 0; i < 16; ++i) t[i] = 255 - kExample.t[i];
    for (int32_t i = 0; i < 8; ++i) l[i] = 255 - kExample.l[i];
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothChromaReferences(t, l, 255 - kExample.c, true, true, ts, ls, &cs);
    EXPECT_EQ(blockRow(f.context.cbPred[0], 8, 5), blockValues(ts, 8));
    EXPECT_EQ(blockRow(f.context.cbPred[1], 8, 5), std::vector<int32_t>(8, ls[5]));
}

TEST(IntraChroma, AboveRightAbsentInTheLastBlockOfARow) {
    // x = Wc - 8 (also the only block of an 8-wide plane): t[8..15] repeat t[7], so the
    // smoothed t'[8..15] are all t[7] and the last sample of mode 3 is t[7].
    for (int32_t width : {8, 32}) {
        SCOPED_TRACE(width);
        ReconFixture f(32, 32, width, 32);
        const int32_t x = width - 8;
        placeNeighbours(f, x, 8, kExample);
        for (int32_t i = 0; i < 8 && x + 8 + i < width; ++i) f.cr(x + 8 + i, 7) = 0;
        predictIntraChroma(&f.context, x, 8, 3);
        EXPECT_EQ(f.context.crPred[3][63], 122);
        EXPECT_EQ(f.context.cbPred[3][63], 255 - 122);
    }
    // One block earlier the above-right samples are used: the worked example's 222.
    ReconFixture f(32, 32, 32, 32);
    placeNeighbours(f, 16, 8, kExample);
    predictIntraChroma(&f.context, 16, 8, 3);
    EXPECT_EQ(f.context.crPred[3][63], 222);
}

}  // namespace
}  // namespace xqob
