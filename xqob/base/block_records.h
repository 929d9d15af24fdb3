// What the plane loops record about every decoded block, for the context selection of later
// blocks, the inference of Flat blocks, neighbour presence and the deblocking filter.
#pragma once

#include <cstdint>

namespace xqob {

// Code of a luma quadrant or chroma block. Codes 0, 1 and 4 never occur; chroma uses 3 and 6.
enum BlockType : int8_t {
    Intra4x4 = 2,          // four 4x4 intra blocks
    Intra8x8 = 3,          // one 8x8 intra block, uniform dequantisation
    Intra8x8Weighted = 5,  // one 8x8 intra block, frequency-weighted dequantisation
    Flat = 6,              // inferred from the neighbours: mean prediction plus a coded offset
};

// One per 16x16 macroblock, raster order. Quadrant q = 2 * row + column of the 8x8 quadrant;
// 4x4 block k = 4 * row + column of the 4x4 block inside the macroblock.
struct MacroblockInfo {
    int8_t blockType[4];
    int8_t mode4x4[16];
    int8_t mode8x8[4];
    int8_t flatOffset[4];       // 0: the mean, 1: the mean - 1, 2: the mean + 1
    uint16_t mode4x4Predicted;  // bit k: block k's mode was coded as the predicted one
    uint8_t mode8x8Predicted;   // bit q: quadrant q's mode was coded as the predicted one
    uint16_t coded4x4;          // bit k: block k has a coded residual
    uint8_t codedQuadrants;     // bit q: quadrant q (types 3, 5, 6) has a coded residual
    // What quadrant q shows the quadrants to its right and below, for their contexts, as the
    // decoder's syntax loop packs it once the quadrant's syntax is read (quadrantTraits).
    uint16_t quadrantTraits[4];
};

// One per 8x8 chroma position, shared by the Cr and the Cb block there.
struct ChromaBlockInfo {
    int8_t blockType;  // Intra8x8 or Flat
    int8_t flatOffsetCr;
    int8_t flatOffsetCb;
    int8_t mode;
    int8_t modePredicted;  // always 0 in a Flat block
    int8_t codedCr;
    int8_t codedCb;
};

// Record addressing. Positions are never negative: callers test x = 0 and y = 0 before
// looking left or up. So the divisions and remainders by powers of two are shifts and masks
// (a signed division would first correct for a negative operand).
inline int32_t macroblockIndex(int32_t px, int32_t py, int32_t paddedWidth) {
    return (py >> 4) * (paddedWidth >> 4) + (px >> 4);
}
inline int32_t quadrantIndex(int32_t px, int32_t py) {
    return ((py >> 2) & 2) | ((px >> 3) & 1);
}
inline int32_t blockIndex4x4(int32_t px, int32_t py) {
    return (py & 12) | ((px >> 2) & 3);
}
inline int32_t chromaBlockIndex(int32_t px, int32_t py, int32_t chromaWidth) {
    return (py >> 3) * (chromaWidth >> 3) + (px >> 3);
}

}  // namespace xqob
