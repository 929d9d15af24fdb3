// The bit input and the binary arithmetic decoder, on the codec's worked numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "tests/support/qob_files.h"
#include "xqob/base/allocation_chain.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/context_models.h"

namespace xqob {
namespace {

// A decoder state with the given interval and code whose next input bits are those of next.
struct ManualDecoder {
    DecoderContext context{};
    uint8_t byte[1];
    explicit ManualDecoder(int32_t low, int32_t high, int32_t code, uint8_t next) : byte{next} {
        context.low = low;
        context.high = high;
        context.code = code;
        context.buffer = byte;
        context.fill = 1;
        context.pos = 0;
        context.bitsLeft = 8;
    }
};

TEST(ArithDecoder, BinOneFromTheStartState) {
    ManualDecoder d(0, 65535, 12345, 0x80);
    BitModel model{2, 1};
    EXPECT_EQ(decodeBit(&d.context, &model), 1);
    EXPECT_EQ(model.total, 3u);
    EXPECT_EQ(model.ones, 2u);
    EXPECT_EQ(d.context.low, 0);
    EXPECT_EQ(d.context.high, 65535);
    EXPECT_EQ(d.context.code, 24690 + 1);
}

TEST(ArithDecoder, BinZeroFromTheStartState) {
    ManualDecoder d(0, 65535, 40000, 0x00);
    BitModel model{2, 1};
    EXPECT_EQ(decodeBit(&d.context, &model), 0);
    EXPECT_EQ(model.total, 3u);
    EXPECT_EQ(model.ones, 1u);
    EXPECT_EQ(d.context.low, 0);
    EXPECT_EQ(d.context.high, 65535);
    EXPECT_EQ(d.context.code, 14464);
}

TEST(ArithDecoder, ModelHalving) {
    struct Case {
        uint32_t total, ones;
        int32_t bin;
        uint32_t newTotal, newOnes;
    } cases[] = {{99, 60, 1, 51, 31}, {99, 1, 0, 51, 1}, {98, 50, 1, 99, 51}, {99, 98, 1, 51, 50}};
    for (const Case& c : cases) {
        BitModel model{c.total, c.ones};
        updateModel(&model, c.bin);
        EXPECT_EQ(model.total, c.newTotal) << c.total << "/" << c.ones;
        EXPECT_EQ(model.ones, c.newOnes) << c.total << "/" << c.ones;
    }
}

TEST(ArithDecoder, EquiprobableSplitsAtTheMiddle) {
    for (int32_t code : {0, 32767, 32768, 65535}) {
        ManualDecoder d(0, 65535, code, 0);
        EXPECT_EQ(decodeEquiprobable(&d.context), code < 32768 ? 1 : 0) << code;
    }
}

TEST(ArithDecoder, MiddleHalfRenormalisation) {
    ManualDecoder d(20000, 45000, 30000, 0x00);
    renormalise(&d.context);
    EXPECT_EQ(d.context.low, 7232);
    EXPECT_EQ(d.context.high, 57233);
    EXPECT_EQ(d.context.code, 2 * (30000 - 16384));
}

// A decode over a payload in memory, freed with the chain.
struct StartedDecoder {
    DecoderContext context{};
    ByteSource source;
    std::vector<uint8_t> payload;
    explicit StartedDecoder(std::vector<uint8_t> bytes) : payload(std::move(bytes)) {
        source = memorySource(payload.data(), payload.size());
    }
    ~StartedDecoder() { freeChain(&context); }
};

TEST(ArithDecoder, TwoBytePayloadGivesFortyBits) {
    StartedDecoder d({0xA5, 0x3C});
    startArithDecoder(&d.context, &d.source);
    EXPECT_EQ(d.context.code, 0xA53C);
    // Past the end the first byte of the last refill comes back three times.
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(readBit(&d.context), (0xA5 >> (7 - i % 8)) & 1) << i;
    }
    EXPECT_THROW(readBit(&d.context), DecodeError);
    EXPECT_EQ(d.context.failure.reason, FailureReason::payloadExhausted);
    EXPECT_EQ(d.context.failure.value, 2);
}

TEST(ArithDecoder, PayloadsOfZeroAndOneByteDoNotStart) {
    for (size_t length : {0u, 1u}) {
        StartedDecoder d(std::vector<uint8_t>(length, 0x77));
        EXPECT_THROW(startArithDecoder(&d.context, &d.source), DecodeError);
        EXPECT_EQ(d.context.failure.reason, FailureReason::payloadTooShort);
    }
}

TEST(ArithDecoder, SecondRefillRepeatsItsFirstByte) {
    // 8192 + 3 bytes: the last refill delivers 3 bytes starting with 0xC3.
    std::vector<uint8_t> bytes(8195, 0);
    bytes[8192] = 0xC3;
    StartedDecoder d(bytes);
    startArithDecoder(&d.context, &d.source);
    for (int i = 16; i < 8195 * 8; ++i) readBit(&d.context);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(readBit(&d.context), (0xC3 >> (7 - i % 8)) & 1);
    EXPECT_THROW(readBit(&d.context), DecodeError);
}

TEST(ContextModels, EveryModelStartsAtHalf) {
    DecoderContext context{};
    setUpModels(&context);
    int32_t count = 0;
    for (int32_t i = 0; i < kModelArrayCount; ++i) {
        const BitModel* models = *modelArrayField(&context, i);
        for (int32_t m = 0; m < modelArraySizes[i]; ++m) {
            EXPECT_EQ(models[m].total, 2u);
            EXPECT_EQ(models[m].ones, 1u);
        }
        count += modelArraySizes[i];
    }
    EXPECT_EQ(count, 533);
    freeChain(&context);
}

// Decodes bins with a pseudo-random mix of models and equiprobable bins until the payload
// runs dry; returns the bins and how many were decoded before the failure.
std::vector<int32_t> decodeUntilExhausted(ByteSource* source) {
    DecoderContext context{};
    std::vector<int32_t> bins;
    std::mt19937 choose(7);
    try {
        setUpModels(&context);
        startArithDecoder(&context, source);
        for (;;) {
            const uint32_t pick = choose() % 40;
            bins.push_back(pick < 4 ? decodeEquiprobable(&context)
                                    : decodeBit(&context, &context.sig8x8Models[pick]));
        }
    } catch (const DecodeError&) {
    }
    freeChain(&context);
    return bins;
}

TEST(ArithDecoder, FileAndMemoryInputGiveTheSameBins) {
    std::mt19937 random(99);
    std::vector<uint8_t> payload(20000);
    for (uint8_t& b : payload) b = uint8_t(random() % 7 == 0 ? random() : 0);
    const std::string path = test::writeTempFile("arith-payload.bin", payload);

    ByteSource memory = memorySource(payload.data(), payload.size());
    const std::vector<int32_t> fromMemory = decodeUntilExhausted(&memory);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ByteSource stream = fileSource(file);
    const std::vector<int32_t> fromFile = decodeUntilExhausted(&stream);
    std::fclose(file);

    EXPECT_GT(fromMemory.size(), 100000u);
    EXPECT_EQ(fromMemory, fromFile);
}

}  // namespace
}  // namespace xqob
