#include "xqob/coder/syntax_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/support/entropy_fixture.h"
#include "xqob/coder/residual_writer.h"
#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"

namespace xqob::testing {
namespace {

using D = DecoderContext;

// Walks the syntax of a whole picture in the plane loops' order, once writing random
// decisions through the writers and once reading them back through the readers. Each side
// keeps its records as the loops do, so every context of the second pass must come out the
// same as in the first.
struct Walk {
    EntropyFixture& f;
    bool writing;
    std::mt19937 random{99};
    std::vector<int32_t> values;
    size_t next = 0;
    int32_t mismatches = 0;

    Walk(EntropyFixture& fixture, bool isWriting) : f(fixture), writing(isWriting) {}

    D* context() { return writing ? &f.writer : &f.reader; }

    // One element: the writer draws it from choices and writes it, the reader reads it and
    // checks it against what was written.
    int32_t element(std::vector<int32_t> choices, const std::function<void(int32_t)>& write,
                    const std::function<int32_t()>& read) {
        if (writing) {
            const int32_t value = choices[random() % choices.size()];
            write(value);
            values.push_back(value);
            return value;
        }
        const int32_t value = read();
        if (next >= values.size() || value != values[next++]) ++mismatches;
        return value;
    }

    void residual(const ResidualKind& kind) {
        std::vector<int32_t> block(kind.size);
        if (writing) {
            for (int32_t& c : block)
                c = random() % 5 == 0 ? static_cast<int32_t>(random() % 7) - 3 : 0;
            block[kind.scan[random() % kind.size]] = 1 + static_cast<int32_t>(random() % 40);
            writeResidual(&f.encoder, kind, block.data());
        } else {
            decodeResidual(context(), kind, block.data());
        }
        for (int32_t c : block)
            element(
                {c}, [](int32_t) {}, [c] { return c; });
    }
};

void walkQuadrant(Walk& w, MacroblockInfo& r, int32_t qx, int32_t qy, int32_t q) {
    D* c = w.context();
    BinaryEncoder* e = &w.f.encoder;
    if (isFlatQuadrant(c, qx, qy)) {
        r.blockType[q] = Flat;
        r.flatOffset[q] = static_cast<int8_t>(w.element(
            {0, 1, 2}, [&](int32_t v) { writeFlatOffset(e, c, qx, qy, v); },
            [&] { return decodeFlatOffset(c, qx, qy); }));
    } else {
        r.blockType[q] = static_cast<int8_t>(w.element(
            {2, 3, 5, 5, 5}, [&](int32_t v) { writeBlockType(e, c, qx, qy, v); },
            [&] { return decodeBlockType(c, qx, qy); }));
    }
    if (r.blockType[q] == Intra4x4) {
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t bx = qx + 4 * (i % 2), by = qy + 4 * (i / 2);
            const int32_t k = blockIndex4x4(bx, by);
            r.mode4x4[k] = static_cast<int8_t>(w.element(
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 2, 2},
                [&](int32_t v) { writeMode4x4(e, c, bx, by, k, v); },
                [&] { return decodeMode4x4(c, bx, by, k); }));
            const int32_t coded = w.element(
                {0, 1}, [&](int32_t v) { writeCoded4x4(e, c, bx, by, v); },
                [&] { return decodeCoded4x4(c, bx, by); });
            if (coded) r.coded4x4 |= static_cast<uint16_t>(1 << k);
            if (coded) w.residual(residualKind4x4(c, r.mode4x4[k]));
        }
        return;
    }
    if (r.blockType[q] != Flat) {
        r.mode8x8[q] = static_cast<int8_t>(w.element(
            {0, 1, 2, 3, 4, 5, 6, 7, 8, 2, 2}, [&](int32_t v) { writeMode8x8(e, c, qx, qy, q, v); },
            [&] { return decodeMode8x8(c, qx, qy, q); }));
    }
    const int32_t coded = w.element(
        {0, 0, 1}, [&](int32_t v) { writeCodedQuadrant(e, c, qx, qy, v); },
        [&] { return decodeCodedQuadrant(c, qx, qy); });
    if (coded) r.codedQuadrants |= static_cast<uint8_t>(1 << q);
    if (coded) w.residual(residualKind8x8(c, 30 + static_cast<int32_t>(qx % 32)));
}

void walkChromaBlock(Walk& w, int32_t x, int32_t y) {
    D* c = w.context();
    BinaryEncoder* e = &w.f.encoder;
    auto& info = c->chromaBlockInfo;
    ChromaBlockInfo& r = info[chromaBlockIndex(x, y, c->chromaWidth)];
    auto quiet = [&](int32_t px, int32_t py) {
        const ChromaBlockInfo& n = info[chromaBlockIndex(px, py, c->chromaWidth)];
        return n.codedCr == 0 && n.codedCb == 0;
    };
    const bool flat = x >= 8 && y >= 8 && quiet(x - 8, y - 8) && quiet(x, y - 8) && quiet(x - 8, y);
    r.blockType = flat ? Flat : Intra8x8;
    if (flat) {
        // Both selectors travel as one value 3 * cr + cb.
        w.element(
            {0, 1, 2, 3, 4, 5, 6, 7, 8},
            [&](int32_t v) { writeChromaFlatOffsets(e, c, x, y, v / 3, v % 3); },
            [&] {
                decodeChromaFlatOffsets(c, x, y);
                return 3 * r.flatOffsetCr + r.flatOffsetCb;
            });
    } else {
        r.mode = static_cast<int8_t>(w.element(
            {0, 1, 2, 3, 4, 5, 6, 7, 8, 2}, [&](int32_t v) { writeChromaMode(e, c, x, y, v); },
            [&] { return decodeChromaMode(c, x, y); }));
    }
    r.codedCr = static_cast<int8_t>(w.element(
        {0, 0, 1}, [&](int32_t v) { writeCodedCr(e, c, x, y, v); },
        [&] { return decodeCodedCr(c, x, y); }));
    r.codedCb = static_cast<int8_t>(w.element(
        {0, 0, 1}, [&](int32_t v) { writeCodedCb(e, c, r.codedCr, v); },
        [&] { return decodeCodedCb(c, r.codedCr); }));
    if (r.codedCr) w.residual(residualKindChroma(c));
    if (r.codedCb) w.residual(residualKindChroma(c));
}

void walkPicture(Walk& w) {
    D* c = w.context();
    for (int32_t y = 0; y < c->paddedHeight; y += 16) {
        for (int32_t x = 0; x < c->paddedWidth; x += 16) {
            MacroblockInfo& r = c->macroblockInfo[macroblockIndex(x, y, c->paddedWidth)];
            r.mode4x4Predicted = 0;
            r.mode8x8Predicted = 0;
            r.coded4x4 = 0;
            r.codedQuadrants = 0;
            for (int32_t q = 0; q < 4; ++q) walkQuadrant(w, r, x + 8 * (q % 2), y + 8 * (q / 2), q);
        }
    }
    for (int32_t y = 0; y < c->chromaHeight; y += 8) {
        for (int32_t x = 0; x < c->chromaWidth; x += 8) walkChromaBlock(w, x, y);
    }
}

TEST(CoderSyntaxWriter, PictureSyntaxReadsBackAsWritten) {
    for (bool fullChroma : {false, true}) {
        EntropyFixture f;
        f.setGeometry(96, 64, fullChroma);
        Walk writing{f, true};
        walkPicture(writing);
        f.startReading();
        Walk reading{f, false};
        reading.values = writing.values;
        walkPicture(reading);
        EXPECT_EQ(reading.mismatches, 0);
        EXPECT_EQ(reading.next, writing.values.size());
        EXPECT_TRUE(f.modelsMatch());
        // Flat quadrants and Flat chroma blocks did occur.
        int32_t flatChroma = 0;
        for (int32_t m = 0; m < 64; ++m) flatChroma += f.binsSeen(&D::chromaFlatOffsetModels, m);
        EXPECT_GT(f.binsSeen(&D::flatOffsetModels, 15), 0);
        EXPECT_GT(flatChroma, 0);
    }
}

}  // namespace
}  // namespace xqob::testing
