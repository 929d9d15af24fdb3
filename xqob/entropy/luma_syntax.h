// Block-level syntax of the luma plane: Flat inference, block types, intra modes with their
// predicted-mode scheme, flat offsets and coded flags. (x, y) is the luma position of the
// block's top-left sample; contexts come from the left and above neighbours' records.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

bool isFlatQuadrant(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeBlockType(DecoderContext* context, int32_t x, int32_t y);  // 5, 2 or 3
int32_t predictLumaMode(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeMode8x8(DecoderContext* context, int32_t x, int32_t y, int32_t q);
int32_t decodeMode4x4(DecoderContext* context, int32_t x, int32_t y, int32_t k);
int32_t decodeFlatOffset(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedQuadrant(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCoded4x4(DecoderContext* context, int32_t x, int32_t y);

// The model indices the readers above choose, for writers that must pick the same models.
// Block type: first bin in blockTypeModels[first], second bin in blockTypeModels[second].
void blockTypeContexts(DecoderContext* context, int32_t x, int32_t y, int32_t* first,
                       int32_t* second);
int32_t modeFirstContext8x8(DecoderContext* context, int32_t x, int32_t y);   // 0..3
int32_t modeFirstContext4x4(DecoderContext* context, int32_t x, int32_t y);   // 0..3
int32_t flatOffsetContext(DecoderContext* context, int32_t x, int32_t y);     // 0..15
int32_t codedQuadrantContext(DecoderContext* context, int32_t x, int32_t y);  // 0..3
int32_t coded4x4Context(DecoderContext* context, int32_t x, int32_t y);       // 0..3

// Everything a quadrant's syntax takes from its neighbours, from one look-up of each: the
// same values as the functions above, all valid before the quadrant's first bin (its own
// blocks are never its neighbours).
struct QuadrantContexts {
    bool flat;           // isFlatQuadrant
    int32_t typeFirst;   // blockTypeContexts
    int32_t typeSecond;  //
    int32_t predicted;   // predictLumaMode
    int32_t modeFirst;   // modeFirstContext8x8
    int32_t flatOffset;  // flatOffsetContext
    int32_t coded;       // codedQuadrantContext
};
QuadrantContexts quadrantContexts(DecoderContext* context, int32_t x, int32_t y);

// The same for a 4x4 block, valid once the blocks before it are decoded.
struct Block4x4Contexts {
    int32_t predicted;  // predictLumaMode
    int32_t modeFirst;  // modeFirstContext4x4
    int32_t coded;      // coded4x4Context
};
Block4x4Contexts block4x4Contexts(DecoderContext* context, int32_t x, int32_t y);

}  // namespace xqob
