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

// Interval halving: the interval lies in the lower half, the upper half or the middle half
// (16384..49151); no pending bits are needed on the decoding side.
inline void renormalise(DecoderContext* context) {
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

// One bin through model; the lower sub-interval, proportional to ones, stands for 1.
// range * ones stays below 2^23, so 32-bit arithmetic is exact.
inline int32_t decodeBit(DecoderContext* context, BitModel* model) {
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
    renormalise(context);
    return bin;
}

inline int32_t decodeEquiprobable(DecoderContext* context) {
    const int32_t split = context->low + (context->high - context->low + 1) / 2;
    int32_t bin;
    if (context->code < split) {
        bin = 1;
        context->high = split - 1;
    } else {
        bin = 0;
        context->low = split;
    }
    renormalise(context);
    return bin;
}

}  // namespace xqob
