#include "xqob/coder/syntax_writer.h"

#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/mode_bins.h"

namespace xqob {

namespace {

// One bin that says "the predicted mode", else the three bits of the remainder, low bit
// first. Returns that first bin.
int32_t writeIntraMode(BinaryEncoder* encoder, BitModel* models, int32_t firstContext,
                       int32_t predicted, int32_t mode) {
    const int32_t usedPrediction = mode == predicted ? 1 : 0;
    encodeBit(encoder, models + firstContext, usedPrediction);
    if (usedPrediction == 0) {
        const int32_t remainder = remainderFromMode(mode, predicted);
        encodeBit(encoder, models + 4 + predicted, remainder & 1);
        encodeBit(encoder, models + 13 + predicted, (remainder >> 1) & 1);
        encodeBit(encoder, models + 22 + predicted, (remainder >> 2) & 1);
    }
    return usedPrediction;
}

// Selector 0 is a first bin of 1; 1 and 2 are a first bin of 0 and a second bin of 0 or 1.
void writeSelector(BinaryEncoder* encoder, BitModel* first, BitModel* second, int32_t selector) {
    encodeBit(encoder, first, selector == 0 ? 1 : 0);
    if (selector != 0) encodeBit(encoder, second, selector == 2 ? 1 : 0);
}

MacroblockInfo* macroblockAt(DecoderContext* context, int32_t x, int32_t y) {
    return &context->macroblockInfo[macroblockIndex(x, y, context->paddedWidth)];
}

ChromaBlockInfo* chromaBlockAt(DecoderContext* context, int32_t x, int32_t y) {
    return &context->chromaBlockInfo[chromaBlockIndex(x, y, context->chromaWidth)];
}

}  // namespace

void writeBlockType(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                    int32_t type) {
    int32_t first;
    int32_t second;
    blockTypeContexts(context, x, y, &first, &second);
    encodeBit(encoder, context->blockTypeModels + first, type == Intra8x8Weighted ? 1 : 0);
    if (type != Intra8x8Weighted) {
        encodeBit(encoder, context->blockTypeModels + second, type == Intra8x8 ? 1 : 0);
    }
}

void writeMode8x8(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y, int32_t q,
                  int32_t mode) {
    const int32_t usedPrediction =
        writeIntraMode(encoder, context->mode8x8Models, modeFirstContext8x8(context, x, y),
                       predictLumaMode(context, x, y), mode);
    macroblockAt(context, x, y)->mode8x8Predicted |= static_cast<uint8_t>(usedPrediction << q);
}

void writeMode4x4(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y, int32_t k,
                  int32_t mode) {
    const int32_t usedPrediction =
        writeIntraMode(encoder, context->mode4x4Models, modeFirstContext4x4(context, x, y),
                       predictLumaMode(context, x, y), mode);
    macroblockAt(context, x, y)->mode4x4Predicted |= static_cast<uint16_t>(usedPrediction << k);
}

void writeFlatOffset(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                     int32_t selector) {
    const int32_t c = flatOffsetContext(context, x, y);
    writeSelector(encoder, context->flatOffsetModels + c, context->flatOffsetModels + 16 + c,
                  selector);
}

void writeCodedQuadrant(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                        int32_t coded) {
    encodeBit(encoder, context->codedQuadrantModels + codedQuadrantContext(context, x, y), coded);
}

void writeCoded4x4(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                   int32_t coded) {
    encodeBit(encoder, context->coded4x4Models + coded4x4Context(context, x, y), coded);
}

void writeChromaMode(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                     int32_t mode) {
    const int32_t usedPrediction =
        writeIntraMode(encoder, context->chromaModeModels, chromaModeFirstContext(context, x, y),
                       predictChromaMode(context, x, y), mode);
    chromaBlockAt(context, x, y)->modePredicted = static_cast<int8_t>(usedPrediction);
}

void writeChromaFlatOffsets(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                            int32_t selectorCr, int32_t selectorCb) {
    int32_t cr;
    int32_t cb;
    chromaFlatOffsetContexts(context, x, y, &cr, &cb);
    BitModel* models = context->chromaFlatOffsetModels;
    writeSelector(encoder, models + cr, models + 16 + cr, selectorCr);
    writeSelector(encoder, models + 32 + cb, models + 48 + cb, selectorCb);
    ChromaBlockInfo* record = chromaBlockAt(context, x, y);
    record->flatOffsetCr = static_cast<int8_t>(selectorCr);
    record->flatOffsetCb = static_cast<int8_t>(selectorCb);
    record->modePredicted = 0;
}

void writeCodedCr(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                  int32_t coded) {
    encodeBit(encoder, context->codedCrModels + codedCrContext(context, x, y), coded);
}

void writeCodedCb(BinaryEncoder* encoder, DecoderContext* context, int32_t codedCr, int32_t coded) {
    encodeBit(encoder, context->codedCbModels + (codedCr != 0 ? 1 : 0), coded);
}

}  // namespace xqob
