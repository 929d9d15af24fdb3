// The 16-bit binary arithmetic decoder and its buffered bit input. Every syntax element of
// the payload is read through decodeBit (adaptive) or decodeEquiprobable (probability 1/2).
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

constexpr int32_t kInputBufferSize = 8192;

// For the bin loop's small functions, so that a syntax loop that calls them keeps the
// decoder registers in registers whatever the compiler's size heuristics say.
#define XQOB_ALWAYS_INLINE inline __attribute__((always_inline))

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

inline void renormalise(DecoderContext* context) {
    renormaliseStepwise(context);
}

// The decoder registers of one run of bins, held in locals by a syntax loop so that they
// stay in registers across its bins; context is where they are loaded from and stored back.
// The payload bits come through window: its top bit is bit number next of the buffer
// (counting from the most significant bit of byte 0), and windowBits bits of it are valid.
// The window is loaded straight from the buffer only while eight whole bytes lie before
// fill; near the end of the buffer the bits come one at a time through readBit, which
// keeps the refill and end-of-payload rules exact.
struct ArithState {
    uint32_t low;
    uint32_t high;
    uint32_t code;
    int32_t windowBits;
    uint64_t window;
    int32_t next;
    int32_t fill;
    const uint8_t* buffer;
    DecoderContext* context;
};

inline uint64_t loadBigEndian64(const uint8_t* at) {
    uint64_t word;
    __builtin_memcpy(&word, at, sizeof word);
    return __builtin_bswap64(word);
}

// Reloads the window at bit next, or leaves it empty near the end of the buffer.
inline void reloadWindow(ArithState* state) {
    const int32_t byte = state->next >> 3;
    if (byte + 8 > state->fill) {
        state->windowBits = 0;
        return;
    }
    const int32_t skip = state->next & 7;
    state->window = loadBigEndian64(state->buffer + byte) << skip;
    state->windowBits = 64 - skip;
}

inline ArithState loadArithState(DecoderContext* context) {
    ArithState state{};
    state.low = uint32_t(context->low);
    state.high = uint32_t(context->high);
    state.code = uint32_t(context->code);
    // The bit after the last one delivered: bitsLeft bits of byte pos are still to come.
    state.next = context->pos * 8 + 8 - context->bitsLeft;
    state.fill = context->fill;
    state.buffer = context->buffer;
    state.context = context;
    reloadWindow(&state);
    return state;
}

inline void storeArithState(const ArithState& state) {
    DecoderContext* context = state.context;
    context->low = int32_t(state.low);
    context->high = int32_t(state.high);
    context->code = int32_t(state.code);
    // Bit next - 1 was the last delivered; next is at least 16 once the decoder has started.
    const int32_t last = state.next - 1;
    context->pos = last >> 3;
    context->bitsLeft = 7 - (last & 7);
}

// One step at a time through the context, which may refill the buffer.
ArithState renormaliseSlowly(ArithState state);

// The same as renormaliseStepwise in one stride of k halvings. While the top bits of low
// and high agree (lower or upper half) each step drops that bit; after such steps the top
// bits differ, and a middle-half step keeps them different, so every renormalisation is n
// halvings then m middle-half steps: n counts the leading bits where low and high agree, m
// the following bits where low has 1 and high 0 (low 01..1x, high 10..0y). Every step maps
// x to 2x - c with the same c for low, high and code, so code - low and high - low just
// double, and low ends as its bits below the k dropped ones, bit 15 clear. k = 0 (bit 15
// differs, no middle half) goes through the same arithmetic without a branch.
XQOB_ALWAYS_INLINE void renormalise(ArithState* state) {
    const uint32_t low = state->low;
    const uint32_t high = state->high;
    // After a decision high - low + 1 is at least 165, so low ^ high is never 0, n is at
    // most 15; the | 1 only keeps the counts defined.
    const int32_t n = __builtin_clz((low ^ high) | 1) - 16;
    const uint32_t lowShifted = low << n;
    const uint32_t highShifted = (high << n) | ((1u << n) - 1);
    const int32_t m = __builtin_clz(((~lowShifted | highShifted) & 0x7FFF) | 1) - 17;
    const int32_t k = n + m;
    if (__builtin_expect(state->windowBits < k, 0)) {
        reloadWindow(state);
        if (state->windowBits < k) {
            *state = renormaliseSlowly(*state);
            return;
        }
    }
    // Two shifts, so that k = 0 takes no bits without a shift by 64.
    const uint32_t bits = uint32_t((state->window >> 1) >> (63 - k));
    state->window <<= k;
    state->windowBits -= k;
    state->next += k;
    const uint32_t newLow = (low << k) & 0x7FFF;
    state->low = newLow;
    state->high = newLow + ((high - low + 1) << k) - 1;
    state->code = newLow + ((state->code - low) << k) + bits;
}

// 2^30 / total rounded up, for total 2..99, so that the division of a split becomes a
// multiplication: with reciprocal * total = 2^30 + e, 0 <= e < total, x * reciprocal / 2^30
// exceeds x / total by x * e / (total * 2^30) < x / 2^30, below 1/128 for x below 2^23;
// x / total lies at least 1/total >= 1/99 below the next integer, so the floor is the same.
struct ReciprocalTable {
    uint32_t value[101];
};

constexpr ReciprocalTable makeReciprocals() {
    ReciprocalTable table{};
    for (uint32_t total = 1; total <= 100; ++total)
        table.value[total] = uint32_t(((uint64_t{1} << 30) + total - 1) / total);
    return table;
}

constexpr ReciprocalTable kReciprocals = makeReciprocals();

// range * ones / total for range 1..65536, ones below total, total 2..99.
inline uint32_t scaledSplit(uint32_t range, uint32_t ones, uint32_t total) {
    return uint32_t((uint64_t(range * ones) * kReciprocals.value[total]) >> 30);
}

// The same product from the model's scale, ones * reciprocal < 2^31: one multiplication.
inline uint32_t modelSplit(uint32_t range, const BitModel* model) {
    return uint32_t((uint64_t(range) * model->scale) >> 30);
}

// Halves both counts, rounding up, once total reaches 100.
XQOB_ALWAYS_INLINE void updateModel(BitModel* model, int32_t bin) {
    uint32_t ones = model->ones + static_cast<uint32_t>(bin);
    uint32_t total = model->total + 1;
    if (__builtin_expect(total >= 100, 0)) {
        const uint32_t zeros = total - ones;
        ones = (ones + 1) / 2;
        total = (zeros + 1) / 2 + ones;
    }
    model->ones = ones;
    model->total = total;
    model->scale = ones * kReciprocals.value[total];
}

inline BitModel makeModel(uint32_t total, uint32_t ones) {
    return BitModel{total, ones, ones * kReciprocals.value[total]};
}

// The plain decoder, literally: a division per bin and renormalisation one halving at a time
// through the context. The fast path below must agree with it bin for bin.
inline int32_t decodeBit(DecoderContext* context, BitModel* model) {
    ++context->plainBins;
    const uint32_t range = static_cast<uint32_t>(context->high - context->low + 1);
    const int32_t split = context->low + static_cast<int32_t>(range * model->ones / model->total);
    int32_t bin;
    if (context->code < split) {
        bin = 1;
        context->high = split - 1;
    } else {
        bin = 0;
        context->low = split;
    }
    updateModel(model, bin);
    renormaliseStepwise(context);
    return bin;
}

inline int32_t decodeEquiprobable(DecoderContext* context) {
    ++context->plainBins;
    const int32_t split = context->low + (context->high - context->low + 1) / 2;
    int32_t bin;
    if (context->code < split) {
        bin = 1;
        context->high = split - 1;
    } else {
        bin = 0;
        context->low = split;
    }
    renormaliseStepwise(context);
    return bin;
}

// One bin through model; the lower sub-interval, proportional to ones, stands for 1. Both
// ends are chosen without a branch (a bin is close to a coin toss for the predictor).
XQOB_ALWAYS_INLINE int32_t decodeBit(ArithState* state, BitModel* model) {
    const uint32_t split = state->low + modelSplit(state->high - state->low + 1, model);
    const int32_t bin = state->code < split ? 1 : 0;
    state->high = bin ? split - 1 : state->high;
    state->low = bin ? state->low : split;
    updateModel(model, bin);
    renormalise(state);
    return bin;
}

XQOB_ALWAYS_INLINE int32_t decodeEquiprobable(ArithState* state) {
    const uint32_t split = state->low + (state->high - state->low + 1) / 2;
    const int32_t bin = state->code < split ? 1 : 0;
    state->high = bin ? split - 1 : state->high;
    state->low = bin ? state->low : split;
    renormalise(state);
    return bin;
}

}  // namespace xqob
