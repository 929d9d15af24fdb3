#include <cstring>

#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/residual.h"
#include "xqob/recon/chroma_prediction.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// Flat when the blocks above-left, above and left all lack coded residuals in both planes;
// block types play no part.
bool isFlatChromaBlock(const DecoderContext* context, int32_t x, int32_t y) {
    if (x < 8 || y < 8) return false;
    const int32_t stride = context->chromaWidth / 8;
    const ChromaBlockInfo* self =
        context->chromaBlockInfo + chromaBlockIndex(x, y, context->chromaWidth);
    const ChromaBlockInfo* neighbours[3] = {self - stride - 1, self - stride, self - 1};
    for (const ChromaBlockInfo* n : neighbours) {
        if (n->codedCr != 0 || n->codedCb != 0) return false;
    }
    return true;
}

void decodeChromaResiduals(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y) {
    info->codedCr = int8_t(decodeCodedCr(context, x, y));
    info->codedCb = int8_t(decodeCodedCb(context, info->codedCr));
    std::memset(context->coeffCr, 0, 64 * sizeof(int32_t));
    if (info->codedCr) decodeResidualChroma(context, context->coeffCr);
    std::memset(context->coeffCb, 0, 64 * sizeof(int32_t));
    if (info->codedCb) decodeResidualChroma(context, context->coeffCb);
}

void decodeChromaBlock(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y) {
    if (isFlatChromaBlock(context, x, y)) {
        info->blockType = Flat;
        decodeChromaFlatOffsets(context, x, y);
        decodeChromaResiduals(context, info, x, y);
        predictFlatChroma(context, x, y);
        reconstructChroma(context, x, y, info->flatOffsetCr, info->flatOffsetCb, info->codedCr,
                          info->codedCb);
    } else {
        info->blockType = Intra8x8;
        info->mode = int8_t(decodeChromaMode(context, x, y));
        decodeChromaResiduals(context, info, x, y);
        predictIntraChroma(context, y, x, info->mode);
        reconstructChroma(context, x, y, info->mode, info->mode, info->codedCr, info->codedCb);
    }
}

}  // namespace

void decodeChromaRow(DecoderContext* context, int32_t y) {
    ChromaBlockInfo* info = context->chromaBlockInfo + (y / 8) * (context->chromaWidth / 8);
    for (int32_t x = 0; x < context->chromaWidth; x += 8) decodeChromaBlock(context, info++, x, y);
}

// Continues in the same arithmetic-coded stream right after the last luma bin.
void decodeChromaPlane(DecoderContext* context) {
    for (int32_t y = 0; y < context->chromaHeight; y += 8) decodeChromaRow(context, y);
}

}  // namespace xqob
