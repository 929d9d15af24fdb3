// The register path of the arithmetic decoder (bit window, strided renormalisation, split by
// the model's scale) against the plain one-step-at-a-time decoder with a true division.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "xqob/base/allocation_chain.h"
#include "xqob/entropy/arith_decoder.h"

namespace xqob {
namespace {

TEST(FastArith, ModelSplitIsExactForEveryRangeOnesAndTotal) {
    int64_t mismatches = 0;
    for (uint32_t total = 2; total < 100; ++total) {
        for (uint32_t ones = 1; ones < total; ++ones) {
            const BitModel model = makeModel(total, ones);
            for (uint32_t range = 1; range <= 65536; ++range) {
                const uint32_t exact = range * ones / total;
                mismatches += scaledSplit(range, ones, total) != exact;
                mismatches += modelSplit(range, &model) != exact;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Every count the models can reach keeps its scale, halving included.
TEST(FastArith, UpdatesKeepTheScale) {
    std::mt19937 random(5);
    BitModel model{2, 1};
    EXPECT_EQ(model.scale, makeModel(2, 1).scale);
    for (int i = 0; i < 100000; ++i) {
        updateModel(&model, int32_t(random() % 7 < 5));
        ASSERT_EQ(model.scale, makeModel(model.total, model.ones).scale) << i;
    }
}

// Random interval states that a decision can leave (width at least 165, code inside), at
// random bit positions of a 32-byte buffer, some too close to its end for the window.
TEST(FastArith, StridedRenormalisationMatchesStepwise) {
    std::mt19937 random(8);
    uint8_t bytes[32];
    for (uint8_t& byte : bytes) byte = uint8_t(random());
    for (int trial = 0; trial < 200000; ++trial) {
        DecoderContext slow{};
        const int32_t width = 165 + int32_t(random() % 65372);
        slow.low = int32_t(random() % uint32_t(65537 - width));
        slow.high = slow.low + width - 1;
        slow.code = slow.low + int32_t(random() % uint32_t(width));
        slow.buffer = bytes;
        slow.fill = 32;
        slow.pos = 2 + int32_t(random() % 27);  // the stride takes at most 2 more bytes
        slow.bitsLeft = int32_t(random() % 8);
        DecoderContext reference = slow;
        renormaliseStepwise(&reference);
        ArithState fast = loadArithState(&slow);
        renormalise(&fast);
        storeArithState(fast);
        ASSERT_EQ(slow.low, reference.low) << trial;
        ASSERT_EQ(slow.high, reference.high) << trial;
        ASSERT_EQ(slow.code, reference.code) << trial;
        ASSERT_EQ(slow.pos, reference.pos) << trial;
        ASSERT_EQ(slow.bitsLeft, reference.bitsLeft) << trial;
    }
}

// The stride alone, for intervals after any decision: every low with the narrowest widths
// (the long middle-half runs), and random pairs across the whole range. The register state
// has a full window, so no refill interferes.
TEST(FastArith, StrideCountMatchesStepwiseForEveryNarrowInterval) {
    auto check = [](uint32_t low, uint32_t width) {
        uint32_t stepLow = low;
        uint32_t stepHigh = low + width - 1;
        int32_t steps = 0;
        for (;;) {
            if (stepHigh < 32768) {
            } else if (stepLow >= 32768) {
                stepLow -= 32768, stepHigh -= 32768;
            } else if (stepLow >= 16384 && stepHigh < 49152) {
                stepLow -= 16384, stepHigh -= 16384;
            } else {
                break;
            }
            stepLow *= 2, stepHigh = 2 * stepHigh + 1, ++steps;
        }
        // The register low may carry any multiple of 2^15 above the interval's low.
        for (const uint32_t carried : {0u, 1u, 2u, 3u, 0x1FFFFu, low * 40503u}) {
            ArithState state{};
            state.low = low + (carried << 15);
            state.range = width;
            state.bits = kValueBits;
            renormalise(&state);
            const uint32_t newLow = state.low & 0x7FFF;
            if (newLow != stepLow || newLow + intervalWidth(state) - 1 != stepHigh ||
                state.bits != kValueBits - steps)
                return false;
        }
        return true;
    };
    for (uint32_t low = 0; low + 165 <= 65536; ++low) {
        for (uint32_t width = 165; width < 293 && low + width <= 65536; ++width)
            ASSERT_TRUE(check(low, width)) << low << " " << width;
    }
    std::mt19937 random(9);
    for (int trial = 0; trial < 2000000; ++trial) {
        const uint32_t width = 165 + random() % 65372;
        const uint32_t low = random() % (65537 - width);
        ASSERT_TRUE(check(low, width)) << low << " " << width;
    }
}

// Whole streams, through the input buffer's refills and past the end of the payload: the
// plain decoder and the register copy read the same bins and fail at the
// same bin with the same consumed count.
struct StreamResult {
    std::vector<int32_t> bins;
    int64_t failedConsumed = -1;
};

enum class Path { plain, registers };

StreamResult decodeStream(const std::vector<uint8_t>& payload, Path path, uint32_t seed) {
    StreamResult result;
    ByteSource source = memorySource(payload.data(), payload.size());
    DecoderContext context{};
    std::vector<BitModel> models(16, BitModel{2, 1});
    std::mt19937 pick(seed);
    try {
        startArithDecoder(&context, &source);
        ArithState state = loadArithState(&context);
        for (;;) {
            const uint32_t choice = pick() % 20;
            BitModel* model = &models[choice % 16];
            int32_t bin;
            if (path == Path::registers) {
                bin = choice >= 16 ? decodeEquiprobable(&state) : decodeBit(&state, model);
            } else {
                bin = choice >= 16 ? decodeEquiprobable(&context) : decodeBit(&context, model);
            }
            result.bins.push_back(bin);
        }
    } catch (const DecodeError&) {
        result.failedConsumed = source.consumed;
    }
    freeChain(&context);
    return result;
}

TEST(FastArith, StreamsDecodeTheSameOnEveryPath) {
    std::mt19937 random(3);
    for (const size_t size :
         {size_t(2), size_t(5), size_t(700), size_t(8192), size_t(8195), size_t(20000)}) {
        std::vector<uint8_t> payload(size);
        for (uint8_t& byte : payload) byte = uint8_t(random());
        const StreamResult reference = decodeStream(payload, Path::plain, 11);
        const StreamResult other = decodeStream(payload, Path::registers, 11);
        EXPECT_EQ(other.bins, reference.bins) << size;
        EXPECT_EQ(other.failedConsumed, reference.failedConsumed) << size;
        EXPECT_GT(reference.bins.size(), size) << size;
    }
}

}  // namespace
}  // namespace xqob
