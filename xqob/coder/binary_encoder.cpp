#include "xqob/coder/binary_encoder.h"

#include <cmath>

#include "xqob/entropy/arith_decoder.h"

namespace xqob {

namespace {

void putBit(BinaryEncoder* encoder, int32_t bit) {
    encoder->partial = (encoder->partial << 1) | static_cast<uint32_t>(bit);
    ++encoder->partialBits;
    ++encoder->bitsWritten;
    if (encoder->partialBits == 8) {
        encoder->bytes.push_back(static_cast<uint8_t>(encoder->partial));
        encoder->partial = 0;
        encoder->partialBits = 0;
    }
}

// A resolved bit, then the opposite bit for every middle-half expansion still pending.
void emitWithPending(BinaryEncoder* encoder, int32_t bit) {
    putBit(encoder, bit);
    for (; encoder->pending > 0; --encoder->pending) putBit(encoder, 1 - bit);
}

// The same three cases as the decoder, in the same order; the decoder shifts one payload
// bit into its code value exactly where this emits or defers one.
void renormalise(BinaryEncoder* encoder) {
    for (;;) {
        if (encoder->high < 32768) {
            emitWithPending(encoder, 0);
        } else if (encoder->low >= 32768) {
            emitWithPending(encoder, 1);
            encoder->low -= 32768;
            encoder->high -= 32768;
        } else if (encoder->low >= 16384 && encoder->high < 49152) {
            ++encoder->pending;
            encoder->low -= 16384;
            encoder->high -= 16384;
        } else {
            return;
        }
        encoder->low = 2 * encoder->low;
        encoder->high = 2 * encoder->high + 1;
    }
}

void narrow(BinaryEncoder* encoder, int32_t split, int32_t bin) {
    if (bin != 0) {
        encoder->high = split - 1;
    } else {
        encoder->low = split;
    }
    renormalise(encoder);
}

}  // namespace

void encodeBit(BinaryEncoder* encoder, BitModel* model, int32_t bin) {
    const uint32_t range = static_cast<uint32_t>(encoder->high - encoder->low + 1);
    const int32_t split = encoder->low + static_cast<int32_t>(range * model->ones / model->total);
    bin = bin != 0 ? 1 : 0;
    updateModel(model, bin);
    narrow(encoder, split, bin);
}

void encodeEquiprobable(BinaryEncoder* encoder, int32_t bin) {
    const int32_t split = encoder->low + (encoder->high - encoder->low + 1) / 2;
    narrow(encoder, split, bin != 0 ? 1 : 0);
}

const std::vector<uint8_t>& finishBinaryEncoder(BinaryEncoder* encoder) {
    if (encoder->finished) return encoder->bytes;
    encoder->finished = true;
    // After renormalisation low < 32768 <= high and either low < 16384 or high >= 49152, so
    // the interval holds a whole quarter: [16384, 32767] or [32768, 49151]. Two bits name
    // that quarter; every value that starts with them lies inside the interval, whatever
    // bits the decoder reads after them.
    ++encoder->pending;
    emitWithPending(encoder, encoder->low < 16384 ? 0 : 1);
    while (encoder->partialBits != 0) putBit(encoder, 0);
    while (encoder->bytes.size() < 2) encoder->bytes.push_back(0);
    return encoder->bytes;
}

int64_t encodedBitCount(const BinaryEncoder* encoder) {
    return encoder->bitsWritten + encoder->pending + (encoder->finished ? 0 : 2);
}

double binCost(const BitModel* model, int32_t bin) {
    const uint32_t count = bin != 0 ? model->ones : model->total - model->ones;
    return std::log2(static_cast<double>(model->total) / static_cast<double>(count));
}

}  // namespace xqob
