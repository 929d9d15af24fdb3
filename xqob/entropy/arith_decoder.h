// The 16-bit binary arithmetic decoder and its buffered bit input. Every syntax element of
// the payload is read through decodeBit (adaptive) or decodeEquiprobable (probability 1/2).
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

constexpr int32_t kInputBufferSize = 8192;

// Allocates the input buffer, makes the first refill (at least 2 bytes or the error exit)
// and loads the first 16 bits of the payload.
void startArithDecoder(DecoderContext* context, ByteSource* file);

// Refills the input buffer after its last byte; past the end of the payload the buffer keeps
// its content, and the fourth refill that delivers nothing takes the error exit.
void refillInput(DecoderContext* context);

// The next payload bit, most significant bit of each byte first.
inline int32_t readBit(DecoderContext* context) {
    if (context->bitsLeft == 0) {
        ++context->pos;
        if (context->pos >= context->fill) refillInput(context);
        context->bitsLeft = 8;
    }
    --context->bitsLeft;
    return (context->buffer[context->pos] >> context->bitsLeft) & 1;
}

// Interval halving, one step at a time: the interval lies in the lower half, the upper half
// or the middle half (16384..49151); no pending bits are needed on the decoding side. Used
// near the end of the input buffer, where each byte must be fetched only when its first bit
// is needed.
inline void renormaliseStepwise(DecoderContext* context) {
    for (;;) {
        if (context->high < 32768) {
        } else if (context->low >= 32768) {
            context->low -= 32768;
            context->high -= 32768;
            context->code -= 32768;
        } else if (context->low >= 16384 && context->high < 49152) {
            context->low -= 16384;
            context->high -= 16384;
            context->code -= 16384;
        } else {
            return;
        }
        context->low = 2 * context->low;
        context->high = 2 * context->high + 1;
        context->code = 2 * context->code + readBit(context);
    }
}

// The decoder registers of one run of bins, held in locals by a syntax loop so that they
// stay in registers across its bins (stores through a model or a byte pointer could
// otherwise alias the context); context is where they are loaded from and stored back.
struct ArithState {
    int32_t low;
    int32_t high;
    int32_t code;
    int32_t pos;
    int32_t bitsLeft;
    int32_t fill;
    const uint8_t* buffer;
    DecoderContext* context;
};

inline ArithState loadArithState(DecoderContext* context) {
    return ArithState{context->low,      context->high, context->code,   context->pos,
                      context->bitsLeft, context->fill, context->buffer, context};
}

inline void storeArithState(const ArithState& state) {
    DecoderContext* context = state.context;
    context->low = state.low;
    context->high = state.high;
    context->code = state.code;
    context->pos = state.pos;
    context->bitsLeft = state.bitsLeft;
}

inline void renormaliseSlowly(DecoderContext* context) {
    renormaliseStepwise(context);
}

// The end of the buffer may refill it: through the context, then back into the registers.
inline void renormaliseSlowly(ArithState* state) {
    storeArithState(*state);
    renormaliseStepwise(state->context);
    *state = loadArithState(state->context);
}

// The next count (1..16) payload bits as one number, first bit most significant, when the
// next four bytes lie in the buffer: the same bits, and the same pos and bitsLeft
// afterwards, as count calls of readBit.
template <typename State>
inline uint32_t takeBits(State* state, int32_t count) {
    const uint8_t* at = state->buffer + state->pos;
    const uint32_t word =
        uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | uint32_t(at[3]);
    // Bits of byte pos already read (8 when bitsLeft is 0), then the count bits wanted; at
    // least 24 bits remain in word.
    const int32_t used = 8 - state->bitsLeft;
    const uint32_t bits = uint32_t((uint64_t(word) << used) >> (32 - count));
    const int32_t last = used + count - 1;  // index of the last bit taken, from byte pos
    state->pos += last >> 3;
    state->bitsLeft = 7 - (last & 7);
    return bits & ((1u << count) - 1);
}

// The same as renormaliseStepwise in one stride of k halvings. While the top bits of low
// and high agree (lower or upper half) each step drops that bit; after such steps the top
// bits differ, and a middle-half step keeps them different, so every renormalisation is n
// halvings then m middle-half steps: n counts the leading bits where low and high agree, m
// the following bits where low has 1 and high 0 (low 01..1x, high 10..0y). Every step maps
// x to 2x - c with the same c for low, high and code, so code - low and high - low just
// double, and low ends as its bits below the k dropped ones, bit 15 clear.
template <typename State>
inline void renormaliseState(State* state) {
    const uint32_t low = uint32_t(state->low);
    const uint32_t high = uint32_t(state->high);
    // Nothing to do when bit 15 differs and bit 14 does not make a middle half: the common
    // case, tested first.
    if (((low ^ high) & 0x8000) != 0 && ((~low | high) & 0x4000) != 0) return;
    // After a decision high - low + 1 is at least 165, so low ^ high is never 0, n is at
    // most 15 and k at most 8; the | 1 only keeps the counts defined.
    const int32_t n = __builtin_clz((low ^ high) | 1) - 16;
    const uint32_t lowShifted = low << n;
    const uint32_t highShifted = (high << n) | ((1u << n) - 1);
    const int32_t m = __builtin_clz(((~lowShifted | highShifted) & 0x7FFF) | 1) - 17;
    const int32_t k = n + m;
    if (state->pos + 4 > state->fill || k > 16) {
        renormaliseSlowly(state);
        return;
    }
    const uint32_t bits = takeBits(state, k);
    const uint32_t newLow = (low << k) & 0x7FFF;
    state->low = int32_t(newLow);
    state->high = int32_t(newLow + ((high - low + 1) << k) - 1);
    state->code = int32_t(newLow + ((uint32_t(state->code) - low) << k) + bits);
}

inline void renormalise(DecoderContext* context) {
    renormaliseState(context);
}

// Halves both counts, rounding up, once total reaches 100.
inline void updateModel(BitModel* model, int32_t bin) {
    model->ones += static_cast<uint32_t>(bin);
    ++model->total;
    if (model->total >= 100) {
        const uint32_t zeros = model->total - model->ones;
        model->ones = (model->ones + 1) / 2;
        model->total = (zeros + 1) / 2 + model->ones;
    }
}

// 2^30 / total rounded up, for total 2..99, so that the division of a split becomes a
// multiplication: with reciprocal * total = 2^30 + e, 0 <= e < total, x * reciprocal / 2^30
// exceeds x / total by x * e / (total * 2^30) < x / 2^30, below 1/128 for x below 2^23;
// x / total lies at least 1/total >= 1/99 below the next integer, so the floor is the same.
struct ReciprocalTable {
    uint32_t value[100];
};

constexpr ReciprocalTable makeReciprocals() {
    ReciprocalTable table{};
    for (uint32_t total = 1; total < 100; ++total)
        table.value[total] = uint32_t(((uint64_t{1} << 30) + total - 1) / total);
    return table;
}

constexpr ReciprocalTable kReciprocals = makeReciprocals();

// range * ones / total for range 1..65536, ones below total, total 2..99.
inline uint32_t scaledSplit(uint32_t range, uint32_t ones, uint32_t total) {
    return uint32_t((uint64_t(range * ones) * kReciprocals.value[total]) >> 30);
}

// One bin through model; the lower sub-interval, proportional to ones, stands for 1.
// range * ones stays below 2^23, so 32-bit arithmetic is exact.
template <typename State>
inline int32_t decodeBinState(State* state, BitModel* model) {
    const uint32_t range = static_cast<uint32_t>(state->high - state->low + 1);
    const int32_t split =
        state->low + static_cast<int32_t>(scaledSplit(range, model->ones, model->total));
    int32_t bin;
    if (state->code < split) {
        bin = 1;
        state->high = split - 1;
    } else {
        bin = 0;
        state->low = split;
    }
    updateModel(model, bin);
    renormaliseState(state);
    return bin;
}

template <typename State>
inline int32_t decodeEquiprobableState(State* state) {
    const int32_t split = state->low + (state->high - state->low + 1) / 2;
    int32_t bin;
    if (state->code < split) {
        bin = 1;
        state->high = split - 1;
    } else {
        bin = 0;
        state->low = split;
    }
    renormaliseState(state);
    return bin;
}

inline int32_t decodeBit(DecoderContext* context, BitModel* model) {
    return decodeBinState(context, model);
}
inline int32_t decodeBit(ArithState* state, BitModel* model) {
    return decodeBinState(state, model);
}
inline int32_t decodeEquiprobable(DecoderContext* context) {
    return decodeEquiprobableState(context);
}
inline int32_t decodeEquiprobable(ArithState* state) {
    return decodeEquiprobableState(state);
}

}  // namespace xqob
