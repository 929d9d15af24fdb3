#include <cstring>

#include "xqob/entropy/block_syntax.h"
#include "xqob/recon/chroma_prediction.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// The levels of a coded block, or zeros, into the coefficient block that reconstruction
// reads.
void takeLevels(int32_t* coefficients, const int32_t* levels, bool coded) {
    if (coded) {
        std::memcpy(coefficients, levels, 64 * sizeof(int32_t));
    } else {
        std::memset(coefficients, 0, 64 * sizeof(int32_t));
    }
}

void decodeChromaBlock(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y) {
    ChromaLevels levels;
    decodeChromaBlockSyntax(context, info, x, y, &levels);
    takeLevels(context->coeffCr, levels.cr, info->codedCr != 0);
    takeLevels(context->coeffCb, levels.cb, info->codedCb != 0);
    if (info->blockType == Flat) {
        predictFlatChroma(context, x, y);
        reconstructChroma(context, x, y, info->flatOffsetCr, info->flatOffsetCb);
    } else {
        predictIntraChroma(context, y, x, info->mode);
        reconstructChroma(context, x, y, info->mode, info->mode);
    }
}

}  // namespace

// Continues in the same arithmetic-coded stream right after the last luma bin.
void decodeChromaPlane(DecoderContext* context) {
    ChromaBlockInfo* info = context->chromaBlockInfo;
    for (int32_t y = 0; y < context->chromaHeight; y += 8) {
        for (int32_t x = 0; x < context->chromaWidth; x += 8)
            decodeChromaBlock(context, info++, x, y);
    }
}

}  // namespace xqob
