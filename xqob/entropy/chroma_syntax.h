// Block-level syntax of the chroma planes. (x, y) is the chroma position of the block's
// top-left sample; one ChromaBlockInfo record serves the Cr and the Cb block there.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "xqob/base/decoder_context.h"
#include "xqob/entropy/mode_bins.h"

namespace xqob {

int32_t predictChromaMode(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeChromaMode(DecoderContext* context, int32_t x, int32_t y);
void decodeChromaFlatOffsets(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCr(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCb(DecoderContext* context, int32_t codedCr);

// The model indices the readers above choose, for writers that must pick the same models.
int32_t chromaModeFirstContext(DecoderContext* context, int32_t x, int32_t y);  // 0..3
// Cr selector bins in chromaFlatOffsetModels[cr] and [16 + cr], Cb ones in [32 + cb] and
// [48 + cb]; cr and cb are 0..15. Both neighbours must exist (x >= 8, y >= 8).
void chromaFlatOffsetContexts(DecoderContext* context, int32_t x, int32_t y, int32_t* cr,
                              int32_t* cb);
int32_t codedCrContext(DecoderContext* context, int32_t x, int32_t y);  // 0..3

// The same rules on the records of the blocks to the left and above, null past the left or
// top edge, for a syntax loop that holds them.
struct ChromaNeighbours {
    const ChromaBlockInfo* left;
    const ChromaBlockInfo* above;
};

// The records of the block at (x, y)'s neighbours.
ChromaNeighbours chromaNeighbours(const DecoderContext* context, int32_t x, int32_t y);

// Flat when the blocks above-left, above and left all lack coded residuals in both planes;
// block types play no part. The block above-left precedes the one above in its row.
inline bool isFlatChromaBlock(const ChromaNeighbours& n) {
    if (n.left == nullptr || n.above == nullptr) return false;
    for (const ChromaBlockInfo* b : {n.above - 1, n.above, n.left}) {
        if (b->codedCr != 0 || b->codedCb != 0) return false;
    }
    return true;
}

// A Flat neighbour gives IntraNone, larger than any mode; DC on the top row and left column.
inline int32_t predictChromaMode(const ChromaNeighbours& n) {
    if (n.left == nullptr || n.above == nullptr) return IntraDC;
    const auto mode = [](const ChromaBlockInfo* b) {
        return b->blockType == Intra8x8 ? int32_t(b->mode) : int32_t(IntraNone);
    };
    return predictedMode(mode(n.above), mode(n.left));
}

// Unlike the luma mode bins, an unavailable neighbour counts 1 here.
inline int32_t chromaModeFirstContext(const ChromaNeighbours& n) {
    const auto flag = [](const ChromaBlockInfo* b) {
        return b == nullptr || b->modePredicted != 0 ? 1 : 0;
    };
    return flag(n.left) + 2 * flag(n.above);
}

inline void chromaFlatOffsetContexts(const ChromaNeighbours& n, int32_t* cr, int32_t* cb) {
    const bool leftFlat = n.left->blockType == Flat;
    const bool aboveFlat = n.above->blockType == Flat;
    *cr = (leftFlat ? n.left->flatOffsetCr : 3) + 4 * (aboveFlat ? n.above->flatOffsetCr : 3);
    *cb = (leftFlat ? n.left->flatOffsetCb : 3) + 4 * (aboveFlat ? n.above->flatOffsetCb : 3);
}

inline int32_t codedCrContext(const ChromaNeighbours& n) {
    const auto flag = [](const ChromaBlockInfo* b) {
        return b != nullptr && b->codedCr != 0 ? 1 : 0;
    };
    return flag(n.left) + 2 * flag(n.above);
}

}  // namespace xqob
