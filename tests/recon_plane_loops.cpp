// Whole macroblocks and chroma rows written bin by bin through the syntax writers, then
// decoded by the plane loops: the records, the decoded map and the planes must come out as
// the written decisions and the prediction rules say.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/entropy_fixture.h"
#include "xqob/base/allocation_chain.h"
#include "xqob/coder/residual_writer.h"
#include "xqob/coder/syntax_writer.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/residual.h"
#include "xqob/format/header.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/quantiser.h"

namespace xqob::testing {
namespace {

// The writing side keeps its records as the luma loop keeps them.
struct LumaScript {
    EntropyFixture& f;
    DecoderContext* w() { return &f.writer; }
    MacroblockInfo& record(int32_t x, int32_t y) {
        return w()->macroblockInfo[macroblockIndex(x, y, w()->paddedWidth)];
    }
    void startMacroblock(int32_t x, int32_t y) {
        MacroblockInfo& r = record(x, y);
        r.mode4x4Predicted = r.mode8x8Predicted = 0;
        r.coded4x4 = 0;
        r.codedQuadrants = 0;
    }
    void residual8x8(int32_t qx, int32_t qy, int32_t q, const int32_t* block) {
        record(qx, qy).codedQuadrants |= uint8_t(1u << q);
        ASSERT_TRUE(writeResidual(&f.encoder, residualKind8x8(w(), w()->lumaQuantiser), block));
    }
    // An Intra8x8 or Intra8x8Weighted quadrant; block null for an uncoded one.
    void intra8x8(int32_t qx, int32_t qy, int32_t type, int32_t mode,
                  const int32_t* block = nullptr) {
        ASSERT_FALSE(isFlatQuadrant(w(), qx, qy));
        const int32_t q = quadrantIndex(qx, qy);
        writeBlockType(&f.encoder, w(), qx, qy, type);
        record(qx, qy).blockType[q] = int8_t(type);
        writeMode8x8(&f.encoder, w(), qx, qy, q, mode);
        record(qx, qy).mode8x8[q] = int8_t(mode);
        writeCodedQuadrant(&f.encoder, w(), qx, qy, block != nullptr);
        if (block != nullptr) residual8x8(qx, qy, q, block);
    }
    void flat(int32_t qx, int32_t qy, int32_t selector, const int32_t* block = nullptr) {
        ASSERT_TRUE(isFlatQuadrant(w(), qx, qy));
        const int32_t q = quadrantIndex(qx, qy);
        record(qx, qy).blockType[q] = Flat;
        writeFlatOffset(&f.encoder, w(), qx, qy, selector);
        record(qx, qy).flatOffset[q] = int8_t(selector);
        writeCodedQuadrant(&f.encoder, w(), qx, qy, block != nullptr);
        if (block != nullptr) residual8x8(qx, qy, q, block);
    }
    void startIntra4x4(int32_t qx, int32_t qy) {
        ASSERT_FALSE(isFlatQuadrant(w(), qx, qy));
        writeBlockType(&f.encoder, w(), qx, qy, Intra4x4);
        record(qx, qy).blockType[quadrantIndex(qx, qy)] = Intra4x4;
    }
    void block4x4(int32_t bx, int32_t by, int32_t mode, const int32_t* block = nullptr) {
        const int32_t k = blockIndex4x4(bx, by);
        writeMode4x4(&f.encoder, w(), bx, by, k, mode);
        record(bx, by).mode4x4[k] = int8_t(mode);
        writeCoded4x4(&f.encoder, w(), bx, by, block != nullptr);
        if (block == nullptr) return;
        record(bx, by).coded4x4 |= uint16_t(1u << k);
        ASSERT_TRUE(writeResidual(&f.encoder, residualKind4x4(w(), mode), block));
    }
};

// The reading side gets what the driver gives the loops: header fields, quantiser tables,
// planes and a cleared decoded map.
void prepareReader(EntropyFixture& f, int32_t width, int32_t height, int32_t qualityIndex,
                   int32_t chromaQuantiser, bool fullChroma) {
    f.setGeometry((width + 15) & ~15, (height + 15) & ~15, fullChroma);
    for (DecoderContext* side : {&f.writer, &f.reader}) {
        side->width = width;
        side->height = height;
        side->qualityIndex = qualityIndex;
        side->lumaQuantiser = qualityTable[qualityIndex];
        side->chromaQuantiser = chromaQuantiser;
    }
    DecoderContext* r = &f.reader;
    setUpQuantiser(r);
    const uint64_t size = uint64_t(r->paddedWidth) * uint64_t(r->paddedHeight);
    r->planeY = static_cast<uint8_t*>(chainAlloc(r, 3 * size));
    std::memset(r->planeY, 0xEE, 3 * size);
    r->planeCb = r->planeY + size;
    r->planeCr = r->planeY + 2 * size;
}

// Expected samples of a plane, filled by rectangles.
struct Expected {
    int32_t width;
    std::vector<uint8_t> samples;
    Expected(int32_t w, int32_t h) : width(w), samples(size_t(w) * size_t(h), 0) {}
    void fill(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t value) {
        for (int32_t r = y; r < y + h; ++r) {
            for (int32_t c = x; c < x + w; ++c)
                samples[size_t(r) * size_t(width) + size_t(c)] = value;
        }
    }
};

void expectPlane(const uint8_t* plane, const Expected& expected, const char* name) {
    int32_t wrong = 0;
    for (size_t i = 0; i < expected.samples.size(); ++i) {
        if (plane[i] != expected.samples[i] && wrong++ < 8) {
            ADD_FAILURE() << name << " sample (" << i % size_t(expected.width) << ", "
                          << i / size_t(expected.width) << ") is " << int(plane[i]) << ", expected "
                          << int(expected.samples[i]);
        }
    }
}

TEST(LumaPlane, EveryQuadrantKindDecodesAsWritten) {
    EntropyFixture f;
    prepareReader(f, 32, 16, 25, 30, false);  // lumaQuantiser 36
    LumaScript s{f};
    int32_t plusEight[64] = {8};  // weighted DC: 8 * 32 = 256, one step after the transform
    int32_t plusOne[16] = {1};    // 4x4 DC at quantiser 36: (20 * 8 + 1) >> 1 = 80

    s.startMacroblock(0, 0);
    s.intra8x8(0, 0, Intra8x8Weighted, 2);  // DC without neighbours: 128
    s.intra8x8(8, 0, Intra8x8Weighted, 1);  // horizontal from the 128s on the left
    s.intra8x8(0, 8, Intra8x8Weighted, 0);  // vertical from the 128s above
    s.flat(8, 8, 2, plusEight);             // mean 128, + 1, + the residual's 1
    s.startMacroblock(16, 0);
    s.startIntra4x4(16, 0);
    s.block4x4(16, 0, 1);            // horizontal from 128
    s.block4x4(20, 0, 0);            // vertical on the top row: not formed, the cleared buffer
    s.block4x4(16, 4, 2, plusOne);   // DC 128, + 1
    s.block4x4(20, 4, 8);            // horizontal-up from the 129s on the left
    s.intra8x8(24, 0, Intra8x8, 2);  // DC of the smoothed left column 0 0 0 0 129 129 129 129
    s.intra8x8(16, 8, Intra8x8Weighted, 2);
    s.intra8x8(24, 8, Intra8x8, 2);
    f.startReading();
    decodeLumaPlane(&f.reader);

    Expected luma(32, 16);
    luma.fill(0, 0, 16, 8, 128);
    luma.fill(0, 8, 8, 8, 128);
    luma.fill(8, 8, 8, 8, 130);
    luma.fill(16, 0, 4, 4, 128);
    luma.fill(20, 0, 4, 4, 0);
    luma.fill(16, 4, 8, 4, 129);
    luma.fill(24, 0, 8, 8, 65);
    // Smoothed top 129 x 7, 113; smoothed left 130 x 8: (1016 + 1040 + 8) >> 4.
    luma.fill(16, 8, 8, 8, 129);
    // Smoothed top 81, 65 x 7 (no top-right at the plane's edge); left 129 x 8.
    luma.fill(24, 8, 8, 8, 98);
    expectPlane(f.reader.planeY, luma, "luma");

    const MacroblockInfo& a = f.reader.macroblockInfo[0];
    const MacroblockInfo& b = f.reader.macroblockInfo[1];
    EXPECT_EQ(std::vector<int>(a.blockType, a.blockType + 4), (std::vector<int>{5, 5, 5, 6}));
    EXPECT_EQ(std::vector<int>(a.mode8x8, a.mode8x8 + 3), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(a.flatOffset[3], 2);
    EXPECT_EQ(a.codedQuadrants, 8);
    EXPECT_EQ(a.mode8x8Predicted, 1);  // only the first quadrant used its predicted mode
    EXPECT_EQ(a.coded4x4, 0);
    EXPECT_EQ(std::vector<int>(b.blockType, b.blockType + 4), (std::vector<int>{2, 3, 5, 3}));
    EXPECT_EQ(b.mode4x4[0], 1);
    EXPECT_EQ(b.mode4x4[1], 0);
    EXPECT_EQ(b.mode4x4[4], 2);
    EXPECT_EQ(b.mode4x4[5], 8);
    EXPECT_EQ(b.coded4x4, 1 << 4);
    EXPECT_EQ(b.mode4x4Predicted, 0);
    EXPECT_EQ(b.mode8x8Predicted, 0b1110);
    EXPECT_EQ(b.codedQuadrants, 0);
    EXPECT_TRUE(f.modelsMatch());
}

// A luma plane of weighted DC quadrants (Flat wherever inferred), then the chroma blocks.
void writePlainLuma(LumaScript& s) {
    DecoderContext* w = s.w();
    for (int32_t y = 0; y < w->paddedHeight; y += 16) {
        for (int32_t x = 0; x < w->paddedWidth; x += 16) {
            s.startMacroblock(x, y);
            for (int32_t q = 0; q < 4; ++q) {
                const int32_t qx = x + 8 * (q % 2), qy = y + 8 * (q / 2);
                if (isFlatQuadrant(w, qx, qy)) {
                    s.flat(qx, qy, 0);
                } else {
                    s.intra8x8(qx, qy, Intra8x8Weighted, 2);
                }
            }
        }
    }
}

struct ChromaStep {
    int32_t x, y;
    bool flat;
    int32_t modeOrCr, selectorCb;  // the mode, or the two flat selectors
    int32_t levelCr, levelCb;      // DC level of a coded residual, 0 for none
};

void writeChroma(EntropyFixture& f, const ChromaStep& step) {
    DecoderContext* w = &f.writer;
    ChromaBlockInfo& r = w->chromaBlockInfo[chromaBlockIndex(step.x, step.y, w->chromaWidth)];
    r.blockType = int8_t(step.flat ? Flat : Intra8x8);
    if (step.flat) {
        writeChromaFlatOffsets(&f.encoder, w, step.x, step.y, step.modeOrCr, step.selectorCb);
    } else {
        writeChromaMode(&f.encoder, w, step.x, step.y, step.modeOrCr);
        r.mode = int8_t(step.modeOrCr);
    }
    r.codedCr = int8_t(step.levelCr != 0);
    writeCodedCr(&f.encoder, w, step.x, step.y, r.codedCr);
    r.codedCb = int8_t(step.levelCb != 0);
    writeCodedCb(&f.encoder, w, r.codedCr, r.codedCb);
    for (int32_t level : {step.levelCr, step.levelCb}) {
        int32_t block[64] = {level};
        if (level != 0) {
            ASSERT_TRUE(writeResidual(&f.encoder, residualKindChroma(w), block));
        }
    }
}

TEST(ChromaPlane, BlocksDecodeAsWritten) {
    // Chroma quantiser 32: a DC level of 2 dequantises to 2 * 32 * 4 = 256, one step.
    EntropyFixture f;
    prepareReader(f, 32, 16, 25, 32, true);
    LumaScript s{f};
    writePlainLuma(s);
    const ChromaStep steps[] = {
        {0, 0, false, 2, 0, 0, 0},   // DC without neighbours
        {8, 0, false, 1, 0, 0, 0},   // horizontal
        {16, 0, false, 1, 0, 0, 2},  // horizontal, Cb residual
        {24, 0, false, 2, 0, 0, 0},  // DC from the left only
        {0, 8, false, 0, 0, 0, 0},   // vertical
        {8, 8, true, 2, 1, 2, 0},    // Flat: Cr mean + 1 and a residual, Cb mean - 1
        {16, 8, false, 2, 0, 0, 0},  // its above-left neighbour is quiet, the above one is not
        {24, 8, false, 2, 0, 0, 0},  // Intra8x8 because its above-left neighbour coded Cb
    };
    for (const ChromaStep& step : steps) writeChroma(f, step);
    f.startReading();
    decodeLumaPlane(&f.reader);
    decodeChromaPlane(&f.reader);

    Expected cr(32, 16), cb(32, 16);
    cr.fill(0, 0, 32, 16, 128);
    cr.fill(8, 8, 8, 8, 130);
    cr.fill(16, 8, 16, 8, 129);
    cb.fill(0, 0, 32, 16, 128);
    cb.fill(16, 0, 16, 8, 129);
    cb.fill(8, 8, 8, 8, 127);
    cb.fill(24, 8, 8, 8, 129);
    expectPlane(f.reader.planeCr, cr, "Cr");
    expectPlane(f.reader.planeCb, cb, "Cb");

    const ChromaBlockInfo* info = f.reader.chromaBlockInfo;
    const int expectedTypes[8] = {3, 3, 3, 3, 3, 6, 3, 3};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(info[i].blockType, expectedTypes[i]) << i;
    EXPECT_EQ(info[5].flatOffsetCr, 2);
    EXPECT_EQ(info[5].flatOffsetCb, 1);
    EXPECT_EQ(info[5].modePredicted, 0);
    EXPECT_EQ(info[5].codedCr, 1);
    EXPECT_EQ(info[2].codedCb, 1);
    EXPECT_EQ(info[0].modePredicted, 1);  // predicted DC at the first block
    EXPECT_TRUE(f.modelsMatch());
}

}  // namespace
}  // namespace xqob::testing

namespace xqob::testing {
namespace {

// Every coefficient of every coded block at its cap with alternating signs.
std::vector<int32_t> cappedBlock(int32_t size, int32_t cap) {
    std::vector<int32_t> block(static_cast<size_t>(size));
    for (int32_t i = 0; i < size; ++i) block[size_t(i)] = (i % 3 == 1) ? -cap : cap;
    return block;
}

uint64_t planeChecksum(const uint8_t* plane, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ plane[i]) * 0x100000001b3ull;
    return hash;
}

TEST(ExtremeLevels, CapsInEveryPositionAtTheLargestQuantisers) {
    // The 32-bit arithmetic of dequantisation and the transforms wraps here; the planes must
    // come out the same in every build.
    EntropyFixture f;
    prepareReader(f, 32, 32, 100, 80, false);
    LumaScript s{f};
    const std::vector<int32_t> big4x4 = cappedBlock(16, kLevelCap4x4);
    const std::vector<int32_t> big8x8 = cappedBlock(64, kLevelCap8x8);
    int32_t mode = 0;
    for (int32_t y = 0; y < 32; y += 16) {
        for (int32_t x = 0; x < 32; x += 16) {
            s.startMacroblock(x, y);
            s.startIntra4x4(x, y);
            for (int32_t i = 0; i < 4; ++i) {
                s.block4x4(x + 4 * (i % 2), y + 4 * (i / 2), mode++ % 9, big4x4.data());
            }
            s.intra8x8(x + 8, y, Intra8x8, mode++ % 9, big8x8.data());
            s.intra8x8(x, y + 8, Intra8x8Weighted, mode++ % 9, big8x8.data());
            s.intra8x8(x + 8, y + 8, Intra8x8, mode++ % 9, big8x8.data());
        }
    }
    // Every chroma block Intra8x8 with both residuals at the cap in every position.
    DecoderContext* w = &f.writer;
    for (int32_t y = 0; y < w->chromaHeight; y += 8) {
        for (int32_t x = 0; x < w->chromaWidth; x += 8) {
            ChromaBlockInfo& r = w->chromaBlockInfo[chromaBlockIndex(x, y, w->chromaWidth)];
            r.blockType = Intra8x8;
            r.mode = int8_t(mode++ % 9);
            writeChromaMode(&f.encoder, w, x, y, r.mode);
            r.codedCr = r.codedCb = 1;
            writeCodedCr(&f.encoder, w, x, y, 1);
            writeCodedCb(&f.encoder, w, 1, 1);
            for (int plane = 0; plane < 2; ++plane) {
                ASSERT_TRUE(writeResidual(&f.encoder, residualKindChroma(w), big8x8.data()));
            }
        }
    }
    f.startReading();
    decodeLumaPlane(&f.reader);
    EXPECT_EQ(planeChecksum(f.reader.planeY, 32 * 32), 0x196fc8b9d64877fdull);
    decodeChromaPlane(&f.reader);
    deblockPicture(&f.reader);
    EXPECT_TRUE(f.modelsMatch());
    EXPECT_EQ(planeChecksum(f.reader.planeY, 3 * 32 * 32), 0xc45947d96179d2d5ull);
}

}  // namespace
}  // namespace xqob::testing
