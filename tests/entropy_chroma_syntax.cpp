#include "xqob/entropy/chroma_syntax.h"

#include <gtest/gtest.h>

#include "tests/support/entropy_fixture.h"

namespace xqob::testing {
namespace {

using D = DecoderContext;

// A decoded chroma block at chroma position (x, y).
struct Block {
    int32_t x, y;
    int32_t type;
    int32_t mode = 0;
    int32_t modePredicted = 0;
    int32_t offsetCr = 0, offsetCb = 0;
    int32_t codedCr = 0;
};

// A 64 x 64 picture: 4 x 4 chroma blocks at half resolution.
ChromaBlockInfo& arrange(EntropyFixture& f, const std::vector<Block>& blocks) {
    f.setGeometry(64, 64);
    for (const Block& b : blocks) {
        ChromaBlockInfo& r = f.reader.chromaBlockInfo[chromaBlockIndex(b.x, b.y, 32)];
        r = ChromaBlockInfo{static_cast<int8_t>(b.type),
                            static_cast<int8_t>(b.offsetCr),
                            static_cast<int8_t>(b.offsetCb),
                            static_cast<int8_t>(b.mode),
                            static_cast<int8_t>(b.modePredicted),
                            static_cast<int8_t>(b.codedCr),
                            0};
    }
    return f.reader.chromaBlockInfo[0];
}

ChromaBlockInfo& recordAt(EntropyFixture& f, int32_t x, int32_t y) {
    return f.reader.chromaBlockInfo[chromaBlockIndex(x, y, 32)];
}

TEST(EntropyChromaSyntax, FirstBlockOfThePlane) {
    EntropyFixture f;
    arrange(f, {});
    f.put({{&D::chromaModeModels, 3, 1}, {&D::codedCrModels, 0, 1}, {&D::codedCbModels, 1, 0}});
    f.startReading();
    EXPECT_EQ(predictChromaMode(&f.reader, 0, 0), 2);
    EXPECT_EQ(decodeChromaMode(&f.reader, 0, 0), 2);
    EXPECT_EQ(recordAt(f, 0, 0).modePredicted, 1);
    EXPECT_EQ(decodeCodedCr(&f.reader, 0, 0), 1);
    EXPECT_EQ(decodeCodedCb(&f.reader, 1), 0);
    EXPECT_TRUE(f.modelsMatch());
}

TEST(EntropyChromaSyntax, ModePrediction) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t predicted;
    };
    const Case cases[] = {
        {8, 8, {{0, 8, 3, 5}, {8, 0, 3, 3}}, 3},
        {8, 8, {{0, 8, 6, 0}, {8, 0, 3, 7}}, 7},
        {8, 8, {{0, 8, 6, 0}, {8, 0, 6, 0}}, 2},
        {0, 8, {{0, 0, 3, 0}}, 2},
        {16, 0, {{8, 0, 3, 8}}, 2},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        EXPECT_EQ(predictChromaMode(&f.reader, c.x, c.y), c.predicted) << c.x << "," << c.y;
    }
}

// An unavailable neighbour counts 1 and a Flat one 0; the remainder skips the prediction.
TEST(EntropyChromaSyntax, ModeBinsAndTheirModels) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t firstModel, predicted, remainder, mode;  // remainder -1: first bin 1
    };
    const Case cases[] = {
        {8, 0, {{0, 0, 3, 4, 0}}, 2, 2, -1, 2},
        {0, 8, {{0, 0, 3, 4, 1}}, 3, 2, 2, 3},
        {8, 8, {{0, 8, 3, 6, 1}, {8, 0, 6}}, 1, 6, 6, 7},
        {8, 8, {{0, 8, 3, 6, 0}, {8, 0, 3, 0, 1}}, 2, 0, 0, 1},
        {8, 8, {{0, 8, 3, 8, 1}, {8, 0, 3, 8, 1}}, 3, 8, 7, 7},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        const int32_t r = c.remainder;
        f.put(&D::chromaModeModels, c.firstModel, r < 0 ? 1 : 0);
        if (r >= 0) {
            f.put({{&D::chromaModeModels, 4 + c.predicted, r & 1},
                   {&D::chromaModeModels, 13 + c.predicted, (r >> 1) & 1},
                   {&D::chromaModeModels, 22 + c.predicted, r >> 2}});
        }
        f.startReading();
        recordAt(f, c.x, c.y).modePredicted = 5;  // must be overwritten by the first bin
        EXPECT_EQ(decodeChromaMode(&f.reader, c.x, c.y), c.mode) << c.firstModel;
        EXPECT_EQ(recordAt(f, c.x, c.y).modePredicted, r < 0 ? 1 : 0);
        EXPECT_TRUE(f.modelsMatch()) << c.firstModel;
    }
}

TEST(EntropyChromaSyntax, FlatOffsetsReadCrThenCb) {
    struct Case {
        std::vector<Block> blocks;
        int32_t cr, cb;  // context of each plane
        std::vector<int32_t> crBins, cbBins;
        int32_t selectorCr, selectorCb;
    };
    const Case cases[] = {
        {{{8, 16, 3}, {16, 8, 3}}, 15, 15, {0, 0}, {0, 1}, 1, 2},
        {{{8, 16, 6, 0, 0, 0, 2}, {16, 8, 6, 0, 0, 1, 0}}, 4, 2, {0, 0}, {1}, 1, 0},
        {{{8, 16, 6, 0, 0, 2, 1}, {16, 8, 3}}, 14, 13, {0, 1}, {0, 0}, 2, 1},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        f.put(&D::chromaFlatOffsetModels, c.cr, c.crBins[0]);
        if (c.crBins.size() > 1) f.put(&D::chromaFlatOffsetModels, 16 + c.cr, c.crBins[1]);
        f.put(&D::chromaFlatOffsetModels, 32 + c.cb, c.cbBins[0]);
        if (c.cbBins.size() > 1) f.put(&D::chromaFlatOffsetModels, 48 + c.cb, c.cbBins[1]);
        f.startReading();
        ChromaBlockInfo& record = recordAt(f, 16, 16);
        record.modePredicted = 1;
        decodeChromaFlatOffsets(&f.reader, 16, 16);
        EXPECT_EQ(record.flatOffsetCr, c.selectorCr);
        EXPECT_EQ(record.flatOffsetCb, c.selectorCb);
        EXPECT_EQ(record.modePredicted, 0);
        EXPECT_TRUE(f.modelsMatch()) << c.cr << " " << c.cb;
    }
}

TEST(EntropyChromaSyntax, CodedFlagModels) {
    struct Case {
        int32_t x, y;
        std::vector<Block> blocks;
        int32_t codedCr;  // decoded for the block itself
        int32_t crModel, cbModel;
    };
    const Case cases[] = {
        {0, 0, {}, 0, 0, 0},
        {8, 8, {{0, 8, 3, 0, 0, 0, 0, 1}, {8, 0, 6, 0, 0, 0, 0, 0}}, 1, 1, 1},
        {8, 8, {{0, 8, 6, 0, 0, 0, 0, 0}, {8, 0, 3, 0, 0, 0, 0, 1}}, 0, 2, 0},
        {8, 8, {{0, 8, 3, 0, 0, 0, 0, 1}, {8, 0, 3, 0, 0, 0, 0, 1}}, 1, 3, 1},
        {0, 8, {{0, 0, 3, 0, 0, 0, 0, 1}}, 1, 2, 1},
    };
    for (const Case& c : cases) {
        EntropyFixture f;
        arrange(f, c.blocks);
        f.put({{&D::codedCrModels, c.crModel, c.codedCr}, {&D::codedCbModels, c.cbModel, 1}});
        f.startReading();
        const int32_t codedCr = decodeCodedCr(&f.reader, c.x, c.y);
        EXPECT_EQ(codedCr, c.codedCr);
        EXPECT_EQ(decodeCodedCb(&f.reader, codedCr), 1);
        EXPECT_TRUE(f.modelsMatch()) << c.crModel;
    }
}

}  // namespace
}  // namespace xqob::testing
