// Block-level syntax of the luma plane: Flat inference, block types, intra modes with their
// predicted-mode scheme, flat offsets and coded flags. (x, y) is the luma position of the
// block's top-left sample; contexts come from the left and above neighbours' records.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/entropy/mode_bins.h"

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

// What a quadrant shows the quadrants to its right and below, packed in one word: the
// values that the functions above take from it as a neighbour. The fields' first bits:
enum QuadrantTrait : uint32_t {
    kTraitWeighted = 0,      // a first block type bin's share: weighted, flat (or missing)
    kTraitSmall = 1,         // 2 bits, a second block type bin's share: 4x4 2, 8x8 1
    kTraitPredicted8x8 = 3,  // the 8x8 mode was coded as the predicted one
    kTraitFlatOffset = 4,    // 2 bits, the flat offset; 3 unless Flat
    kTraitCoded = 6,         // a coded quadrant bin's share: coded, 4x4 (or missing)
    kTraitQuiet = 7,         // weighted or flat without a coded residual
    kTraitModeRight = 8,     // 4 bits, the mode seen from the right (its top right 4x4 block)
    kTraitModeBelow = 12,    // 4 bits, the mode seen from below (its bottom left 4x4 block)
};

// What a neighbour past the picture's edge shows.
constexpr uint32_t kEdgeTraits = 1u << kTraitWeighted | 3u << kTraitFlatOffset | 1u << kTraitCoded |
                                 uint32_t(IntraNone) << kTraitModeRight |
                                 uint32_t(IntraNone) << kTraitModeBelow;

// Quadrant q's traits from its record, once its syntax is read.
uint16_t quadrantTraits(const MacroblockInfo* info, int32_t q);

// The traits of a quadrant's neighbours (kEdgeTraits where there is none) and its position,
// from which its syntax takes its contexts, each where it is needed: the same values as the
// functions above, all valid before the quadrant's first bin (its own blocks are never its
// neighbours).
struct QuadrantNeighbours {
    uint32_t left;
    uint32_t above;
    int32_t x;
    int32_t y;
};

inline int32_t traitField(uint32_t traits, QuadrantTrait first, uint32_t bits) {
    return int32_t((traits >> first) & ((1u << bits) - 1));
}

// The left neighbour's field plus aboveWeight times the one above.
inline int32_t traitPair(const QuadrantNeighbours& n, QuadrantTrait first, uint32_t bits,
                         int32_t aboveWeight) {
    return traitField(n.left, first, bits) + aboveWeight * traitField(n.above, first, bits);
}

inline bool isFlatQuadrant(const QuadrantNeighbours& n) {  // as isFlatQuadrant
    return n.x >= 8 && n.y >= 8 && traitField(n.left & n.above, kTraitQuiet, 1) != 0;
}
inline int32_t typeFirstContext(const QuadrantNeighbours& n) {  // as blockTypeContexts
    return traitPair(n, kTraitWeighted, 1, 2);
}
inline int32_t typeSecondContext(const QuadrantNeighbours& n) {
    return 4 + traitPair(n, kTraitSmall, 2, 3);
}
inline int32_t predictLumaMode(const QuadrantNeighbours& n) {
    if (n.x == 0 || n.y == 0) return IntraDC;
    return predictedMode(traitField(n.above, kTraitModeBelow, 4),
                         traitField(n.left, kTraitModeRight, 4));
}
inline int32_t modeFirstContext8x8(const QuadrantNeighbours& n) {
    return traitPair(n, kTraitPredicted8x8, 1, 2);
}
inline int32_t flatOffsetContext(const QuadrantNeighbours& n) {
    return traitPair(n, kTraitFlatOffset, 2, 4);
}
inline int32_t codedQuadrantContext(const QuadrantNeighbours& n) {
    return traitPair(n, kTraitCoded, 1, 2);
}

// The same for a 4x4 block, valid once the blocks before it are decoded.
struct Block4x4Contexts {
    int32_t predicted;  // predictLumaMode
    int32_t modeFirst;  // modeFirstContext4x4
    int32_t coded;      // coded4x4Context
};
Block4x4Contexts block4x4Contexts(DecoderContext* context, int32_t x, int32_t y);
// The same from the records of the block's macroblock and of the macroblocks to its left and
// above (null past the picture's edge).
Block4x4Contexts block4x4Contexts(const MacroblockInfo* info, const MacroblockInfo* left,
                                  const MacroblockInfo* above, int32_t x, int32_t y);

}  // namespace xqob
