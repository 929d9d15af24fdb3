// The 16-bit binary arithmetic decoder and its buffered bit input. Every syntax element of
// the payload is read through decodeBit (adaptive) or decodeEquiprobable (probability 1/2).
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

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
// Instead of high and code they keep range = high - low + 1 and the offset code - low,
// which is all a decision needs (code < low + split is offset < split). The offset sits in
// the top 16 bits of value, and the next payload bits follow it in the bits below (the
// offset is below range, at most 65536, so 16 bits hold it): a renormalisation of k
// halvings doubles the offset and appends the next bit k times, which is value << k.
// bits of payload are valid below the offset; the context's nextBit is the number (in the
// buffer, from the most significant bit of byte 0) of the first bit not yet in value. Bits
// are loaded eight bytes at a time only while those bytes lie before fill; near the end of
// the buffer they come one at a time through readBit, which keeps the refill and
// end-of-payload rules exact. Only what every bin touches is held here: a refill, about
// every thirty bins, reads the rest from the context.
struct ArithState {
    uint64_t value;
    uint32_t low;    // the interval's low in bits 0..14; see renormalise for the bits above
    uint32_t range;  // the interval's width is range << shift
    int32_t shift;
    int32_t splitShift;  // 47 - shift, for the split (see decodeBit)
    int32_t bits;
    DecoderContext* context;
};

// The width of the interval. A renormalisation leaves the doubling of the range pending in
// shift, so that the next split's multiplication starts from the width the decision left,
// beside the leading-bit count, instead of after it.
XQOB_ALWAYS_INLINE uint32_t intervalWidth(const ArithState& state) {
    return state.range << state.shift;
}

constexpr int32_t kValueBits = 48;  // payload bits that fit below the offset

XQOB_ALWAYS_INLINE uint64_t loadBigEndian64(const uint8_t* at) {
    uint64_t word;
    __builtin_memcpy(&word, at, sizeof word);
    return __builtin_bswap64(word);
}

// Tops value up to kValueBits payload bits, or leaves it as it is near the end of the buffer.
XQOB_ALWAYS_INLINE void refillValue(ArithState* state) {
    DecoderContext* context = state->context;
    const int32_t next = context->nextBit;
    const int32_t byte = next >> 3;
    if (byte + 8 > context->fill) return;
    // The 57 or more bits from bit next on, of which the kValueBits - bits wanted fill value
    // exactly below its valid bits.
    const uint64_t word = loadBigEndian64(context->buffer + byte) << (next & 7);
    state->value |= word >> (64 - kValueBits + state->bits);
    context->nextBit = next + kValueBits - state->bits;
    state->bits = kValueBits;
}

inline ArithState loadArithState(DecoderContext* context) {
    ArithState state{};
    state.low = uint32_t(context->low);
    state.range = uint32_t(context->high - context->low + 1);
    state.shift = 0;
    state.splitShift = 47;
    state.value = uint64_t(uint32_t(context->code - context->low)) << kValueBits;
    state.bits = 0;
    // The bit after the last one delivered: bitsLeft bits of byte pos are still to come.
    context->nextBit = context->pos * 8 + 8 - context->bitsLeft;
    state.context = context;
    refillValue(&state);
    return state;
}

inline void storeArithState(const ArithState& state) {
    DecoderContext* context = state.context;
    const uint32_t low = state.low & 0x7FFF;
    context->low = int32_t(low);
    context->high = int32_t(low + intervalWidth(state) - 1);
    context->code = int32_t(low + uint32_t(state.value >> kValueBits));
    // The last bit delivered lies just before the payload bits held in value; it exists
    // (the decoder reads 16 bits when it starts).
    const int32_t last = context->nextBit - state.bits - 1;
    context->pos = last >> 3;
    context->bitsLeft = 7 - (last & 7);
}

// One step at a time through the context, which may refill the buffer.
ArithState renormaliseSlowly(ArithState state);

// The same as renormaliseStepwise in one stride of k halvings. While the top bits of low
// and high agree (lower or upper half) each step drops that bit; after such steps the top
// bits differ (low 0, high 1 at bit p), and a middle-half step keeps them different, so
// every renormalisation is 15 - p halvings then m middle-half steps, m counting the bits
// below p where low has 1 and high 0 (low 01..1x, high 10..0y). In one word: with
// e = low & ~high (the bits where a middle-half step may apply, never at or above p), the
// bits of (low ^ high) & ~(e << 1) are clear above p and along the middle-half run shifted
// up by one, and set at bit p - m (bit p itself when m = 0, else the run's last bit, whose
// lower neighbour is not in e). So k = 15 - (its highest set bit) = (15 - p) + m, from one
// leading-bit count. Every step maps x to 2x - c with the same c for low, high and code, so
// the offset and the range just double, and low ends as its bits below the k dropped ones,
// bit 15 clear. k = 0 (bit 15 differs, no middle half) goes through the same arithmetic
// without a branch.
// low is shifted without clearing the dropped bits, which saves a step between one
// leading-bit count and the next: it holds the true low plus some c * 2^15, and high,
// formed from it, the true high plus the same c * 2^15. Above bit 14 the two then hold
// c + l and c + h, l and h the true bit 15 of each. Where l = h those agree, and the word
// is clear from bit 15 up, as it is for the true low and high. Where l = 0 and h = 1 they
// are c and c + 1, which differ in a run of bits from bit 15 up, every bit of the run but
// bit 15 marked in e << 1 (c has ones where c + 1 has zeros): the word has bit 15 set
// (unless bit 14 is in e) and nothing above, again as for the true low and high. The bits
// below 15 are the true ones. So k is exact, and storeArithState keeps bits 0..14 only
// (bit 15 of the true low is clear after a renormalisation; in the middle of one, before
// the slow path, dropping it leaves l and h both 1 as both 0, which halve alike).
// high is low + range - 1, which a decision has at hand before the new range; the range is
// the width the decision left, and its doubling stays pending in shift.
XQOB_ALWAYS_INLINE void renormalise(ArithState* state, uint32_t high) {
    const uint32_t low = state->low;
    state->shift = 0;
    // After a decision the range is at least 165, so low != high and the word has a bit set
    // at 15 - k, k at most 15.
    const uint32_t stop = (low ^ high) & ~((low & ~high) << 1);
    const int32_t lead = __builtin_clz(stop);  // 16 + k
    const int32_t k = lead - 16;
    if (__builtin_expect(state->bits < k, 0)) {
        refillValue(state);
        if (state->bits < k) {
            *state = renormaliseSlowly(*state);
            return;
        }
    }
    state->value <<= k;
    state->bits -= k;
    state->low = low << k;
    state->shift = k;
    state->splitShift = lead ^ 63;  // 47 - k = 63 - lead, straight from the count
}

// After a decision: the new width in range, no shift pending.
XQOB_ALWAYS_INLINE void renormalise(ArithState* state) {
    renormalise(state, state->low + state->range - 1);
}

// 2^30 / total rounded up, for total 2..99, so that the division of a split becomes a
// multiplication: with reciprocal * total = 2^30 + e, 0 <= e < total, x * reciprocal / 2^30
// exceeds x / total by x * e / (total * 2^30) < x / 2^30, below 1/128 for x below 2^23;
// x / total lies at least 1/total >= 1/99 below the next integer, so the floor is the same.
// The scales keep the reciprocal shifted up by kScaleShift, the most that keeps a product
// with a range (at most 2^16) below 2^64: the split's shift is then 63 minus the leading-bit
// count of a renormalisation, one step from the count (see renormalise).
struct ReciprocalTable {
    uint32_t value[101];
    uint64_t scaled[101];  // value << kScaleShift
};

constexpr int32_t kScaleShift = 17;

constexpr ReciprocalTable makeReciprocals() {
    ReciprocalTable table{};
    for (uint32_t total = 1; total <= 100; ++total) {
        table.value[total] = uint32_t(((uint64_t{1} << 30) + total - 1) / total);
        table.scaled[total] = uint64_t(table.value[total]) << kScaleShift;
    }
    return table;
}

constexpr ReciprocalTable kReciprocals = makeReciprocals();

// range * ones / total for range 1..65536, ones below total, total 2..99.
inline uint32_t scaledSplit(uint32_t range, uint32_t ones, uint32_t total) {
    return uint32_t((uint64_t(range * ones) * kReciprocals.value[total]) >> 30);
}

// The same product from the model's scale, ones * reciprocal < 2^31: one multiplication.
inline uint32_t modelSplit(uint32_t range, const BitModel* model) {
    return uint32_t((uint64_t(range) * model->scale) >> (30 + kScaleShift));
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
    model->scale = ones * kReciprocals.scaled[total];
}

inline BitModel makeModel(uint32_t total, uint32_t ones) {
    return BitModel{total, ones, ones * kReciprocals.scaled[total]};
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

// One bin through model; the lower sub-interval, proportional to ones, stands for 1. The
// new interval is chosen without a branch (a bin is close to a coin toss for the predictor).
// The split is compared in value's own scale: the payload bits below the offset are a
// fraction of one, so offset < split exactly when value < split << kValueBits, and that
// shifted split is also what a decision of 0 takes off value. Both candidate intervals are
// formed beside the multiplication, so that the decision picks low and high and the
// renormalisation starts at once.
XQOB_ALWAYS_INLINE int32_t decideSplit(ArithState* state, uint32_t split) {
    const uint32_t low = state->low;
    const uint32_t width = intervalWidth(*state);
    const uint32_t high = low + width - 1;
    const uint64_t scaled = uint64_t(split) << kValueBits;
    const int32_t bin = state->value < scaled ? 1 : 0;
    state->value = bin ? state->value : state->value - scaled;
    state->low = bin ? low : low + split;
    state->range = bin ? split : width - split;
    renormalise(state, bin ? low + split - 1 : high);
    return bin;
}

XQOB_ALWAYS_INLINE int32_t decodeBit(ArithState* state, BitModel* model) {
    // (range << shift) * scale >> 47 as (range * scale) >> (47 - shift): the product needs
    // only the range; the width is at most 2^16 too, so shifting it left first would lose
    // nothing.
    const uint64_t product = uint64_t(state->range) * model->scale;
    const int32_t bin = decideSplit(state, uint32_t(product >> state->splitShift));
    updateModel(model, bin);
    return bin;
}

// Half the interval, without a branch: nothing branches on an equiprobable bin (a sign),
// and the predictor would lose half of them. The upper half is the larger one by the odd
// range's extra unit.
XQOB_ALWAYS_INLINE int32_t decodeEquiprobable(ArithState* state) {
    const uint32_t range = intervalWidth(*state);
    const uint32_t split = range / 2;
    const uint32_t zero = uint32_t(state->value >> kValueBits) >= split ? 1 : 0;
    const uint32_t upper = 0u - zero;  // all ones for the upper half
    state->value -= uint64_t(split & upper) << kValueBits;
    state->low += split & upper;
    state->range = split + (range & upper & 1);
    renormalise(state, state->low + state->range - 1);
    return int32_t(zero ^ 1);
}

}  // namespace xqob
