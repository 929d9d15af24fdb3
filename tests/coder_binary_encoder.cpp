#include "xqob/coder/binary_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/entropy_fixture.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/context_models.h"

namespace xqob::testing {
namespace {

// A random script over all 533 models plus equiprobable bins. oneChance is the probability of
// a 1; runLength > 1 repeats each drawn model and bin that many times (long runs of one bin
// through one model drive the counts to their extremes and the interval to its edges).
std::vector<ScriptedBin> randomScript(uint32_t seed, int32_t length, double oneChance,
                                      int32_t runLength) {
    static const ModelArray arrays[kModelArrayCount] = {
        &DecoderContext::mode8x8Models,          &DecoderContext::flatOffsetModels,
        &DecoderContext::mode4x4Models,          &DecoderContext::chromaModeModels,
        &DecoderContext::chromaFlatOffsetModels, &DecoderContext::blockTypeModels,
        &DecoderContext::codedQuadrantModels,    &DecoderContext::coded4x4Models,
        &DecoderContext::codedCrModels,          &DecoderContext::codedCbModels,
        &DecoderContext::sig8x8Models,           &DecoderContext::last8x8Models,
        &DecoderContext::levelFirst8x8Models,    &DecoderContext::levelRest8x8Models,
        &DecoderContext::sig4x4Models,           &DecoderContext::last4x4Models,
        &DecoderContext::levelFirst4x4Models,    &DecoderContext::levelRest4x4Models,
        &DecoderContext::sigChromaModels,        &DecoderContext::lastChromaModels,
        &DecoderContext::levelFirstChromaModels, &DecoderContext::levelRestChromaModels,
    };
    std::mt19937 random(seed);
    std::bernoulli_distribution one(oneChance);
    std::vector<ScriptedBin> script;
    while (static_cast<int32_t>(script.size()) < length) {
        const int32_t which = static_cast<int32_t>(random() % (kModelArrayCount + 1));
        ScriptedBin step{nullptr, 0, one(random) ? 1 : 0};
        if (which < kModelArrayCount) {
            step.array = arrays[which];
            step.index = static_cast<int32_t>(random() % modelArraySizes[which]);
        }
        for (int32_t r = 0; r < runLength && static_cast<int32_t>(script.size()) < length; ++r) {
            script.push_back(step);
        }
    }
    return script;
}

enum class Tail { none, zeros, ones, random };

std::vector<uint8_t> makeTail(Tail tail, uint32_t seed) {
    std::mt19937 random(seed ^ 0x9e3779b9u);
    std::vector<uint8_t> bytes(tail == Tail::none ? 0 : 37);
    for (uint8_t& b : bytes) {
        b = tail == Tail::zeros ? 0 : tail == Tail::ones ? 0xFF : static_cast<uint8_t>(random());
    }
    return bytes;
}

struct RoundTripCase {
    const char* name;
    int32_t length;
    double oneChance;
    int32_t runLength;
};

// The decoder must see exactly the written bins, whatever follows the payload, with both
// sides' intervals equal after every bin and the models equal at the end.
TEST(CoderBinaryEncoder, RoundTripsRandomScriptsWhateverFollows) {
    const RoundTripCase cases[] = {
        {"empty", 0, 0.5, 1},
        {"one bin", 1, 0.5, 1},
        {"three bins", 3, 0.5, 1},
        {"short", 20, 0.5, 1},
        {"balanced", 3000, 0.5, 1},
        {"mostly ones", 3000, 0.97, 1},
        {"mostly zeros", 3000, 0.03, 1},
        {"all ones, long runs", 3000, 1.0, 500},
        {"all zeros, long runs", 3000, 0.0, 500},
        {"runs", 5000, 0.5, 40},
        {"skewed runs", 5000, 0.999, 200},
    };
    for (const RoundTripCase& c : cases) {
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            const auto script = randomScript(seed, c.length, c.oneChance, c.runLength);
            for (Tail tail : {Tail::none, Tail::zeros, Tail::ones, Tail::random}) {
                SCOPED_TRACE(::testing::Message()
                             << c.name << " seed " << seed << " tail " << static_cast<int>(tail));
                EntropyFixture f;
                f.put(script);
                f.startReading(makeTail(tail, seed));
                EXPECT_GE(f.payload.size(), 2u);
                ASSERT_TRUE(f.readBack(script));
                EXPECT_TRUE(f.modelsMatch());
            }
        }
    }
}

TEST(CoderBinaryEncoder, IntervalsMatchTheDecoderAfterEveryBin) {
    for (uint32_t seed = 100; seed < 110; ++seed) {
        const auto script = randomScript(seed, 2000, seed % 2 ? 0.5 : 0.9, 1 + seed % 7);
        EntropyFixture f;
        std::vector<int32_t> lows;
        std::vector<int32_t> highs;
        for (const ScriptedBin& step : script) {
            f.put({step});
            lows.push_back(f.encoder.low);
            highs.push_back(f.encoder.high);
        }
        f.startReading();
        for (size_t i = 0; i < script.size(); ++i) {
            ASSERT_TRUE(f.readBack({script[i]})) << "bin " << i;
            ASSERT_EQ(f.reader.low, lows[i]) << "bin " << i;
            ASSERT_EQ(f.reader.high, highs[i]) << "bin " << i;
        }
    }
}

// The first byte of a payload: a fresh model's 1 lies in the lower half, so renormalisation
// emits a 0 at once; a 0 lies in the upper half and emits a 1.
TEST(CoderBinaryEncoder, FirstBinsEmitTheirHalfAtOnce) {
    struct Case {
        std::vector<int32_t> bins;
        uint8_t firstByte;
    };
    const Case cases[] = {
        {{1, 1, 1, 1, 1, 1, 1, 1}, 0x00},
        {{0}, 0xA0},  // bit 1, then the flush of the interval [0, 65535]: pending 0 and a 1
    };
    for (const Case& c : cases) {
        BinaryEncoder encoder;
        for (int32_t bin : c.bins) encodeEquiprobable(&encoder, bin);
        const auto& bytes = finishBinaryEncoder(&encoder);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], c.firstByte);
    }
}

TEST(CoderBinaryEncoder, BitCountMatchesThePayloadAndTheCostEstimate) {
    for (double chance : {0.5, 0.8, 0.95, 0.995}) {
        const auto script = randomScript(7, 20000, chance, 3);
        EntropyFixture f;
        double estimate = 0;
        for (const ScriptedBin& step : script) {
            estimate += step.array == nullptr
                            ? kEquiprobableCost
                            : binCost((f.writer.*step.array) + step.index, step.bin);
            f.put({step});
        }
        const int64_t counted = encodedBitCount(&f.encoder);
        const auto& bytes = finishBinaryEncoder(&f.encoder);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), (counted + 7) / 8) << chance;
        EXPECT_NEAR(static_cast<double>(counted), estimate, 0.01 * estimate + 16) << chance;
    }
}

TEST(CoderBinaryEncoder, BinCostOfModelStates) {
    struct Case {
        BitModel model;
        int32_t bin;
        double bits;
    };
    const Case cases[] = {
        {{2, 1}, 1, 1.0},
        {{2, 1}, 0, 1.0},
        {{4, 3}, 0, 2.0},
        {{4, 3}, 1, std::log2(4.0 / 3.0)},
        {{99, 1}, 1, std::log2(99.0)},
        {{99, 1}, 0, std::log2(99.0 / 98.0)},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(binCost(&c.model, c.bin), c.bits, 1e-12);
    }
}

}  // namespace
}  // namespace xqob::testing
