#include "xqob/entropy/luma_syntax.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/entropy_fixture.h"

namespace xqob::testing {
namespace {

using D = DecoderContext;

// A decoded neighbour block, placed by one of its samples. Its flags are set in both the
// 4x4 and the 8x8 masks, so a rule that reads the mask of the wrong kind of block shows.
struct Block {
    int32_t px, py;
    int32_t type;
    int32_t mode = 0;
    bool coded = false;
    bool predicted = false;
    int32_t flatOffset = 0;
};

void arrange(EntropyFixture& f, const std::vector<Block>& blocks) {
    f.setGeometry(32, 32);
    for (const Block& b : blocks) {
        MacroblockInfo& r = f.reader.macroblockInfo[macroblockIndex(b.px, b.py, 32)];
        const int32_t q = quadrantIndex(b.px, b.py);
        const int32_t k = blockIndex4x4(b.px, b.py);
        r.blockType[q] = static_cast<int8_t>(b.type);
        r.mode4x4[k] = static_cast<int8_t>(b.mode);
        r.mode8x8[q] = static_cast<int8_t>(b.mode);
        r.flatOffset[q] = static_cast<int8_t>(b.flatOffset);
        if (b.coded) r.coded4x4 |= static_cast<uint16_t>(1 << k);
        if (b.coded) r.codedQuadrants |= static_cast<uint8_t>(1 << q);
        if (b.predicted) r.mode4x4Predicted |= static_cast<uint16_t>(1 << k);
        if (b.predicted) r.mode8x8Predicted |= static_cast<uint8_t>(1 << q);
    }
}

TEST(EntropyLumaSyntax, FirstQuadrantOfThePicture) {
    EntropyFixture f;
    arrange(f, {});
    f.put({{&D::blockTypeModels, 3, 0},
           {&D::blockTypeModels, 4, 1},
           {&D::mode8x8Models, 0, 1},
           {&D::codedQuadrantModels, 3, 1}});
    f.startReading();
    EXPECT_FALSE(isFlatQuadrant(&f.reader, 0, 0));
    EXPECT_EQ(decodeBlockType(&f.reader, 0, 0), Intra8x8);
    f.reader.macroblockInfo[0].blockType[0] = Intra8x8;
    EXPECT_EQ(predictLumaMode(&f.reader, 0, 0), 2);
    EXPECT_EQ(decodeMode8x8(&f.reader, 0, 0, 0), 2);
    EXPECT_EQ(f.reader.macroblockInfo[0].mode8x8Predicted, 1);
    EXPECT_EQ(decodeCodedQuadrant(&f.reader, 0, 0), 1);
    EXPECT_TRUE(f.modelsMatch());
}

TEST(EntropyLumaSyntax, FlatNeedsTwoQuietWeightedOrFlatNeighbours) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        bool flat;
    };
    const Case cases[] = {
        {8, 8, {{7, 8, 5}, {8, 7, 5}}, true},
        {8, 8, {{7, 8, 6}, {8, 7, 5}}, true},
        {16, 8, {{15, 8, 6}, {16, 7, 6}}, true},  // left across the macroblock edge
        {8, 8, {{7, 8, 3}, {8, 7, 5}}, false},
        {8, 8, {{7, 8, 5}, {8, 7, 2}}, false},
        {8, 8, {{7, 8, 5, 0, true}, {8, 7, 5}}, false},
        {8, 8, {{7, 8, 6}, {8, 7, 6, 0, true}}, false},
        {8, 0, {{7, 0, 5}}, false},
        {0, 8, {{0, 7, 5}}, false},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        EXPECT_EQ(isFlatQuadrant(&f.reader, c.x, c.y), c.flat) << c.x << "," << c.y;
    }
}

TEST(EntropyLumaSyntax, BlockTypeModelsComeFromTheNeighbours) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t firstModel, secondModel;  // secondModel -1: the first bin is 1
        int32_t secondBin, type;
    };
    const Case cases[] = {
        {0, 0, {}, 3, 4, 0, Intra4x4},
        {8, 8, {{7, 8, 2}, {8, 7, 3}}, 0, 9, 1, Intra8x8},
        {8, 8, {{7, 8, 2}, {8, 7, 2}}, 0, 12, 0, Intra4x4},
        {8, 8, {{7, 8, 5}, {8, 7, 6}}, 3, -1, 0, Intra8x8Weighted},
        {0, 8, {{0, 7, 2}}, 1, 10, 1, Intra8x8},
        {16, 8, {{15, 8, 3}, {16, 7, 5}}, 2, 5, 0, Intra4x4},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        f.put(&D::blockTypeModels, c.firstModel, c.secondModel < 0 ? 1 : 0);
        if (c.secondModel >= 0) f.put(&D::blockTypeModels, c.secondModel, c.secondBin);
        f.startReading();
        EXPECT_EQ(decodeBlockType(&f.reader, c.x, c.y), c.type) << c.firstModel;
        EXPECT_TRUE(f.modelsMatch()) << c.firstModel;
    }
}

TEST(EntropyLumaSyntax, ModePredictionAcrossBlockSizes) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t predicted;
    };
    const Case cases[] = {
        {8, 8, {{7, 8, 5, 4}, {8, 7, 2, 6}}, 4},
        {8, 8, {{7, 8, 6}, {8, 7, 6}}, 2},
        {8, 8, {{7, 8, 6}, {8, 7, 3, 8}}, 8},
        {0, 8, {{0, 7, 3, 0}}, 2},
        {8, 0, {{7, 0, 3, 0}}, 2},
        {12, 8, {{11, 8, 2, 7}, {12, 7, 3, 5}}, 5},  // 4x4 inside a quadrant below an 8x8
        {16, 4, {{15, 4, 2, 1}, {16, 3, 2, 3}}, 1},  // left in the previous macroblock
        {8, 16, {{7, 16, 3, 6}, {8, 15, 2, 7}}, 6},  // above in the macroblock above
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        EXPECT_EQ(predictLumaMode(&f.reader, c.x, c.y), c.predicted) << c.x << "," << c.y;
    }
}

// Both mode readers at (8, 8), as quadrant 3 and as 4x4 block 10.
struct ModeReader {
    ModelArray models;
    int32_t index;
    int32_t (*decode)(D*, int32_t, int32_t, int32_t);
    int32_t predictedMask(const MacroblockInfo& r) const {
        return index == 3 ? r.mode8x8Predicted : r.mode4x4Predicted;
    }
};
const ModeReader modeReaders[] = {{&D::mode8x8Models, 3, decodeMode8x8},
                                  {&D::mode4x4Models, 10, decodeMode4x4}};

TEST(EntropyLumaSyntax, RemainderSkipsThePredictedMode) {
    struct Case {
        int32_t neighbourMode;  // both neighbours Intra8x8 with this mode
        int32_t modes[8];       // for remainders 0..7
    };
    const Case cases[] = {{8, {0, 1, 2, 3, 4, 5, 6, 7}},
                          {0, {1, 2, 3, 4, 5, 6, 7, 8}},
                          {2, {0, 1, 3, 4, 5, 6, 7, 8}}};
    for (const ModeReader& reader : modeReaders) {
        for (const Case& c : cases) {
            for (int32_t r = 0; r < 8; ++r) {
                EntropyFixture f;
                arrange(f, {{7, 8, 3, c.neighbourMode}, {8, 7, 3, c.neighbourMode}});
                const int32_t p = c.neighbourMode;
                f.put({{reader.models, 0, 0},
                       {reader.models, 4 + p, r & 1},
                       {reader.models, 13 + p, (r >> 1) & 1},
                       {reader.models, 22 + p, r >> 2}});
                f.startReading();
                EXPECT_EQ(reader.decode(&f.reader, 8, 8, reader.index), c.modes[r]) << p << r;
                EXPECT_TRUE(f.modelsMatch());
                EXPECT_EQ(reader.predictedMask(f.reader.macroblockInfo[0]), 0);
            }
        }
    }
}

// The first mode bin counts only neighbours of the reader's own kind; a 1 sets the block's
// bit and yields the predicted mode.
TEST(EntropyLumaSyntax, FirstModeBinCountsPredictedNeighboursOfItsKind) {
    struct Case {
        std::vector<Block> blocks;
        int32_t model8x8, model4x4;
    };
    const Case cases[] = {
        {{{7, 8, 3, 1, false, true}, {8, 7, 2, 1, false, true}}, 1, 2},
        {{{7, 8, 5, 1, false, true}, {8, 7, 3, 1, false, true}}, 3, 0},
        {{{7, 8, 2, 1, false, true}, {8, 7, 2, 1, false, true}}, 0, 3},
        {{{7, 8, 6, 1, false, true}, {8, 7, 5, 1, false, false}}, 0, 0},
    };
    for (const ModeReader& reader : modeReaders) {
        for (const Case& c : cases) {
            EntropyFixture f;
            arrange(f, c.blocks);
            const int32_t model = reader.index == 3 ? c.model8x8 : c.model4x4;
            f.put(reader.models, model, 1);
            f.startReading();
            EXPECT_EQ(reader.decode(&f.reader, 8, 8, reader.index), 1) << model;
            EXPECT_TRUE(f.modelsMatch()) << model;
            EXPECT_EQ(reader.predictedMask(f.reader.macroblockInfo[0]) >> reader.index, 1);
        }
    }
}

TEST(EntropyLumaSyntax, FlatOffsetSelectorAndItsModels) {
    struct Case {
        std::vector<Block> blocks;
        std::vector<int32_t> bins;
        int32_t context, selector;
    };
    const Case cases[] = {
        {{{7, 8, 3}, {8, 7, 5}}, {0, 1}, 15, 2},
        {{{7, 8, 6, 0, false, false, 1}, {8, 7, 6, 0, false, false, 2}}, {1}, 9, 0},
        {{{7, 8, 6, 0, false, false, 2}, {8, 7, 2}}, {0, 0}, 14, 1},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        f.put(&D::flatOffsetModels, c.context, c.bins[0]);
        if (c.bins.size() > 1) f.put(&D::flatOffsetModels, 16 + c.context, c.bins[1]);
        f.startReading();
        EXPECT_EQ(decodeFlatOffset(&f.reader, 8, 8), c.selector) << c.context;
        EXPECT_TRUE(f.modelsMatch()) << c.context;
    }
}

// Unavailable neighbours count as coded for both flags; an Intra4x4 neighbour counts as coded
// for a quadrant, an 8x8 or Flat neighbour as not coded for a 4x4 block.
TEST(EntropyLumaSyntax, CodedFlagModelsComeFromTheNeighbours) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t quadrantModel, block4x4Model;
    };
    const Case cases[] = {
        {0, 0, {}, 3, 3},
        {8, 8, {{7, 8, 2}, {8, 7, 3}}, 1, 0},
        {8, 8, {{7, 8, 2, 0, true}, {8, 7, 6, 0, true}}, 3, 1},
        {8, 8, {{7, 8, 5}, {8, 7, 2, 0, true}}, 2, 2},
        {8, 8, {{7, 8, 3, 0, true}, {8, 7, 5}}, 1, 0},
        {0, 8, {{0, 7, 6}}, 1, 1},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        f.put({{&D::codedQuadrantModels, c.quadrantModel, 1},
               {&D::coded4x4Models, c.block4x4Model, 0}});
        f.startReading();
        EXPECT_EQ(decodeCodedQuadrant(&f.reader, c.x, c.y), 1);
        EXPECT_EQ(decodeCoded4x4(&f.reader, c.x, c.y), 0);
        EXPECT_TRUE(f.modelsMatch()) << c.quadrantModel << " " << c.block4x4Model;
    }
}

// The syntax loop reads a quadrant's contexts from the traits its neighbours packed; they must
// equal what the record-based functions (the writer's) give, for every kind of neighbour.
TEST(EntropyLumaSyntax, QuadrantTraitsGiveTheRecordContexts) {
    EntropyFixture f;
    f.setGeometry(48, 48);
    D* d = &f.reader;
    std::mt19937 random(7);
    const int8_t types[4] = {Intra4x4, Intra8x8, Intra8x8Weighted, Flat};
    for (int32_t trial = 0; trial < 200; ++trial) {
        for (int32_t i = 0; i < 9; ++i) {
            MacroblockInfo& r = d->macroblockInfo[i];
            for (int32_t q = 0; q < 4; ++q) {
                r.blockType[q] = types[random() % 4];
                r.mode8x8[q] = int8_t(random() % 9);
                r.flatOffset[q] = int8_t(random() % 3);
            }
            for (int8_t& mode : r.mode4x4) mode = int8_t(random() % 9);
            r.mode4x4Predicted = uint16_t(random());
            r.coded4x4 = uint16_t(random());
            r.mode8x8Predicted = uint8_t(random() % 16);
            r.codedQuadrants = uint8_t(random() % 16);
            for (int32_t q = 0; q < 4; ++q) r.quadrantTraits[q] = quadrantTraits(&r, q);
        }
        for (int32_t y = 0; y < 48; y += 8) {
            for (int32_t x = 0; x < 48; x += 8) {
                const auto traits = [&](int32_t px, int32_t py) -> uint32_t {
                    if (px < 0 || py < 0) return kEdgeTraits;
                    return d->macroblockInfo[macroblockIndex(px, py, 48)]
                        .quadrantTraits[quadrantIndex(px, py)];
                };
                const QuadrantNeighbours n{traits(x - 1, y), traits(x, y - 1), x, y};
                int32_t first = 0;
                int32_t second = 0;
                blockTypeContexts(d, x, y, &first, &second);
                SCOPED_TRACE(::testing::Message() << "trial " << trial << " at " << x << "," << y);
                ASSERT_EQ(isFlatQuadrant(n), isFlatQuadrant(d, x, y));
                ASSERT_EQ(typeFirstContext(n), first);
                ASSERT_EQ(typeSecondContext(n), second);
                ASSERT_EQ(predictLumaMode(n), predictLumaMode(d, x, y));
                ASSERT_EQ(modeFirstContext8x8(n), modeFirstContext8x8(d, x, y));
                ASSERT_EQ(flatOffsetContext(n), flatOffsetContext(d, x, y));
                ASSERT_EQ(codedQuadrantContext(n), codedQuadrantContext(d, x, y));
            }
        }
    }
}

}  // namespace
}  // namespace xqob::testing
