// The strided renormalisation, the reciprocal split and the register copy of the arithmetic
// decoder against the plain one-step-at-a-time decoder with a true division.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "xqob/decoder/allocation_chain.h"
#include "xqob/entropy/arith_decoder.h"

namespace xqob {
namespace {

TEST(FastArith, ReciprocalSplitIsExactForEveryRangeOnesAndTotal) {
    int64_t mismatches = 0;
    for (uint32_t total = 2; total < 100; ++total) {
        for (uint32_t ones = 1; ones < total; ++ones) {
            for (uint32_t range = 1; range <= 65536; ++range)
                mismatches += scaledSplit(range, ones, total) != range * ones / total;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// The decoder as plainly written: a division per bin, one halving per step.
int32_t referenceBit(DecoderContext* context, BitModel* model) {
    const uint32_t range = uint32_t(context->high - context->low + 1);
    const int32_t split = context->low + int32_t(range * model->ones / model->total);
    const int32_t bin = context->code < split ? 1 : 0;
    if (bin) {
        context->high = split - 1;
    } else {
        context->low = split;
    }
    updateModel(model, bin);
    renormaliseStepwise(context);
    return bin;
}

// Random interval states that a decision can leave (width at least 165, code inside), at
// random bit positions of a 16-byte buffer, some too close to its end for the stride.
TEST(FastArith, StridedRenormalisationMatchesStepwise) {
    std::mt19937 random(8);
    uint8_t bytes[16];
    for (uint8_t& byte : bytes) byte = uint8_t(random());
    for (int trial = 0; trial < 200000; ++trial) {
        DecoderContext fast{};
        const int32_t width = 165 + int32_t(random() % 65372);
        fast.low = int32_t(random() % uint32_t(65537 - width));
        fast.high = fast.low + width - 1;
        fast.code = fast.low + int32_t(random() % uint32_t(width));
        fast.buffer = bytes;
        fast.fill = 16;
        fast.pos = int32_t(random() % 15);
        fast.bitsLeft = int32_t(random() % 8);
        DecoderContext slow = fast;
        renormalise(&fast);
        renormaliseStepwise(&slow);
        ASSERT_EQ(fast.low, slow.low) << trial;
        ASSERT_EQ(fast.high, slow.high) << trial;
        ASSERT_EQ(fast.code, slow.code) << trial;
        ASSERT_EQ(fast.pos, slow.pos) << trial;
        ASSERT_EQ(fast.bitsLeft, slow.bitsLeft) << trial;
    }
}

// Whole streams, through the input buffer's refills and past the end of the payload: the
// reference, the context decoder and the register copy read the same bins and fail at the
// same bin with the same consumed count.
struct StreamResult {
    std::vector<int32_t> bins;
    int64_t failedConsumed = -1;
};

enum class Path { reference, context, registers };

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
            } else if (choice >= 16) {
                bin = decodeEquiprobable(&context);
            } else {
                bin = path == Path::reference ? referenceBit(&context, model)
                                              : decodeBit(&context, model);
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
        const StreamResult reference = decodeStream(payload, Path::reference, 11);
        for (const Path path : {Path::context, Path::registers}) {
            const StreamResult other = decodeStream(payload, path, 11);
            EXPECT_EQ(other.bins, reference.bins) << size;
            EXPECT_EQ(other.failedConsumed, reference.failedConsumed) << size;
        }
        EXPECT_GT(reference.bins.size(), size) << size;
    }
}

}  // namespace
}  // namespace xqob
