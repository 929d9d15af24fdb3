#include "xqob/entropy/residual.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/entropy_fixture.h"
#include "xqob/coder/residual_writer.h"
#include "xqob/entropy/residual_bins.h"

namespace xqob::testing {
namespace {

using D = DecoderContext;

// One block kind as the tests drive it: how to decode, and the arrays it must use.
struct Kind {
    const char* name;
    int32_t size;
    int32_t quantiserOrMode;  // 4x4: scan mode; 8x8: lumaQuantiser; chroma: unused
    ModelArray sig, last, first, rest;
};
const Kind kinds[] = {
    {"4x4", 16, 0, &D::sig4x4Models, &D::last4x4Models, &D::levelFirst4x4Models,
     &D::levelRest4x4Models},
    {"8x8 q40", 64, 40, &D::sig8x8Models, &D::last8x8Models, &D::levelFirst8x8Models,
     &D::levelRest8x8Models},
    {"8x8 q41", 64, 41, &D::sig8x8Models, &D::last8x8Models, &D::levelFirst8x8Models,
     &D::levelRest8x8Models},
    {"chroma", 64, 0, &D::sigChromaModels, &D::lastChromaModels, &D::levelFirstChromaModels,
     &D::levelRestChromaModels},
};

void decodeKind(D* context, const Kind& kind, int32_t* coefficients) {
    if (kind.size == 16) {
        decodeResidual4x4(context, coefficients, kind.quantiserOrMode);
    } else if (kind.first == &D::levelFirst8x8Models) {
        decodeResidual8x8(context, kind.quantiserOrMode, coefficients);
    } else {
        decodeResidualChroma(context, coefficients);
    }
}

ResidualKind residualKindOf(D* context, const Kind& kind) {
    if (kind.size == 16) return residualKind4x4(context, kind.quantiserOrMode);
    if (kind.first == &D::levelFirst8x8Models) {
        return residualKind8x8(context, kind.quantiserOrMode);
    }
    return residualKindChroma(context);
}

TEST(EntropyResidual, WorkedFourByFourExample) {
    const std::vector<ScriptedBin> script = {
        {&D::sig4x4Models, 0, 1},        {&D::last4x4Models, 0, 0},
        {&D::sig4x4Models, 1, 0},        {&D::sig4x4Models, 2, 1},
        {&D::last4x4Models, 2, 1},       {nullptr, 0, 1},
        {&D::levelFirst4x4Models, 0, 1}, {&D::levelRest4x4Models, 0, 1},
        {&D::levelRest4x4Models, 0, 0},  {nullptr, 0, 0},
        {&D::levelFirst4x4Models, 4, 0},
    };
    EntropyFixture f;
    f.put(script);
    f.putEquiprobable(1);  // a sentinel: the block must stop exactly after its eleventh bin
    f.startReading();
    int32_t coefficients[16] = {};
    decodeResidual4x4(&f.reader, coefficients, 0);
    const int32_t expected[16] = {1, 0, -3};
    for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(coefficients[i], expected[i]) << i;
    EXPECT_TRUE(f.modelsMatch());
    EXPECT_EQ(f.totalBinsSeen(), 9);
    EXPECT_TRUE(f.readBack({{nullptr, 0, 1}}));
}

// A last bin of 1 at position 0 gives one coefficient at raster 0; a map without one gives
// one at the final position, which has no bins of its own.
TEST(EntropyResidual, MapEndsAtFirstOrFinalPosition) {
    for (const Kind& kind : kinds) {
        for (bool lastAtZero : {true, false}) {
            SCOPED_TRACE(::testing::Message() << kind.name << " last at 0: " << lastAtZero);
            EntropyFixture f;
            std::vector<ScriptedBin> script;
            if (lastAtZero) {
                script = {{kind.sig, 0, 1}, {kind.last, 0, 1}};
            } else {
                const uint8_t* map = kind.quantiserOrMode == 40 ? sigContext8x8 : nullptr;
                for (int32_t pos = 0; pos < kind.size - 1; ++pos) {
                    script.push_back({kind.sig, map ? map[pos] : pos, 0});
                }
            }
            script.push_back({nullptr, 0, 1});
            script.push_back({kind.first, 0, 0});
            f.put(script);
            f.startReading();
            int32_t coefficients[64] = {};
            decodeKind(&f.reader, kind, coefficients);
            const int32_t at = lastAtZero ? 0 : kind.size - 1;
            for (int32_t i = 0; i < kind.size; ++i) EXPECT_EQ(coefficients[i], i == at ? -1 : 0);
            EXPECT_TRUE(f.modelsMatch());
        }
    }
}

// Ten coefficients read from the highest scan position down with magnitudes
// 1 1 1 1 2 1 3 2 2 2: eq1Count walks 0..3 and stops, then gt1Count picks levelRest 0..4.
TEST(EntropyResidual, LevelModelsFollowTheCounts) {
    const int32_t magnitudes[10] = {1, 1, 1, 1, 2, 1, 3, 2, 2, 2};
    const int32_t firstSeen[5] = {1, 1, 1, 2, 5};
    const int32_t restSeen[5] = {1, 2, 1, 1, 1};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        EntropyFixture f;
        const ResidualKind rk = residualKindOf(&f.writer, kind);
        int32_t block[64] = {};
        for (int32_t i = 0; i < 10; ++i) block[rk.scan[9 - i]] = magnitudes[i];
        ASSERT_TRUE(writeResidual(&f.encoder, rk, block));
        f.startReading();
        int32_t coefficients[64] = {};
        decodeKind(&f.reader, kind, coefficients);
        for (int32_t i = 0; i < kind.size; ++i) EXPECT_EQ(coefficients[i], block[i]) << i;
        for (int32_t m = 0; m < 5; ++m) {
            EXPECT_EQ(f.binsSeen(kind.first, m), firstSeen[m]) << "levelFirst " << m;
            EXPECT_EQ(f.binsSeen(kind.rest, m), restSeen[m]) << "levelRest " << m;
        }
    }
}

// The decoder's one-state form of the two counts against the writer's: every sequence of
// nine magnitudes (1 or more than 1) picks the same models.
TEST(EntropyResidual, LevelCountStatesMatchTheCounts) {
    for (uint32_t sequence = 0; sequence < 512; ++sequence) {
        int32_t eq1Count = 0;
        int32_t gt1Count = 0;
        int32_t state = 0;
        for (int32_t i = 0; i < 9; ++i) {
            ASSERT_EQ(kLevelCounts.first[state], levelFirstIndex(eq1Count, gt1Count)) << sequence;
            ASSERT_EQ(kLevelCounts.rest[state], gt1Count) << sequence;
            const int32_t greater = (sequence >> i) & 1;
            countLevel(1 + greater, &eq1Count, &gt1Count);
            state = kLevelCounts.next[state][greater];
        }
    }
}

// At the cap the loop still reads one further bin, whatever its value; one below the cap
// ends on a bin of 0.
TEST(EntropyResidual, MagnitudeSaturatesAtTheCap) {
    for (const Kind& kind : kinds) {
        const int32_t cap = kind.size == 16 ? 1800 : 6000;
        struct Case {
            int32_t ones, finalBin, level;
        };
        const Case cases[] = {{cap - 2, 1, cap}, {cap - 2, 0, cap}, {cap - 3, 0, cap - 1}};
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << kind.name << " level " << c.level);
            EntropyFixture f;
            std::vector<ScriptedBin> script = {
                {kind.sig, 0, 1}, {kind.last, 0, 1}, {nullptr, 0, 0}, {kind.first, 0, 1}};
            for (int32_t i = 0; i < c.ones; ++i) script.push_back({kind.rest, 0, 1});
            script.push_back({kind.rest, 0, c.finalBin});
            f.put(script);
            f.put(&D::sig4x4Models, 14, 1);  // a sentinel bin in a model the block leaves alone
            f.startReading();
            int32_t coefficients[64] = {};
            decodeKind(&f.reader, kind, coefficients);
            EXPECT_EQ(coefficients[0], c.level);
            EXPECT_TRUE(f.readBack({{&D::sig4x4Models, 14, 1}}));
            EXPECT_TRUE(f.modelsMatch());
        }
    }
}

// Up to quantiser 40 the 63 positions share the 15 mapped models (position class 4 holds ten
// positions); from 41 on every position has its own model.
TEST(EntropyResidual, QuantiserFortyOneGivesEachPositionItsModel) {
    for (int32_t quantiser : {40, 41}) {
        EntropyFixture f;
        for (int32_t pos = 0; pos < 63; ++pos) {
            f.put(&D::sig8x8Models, quantiser <= 40 ? sigContext8x8[pos] : pos, 0);
        }
        f.putEquiprobable(0);
        f.put(&D::levelFirst8x8Models, 0, 0);
        f.startReading();
        int32_t coefficients[64] = {};
        decodeResidual8x8(&f.reader, quantiser, coefficients);
        EXPECT_EQ(coefficients[63], 1);
        EXPECT_TRUE(f.modelsMatch());
        EXPECT_EQ(f.binsSeen(&D::sig8x8Models, 4), quantiser <= 40 ? 10 : 1);
        EXPECT_EQ(f.binsSeen(&D::sig8x8Models, 15), quantiser <= 40 ? 0 : 1);
        EXPECT_EQ(f.binsSeen(&D::sig8x8Models, 62), quantiser <= 40 ? 0 : 1);
    }
}

// Cr and Cb blocks share the chroma models: the Cb block reads what the Cr block left.
TEST(EntropyResidual, CrBlockAdaptsTheModelsOfTheNextCbBlock) {
    EntropyFixture f;
    const ResidualKind writing = residualKindChroma(&f.writer);
    int32_t cr[64] = {};
    int32_t cb[64] = {};
    cr[0] = 5;
    cb[0] = -2;
    cb[1] = 1;
    ASSERT_TRUE(writeResidual(&f.encoder, writing, cr));
    ASSERT_TRUE(writeResidual(&f.encoder, writing, cb));
    f.startReading();
    int32_t outCr[64] = {};
    int32_t outCb[64] = {};
    decodeResidualChroma(&f.reader, outCr);
    EXPECT_EQ(f.binsSeen(&D::sigChromaModels, 0), 1);
    decodeResidualChroma(&f.reader, outCb);
    EXPECT_EQ(f.binsSeen(&D::sigChromaModels, 0), 2);
    EXPECT_EQ(f.binsSeen(&D::levelFirstChromaModels, 0), 2);
    EXPECT_EQ(outCr[0], 5);
    EXPECT_EQ(outCb[0], -2);
    EXPECT_EQ(outCb[1], 1);
}

// The scans are permutations starting at 0 and ending at the last position; the 8x8 one is
// the anti-diagonal zigzag that starts rightwards.
TEST(EntropyResidual, ScanTablesArePermutationsAndTheZigzag) {
    for (const auto& row : scan4x4) {
        std::vector<int> seen(16);
        for (uint8_t p : row) ++seen[p];
        EXPECT_EQ(seen, std::vector<int>(16, 1));
        EXPECT_EQ(row[0], 0);
        EXPECT_EQ(row[15], 15);
    }
    int32_t j = 0;
    for (int32_t d = 0; d < 15; ++d) {
        for (int32_t i = 0; i <= d; ++i) {
            const int32_t row = d % 2 == 0 ? d - i : i;
            const int32_t column = d - row;
            if (row >= 8 || column >= 8) continue;
            EXPECT_EQ(zigzag8x8[j], row * 8 + column) << j;
            ++j;
        }
    }
}

// Random blocks through the writer: the reader returns them exactly, and the models agree.
TEST(EntropyResidual, RandomBlocksRoundTripThroughTheWriter) {
    std::mt19937 random(2024);
    for (const Kind& kind : kinds) {
        for (int32_t mode = 0; mode < 9; ++mode) {
            EntropyFixture f;
            Kind k = kind;
            if (k.size == 16) k.quantiserOrMode = mode;
            std::vector<std::vector<int32_t>> blocks;
            for (int32_t b = 0; b < 30; ++b) {
                std::vector<int32_t> block(k.size);
                const int32_t cap = k.size == 16 ? 1800 : 6000;
                const uint32_t density = 1 + random() % 8;
                for (int32_t& c : block) {
                    if (random() % 8 >= density) continue;
                    const uint32_t kindOfLevel = random() % 10;
                    c = kindOfLevel < 6   ? 1
                        : kindOfLevel < 9 ? 2 + static_cast<int32_t>(random() % 20)
                                          : cap - static_cast<int32_t>(random() % 2);
                    if (random() % 2) c = -c;
                }
                // Block 0 holds only raster 0, block 1 also the final raster position;
                // an empty draw gets one coefficient too.
                if (b == 0) block.assign(k.size, 0);
                if (b < 2 || block == std::vector<int32_t>(k.size)) {
                    block[b == 1 ? k.size - 1 : 0] = 1;
                }
                blocks.push_back(block);
                ASSERT_TRUE(writeResidual(&f.encoder, residualKindOf(&f.writer, k), block.data()));
            }
            f.startReading();
            for (const auto& block : blocks) {
                int32_t coefficients[64] = {};
                decodeKind(&f.reader, k, coefficients);
                ASSERT_EQ(std::vector<int32_t>(coefficients, coefficients + k.size), block)
                    << k.name;
            }
            EXPECT_TRUE(f.modelsMatch());
        }
    }
}

TEST(EntropyResidual, WriterRefusesBlocksTheFormatCannotCarry) {
    EntropyFixture f;
    int32_t block[16] = {};
    EXPECT_FALSE(writeResidual(&f.encoder, residualKind4x4(&f.writer, 0), block));
    block[3] = -1801;
    EXPECT_FALSE(writeResidual(&f.encoder, residualKind4x4(&f.writer, 0), block));
    block[3] = INT32_MIN;
    EXPECT_FALSE(writeResidual(&f.encoder, residualKind4x4(&f.writer, 0), block));
    EXPECT_EQ(encodedBitCount(&f.encoder), 2);
}

}  // namespace
}  // namespace xqob::testing
