// Rate-distortion decisions for luma quadrants: for each kind the coding of lowest
// distortion + lambda * estimated bits, found by trial reconstruction with the decoder's own
// prediction and reconstruction. Trials leave the records and the real
// candidate buffers as they found them; only the quadrant's own samples in planeY change,
// and the commit that follows rewrites them.
#pragma once

#include <cstdint>

#include "xqob/encoder/encoder_state.h"

namespace xqob {

struct QuadrantChoice {
    int32_t type = Intra8x8;
    int32_t mode = 2;  // the 8x8 mode, or the offset selector of a Flat quadrant
    int32_t levels[64] = {};
    int32_t modes4x4[4] = {};  // in coding order: top-left, top-right, bottom-left, bottom-right
    int32_t levels4x4[4][16] = {};
    float cost = 0;
    // The 8x8 modes that predicted best (bit per mode): the 4x4 search starts from them.
    uint16_t promisingModes = 0x1FF;
};

// A Flat quadrant: its offset selector and weighted residual.
void chooseFlatQuadrant(EncoderState* state, int32_t qx, int32_t qy, QuadrantChoice* choice);

// The best Intra8x8 and the best Intra8x8Weighted coding of the quadrant.
void chooseIntra8x8Quadrant(EncoderState* state, int32_t qx, int32_t qy, QuadrantChoice* uniform,
                            QuadrantChoice* weighted);

// The best Intra4x4 coding, block by block, each block trying the modes in promisingModes
// and its predicted mode. Gives up, with an infinite cost, once the cost passes bound.
void chooseIntra4x4Quadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy, float bound, uint16_t promisingModes,
                            QuadrantChoice* choice);

// The whole luma plane, macroblocks in raster order, decided and written.
void encodeLumaPlane(EncoderState* state);

}  // namespace xqob
