#include "xqob/entropy/chroma_syntax.h"

#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/mode_bins.h"

namespace xqob {

namespace {

ChromaBlockInfo* recordAt(DecoderContext* context, int32_t x, int32_t y) {
    return &context->chromaBlockInfo[chromaBlockIndex(x, y, context->chromaWidth)];
}

// Reads one selector: a first bin of 1 means 0 (the mean); else a second bin gives 1 or 2.
int32_t decodeSelector(DecoderContext* context, BitModel* first, BitModel* second) {
    if (decodeBit(context, first)) return 0;
    return decodeBit(context, second) ? 2 : 1;
}

}  // namespace

ChromaNeighbours chromaNeighbours(const DecoderContext* context, int32_t x, int32_t y) {
    const ChromaBlockInfo* records = context->chromaBlockInfo;
    const int32_t width = context->chromaWidth;
    return ChromaNeighbours{x == 0 ? nullptr : &records[chromaBlockIndex(x - 8, y, width)],
                            y == 0 ? nullptr : &records[chromaBlockIndex(x, y - 8, width)]};
}

int32_t predictChromaMode(DecoderContext* context, int32_t x, int32_t y) {
    return predictChromaMode(chromaNeighbours(context, x, y));
}

int32_t chromaModeFirstContext(DecoderContext* context, int32_t x, int32_t y) {
    return chromaModeFirstContext(chromaNeighbours(context, x, y));
}

int32_t decodeChromaMode(DecoderContext* context, int32_t x, int32_t y) {
    int32_t usedPrediction;
    const int32_t mode =
        decodeIntraMode(context, context->chromaModeModels, chromaModeFirstContext(context, x, y),
                        predictChromaMode(context, x, y), &usedPrediction);
    recordAt(context, x, y)->modePredicted = static_cast<int8_t>(usedPrediction);
    return mode;
}

void chromaFlatOffsetContexts(DecoderContext* context, int32_t x, int32_t y, int32_t* cr,
                              int32_t* cb) {
    chromaFlatOffsetContexts(chromaNeighbours(context, x, y), cr, cb);
}

void decodeChromaFlatOffsets(DecoderContext* context, int32_t x, int32_t y) {
    int32_t cr;
    int32_t cb;
    chromaFlatOffsetContexts(context, x, y, &cr, &cb);
    BitModel* models = context->chromaFlatOffsetModels;
    const int32_t selectorCr = decodeSelector(context, models + cr, models + 16 + cr);
    const int32_t selectorCb = decodeSelector(context, models + 32 + cb, models + 48 + cb);
    ChromaBlockInfo* record = recordAt(context, x, y);
    record->flatOffsetCr = static_cast<int8_t>(selectorCr);
    record->flatOffsetCb = static_cast<int8_t>(selectorCb);
    record->modePredicted = 0;
}

int32_t codedCrContext(DecoderContext* context, int32_t x, int32_t y) {
    return codedCrContext(chromaNeighbours(context, x, y));
}

int32_t decodeCodedCr(DecoderContext* context, int32_t x, int32_t y) {
    return decodeBit(context, context->codedCrModels + codedCrContext(context, x, y));
}

// The Cb flag looks only at the Cr flag just read for the same block.
int32_t decodeCodedCb(DecoderContext* context, int32_t codedCr) {
    return decodeBit(context, context->codedCbModels + codedCr);
}

}  // namespace xqob
