#include "xqob/entropy/arith_decoder.h"

#include "xqob/base/allocation_chain.h"

namespace xqob {

namespace {

int32_t refillBuffer(DecoderContext* context) {
    return static_cast<int32_t>(readSourceBlock(context->file, context->buffer, kInputBufferSize));
}

}  // namespace

void startArithDecoder(DecoderContext* context, ByteSource* file) {
    context->file = file;
    context->buffer = static_cast<uint8_t*>(chainAlloc(context, kInputBufferSize));
    context->payloadStart = file->consumed;
    context->fill = refillBuffer(context);
    if (context->fill < 2) failDecode(context, FailureReason::payloadTooShort, context->fill);
    context->pos = 0;
    context->low = 0;
    context->code = 0;
    context->eofCount = 0;
    context->bitsLeft = 8;
    context->high = 65535;
    for (int i = 0; i < 16; ++i) context->code = 2 * context->code + readBit(context);
}

void refillInput(DecoderContext* context) {
    context->fill = refillBuffer(context);
    if (context->fill < 1) ++context->eofCount;
    if (context->eofCount > 3) {
        failDecode(context, FailureReason::payloadExhausted,
                   context->file->consumed - context->payloadStart);
    }
    context->pos = 0;
}

ArithState renormaliseSlowly(ArithState state) {
    storeArithState(state);
    renormaliseStepwise(state.context);
    return loadArithState(state.context);
}

}  // namespace xqob
