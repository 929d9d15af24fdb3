#include "xqob/entropy/block_syntax.h"
#include "xqob/recon/chroma_prediction.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// The levels of a block with its coded flag set, read in place by the reconstruction; null
// for one without, whose levels were never written.
void reconstructChromaBlock(DecoderContext* context, const ChromaBlockInfo* info, int32_t x,
                            int32_t y, const ChromaLevels& levels) {
    const int32_t* cr = info->codedCr ? levels.cr : nullptr;
    const int32_t* cb = info->codedCb ? levels.cb : nullptr;
    if (info->blockType == Flat) {
        predictFlatChroma(context, x, y);
        reconstructChroma(context, x, y, info->flatOffsetCr, info->flatOffsetCb, cr, cb);
    } else {
        predictIntraChroma(context, x, y, info->mode);
        reconstructChroma(context, x, y, info->mode, info->mode, cr, cb);
    }
}

void decodeChromaBlock(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y) {
    ChromaLevels levels;
    decodeChromaBlockSyntax(context, info, x, y, &levels);
    reconstructChromaBlock(context, info, x, y, levels);
}

}  // namespace

void decodeChromaRow(DecoderContext* context, int32_t y) {
    ChromaBlockInfo* info = context->chromaBlockInfo + (y / 8) * (context->chromaWidth / 8);
    for (int32_t x = 0; x < context->chromaWidth; x += 8) decodeChromaBlock(context, info++, x, y);
}

void decodeChromaRowSyntax(DecoderContext* context, int32_t y, ChromaLevels* levels) {
    ChromaBlockInfo* info = context->chromaBlockInfo + (y / 8) * (context->chromaWidth / 8);
    for (int32_t x = 0; x < context->chromaWidth; x += 8)
        decodeChromaBlockSyntax(context, info++, x, y, levels++);
}

void reconstructChromaRow(DecoderContext* context, int32_t y, const ChromaLevels* levels) {
    const ChromaBlockInfo* info = context->chromaBlockInfo + (y / 8) * (context->chromaWidth / 8);
    for (int32_t x = 0; x < context->chromaWidth; x += 8)
        reconstructChromaBlock(context, info++, x, y, *levels++);
}

// Continues in the same arithmetic-coded stream right after the last luma bin.
void decodeChromaPlane(DecoderContext* context) {
    for (int32_t y = 0; y < context->chromaHeight; y += 8) decodeChromaRow(context, y);
}

}  // namespace xqob
