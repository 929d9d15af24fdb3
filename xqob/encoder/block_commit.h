// Writing a decided block: its syntax through the writers, then the same prediction and
// reconstruction calls, in the same order, that the decoder makes when it reads that
// syntax, so that the encoder's planes, records and candidate buffers stay the decoder's.
#pragma once

#include <cstdint>

#include "xqob/encoder/encoder_state.h"

namespace xqob {

struct ChromaChoice {
    bool flat = false;
    int32_t mode = 2;        // Intra8x8 blocks
    int32_t selectorCr = 0;  // Flat blocks
    int32_t selectorCb = 0;
    int32_t levelsCr[64] = {};
    int32_t levelsCb[64] = {};
};

bool anyLevel(const int32_t* levels, int32_t count);

// Luma quadrant q of the macroblock record info at (qx, qy). levels are raster order; all
// zero means no coded residual.
void commitFlatQuadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy, int32_t selector, const int32_t* levels);
void commitIntra8x8Quadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy, int32_t type, int32_t mode, const int32_t* levels);
// An Intra4x4 quadrant: its type, then each of its four blocks in order.
void commitIntra4x4Type(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy);
void commitIntra4x4Block(EncoderState* state, MacroblockInfo* info, int32_t bx, int32_t by,
                         int32_t mode, const int32_t* levels);

// Flat when the blocks above-left, above and left have no coded residual in either plane.
bool isFlatChromaBlock(const DecoderContext* context, int32_t x, int32_t y);
// choice.flat must equal isFlatChromaBlock at (x, y).
void commitChromaBlock(EncoderState* state, ChromaBlockInfo* info, int32_t x, int32_t y,
                       const ChromaChoice& choice);

}  // namespace xqob
