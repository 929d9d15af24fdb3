#include "xqob/entropy/residual.h"

#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/residual_bins.h"

namespace xqob {

// Raster position of each scan position, one row per 4x4 intra mode. Every row starts at 0
// and ends at 15; rows 3 and 4, 5 and 7, 6 and 8 are equal.
const uint8_t scan4x4[9][16] = {
    {0, 1, 2, 4, 5, 3, 6, 8, 9, 7, 10, 12, 13, 14, 11, 15},
    {0, 4, 8, 1, 5, 12, 9, 2, 6, 13, 10, 3, 7, 11, 14, 15},
    {0, 1, 4, 5, 8, 2, 9, 6, 12, 10, 3, 7, 13, 14, 11, 15},
    {0, 4, 1, 5, 8, 2, 9, 6, 10, 12, 3, 13, 7, 14, 11, 15},
    {0, 4, 1, 5, 8, 2, 9, 6, 10, 12, 3, 13, 7, 14, 11, 15},
    {0, 1, 4, 5, 2, 6, 8, 9, 3, 10, 7, 12, 13, 11, 14, 15},
    {0, 4, 1, 8, 5, 9, 2, 12, 6, 10, 3, 13, 7, 14, 11, 15},
    {0, 1, 4, 5, 2, 6, 8, 9, 3, 10, 7, 12, 13, 11, 14, 15},
    {0, 4, 1, 8, 5, 9, 2, 12, 6, 10, 3, 13, 7, 14, 11, 15},
};

// The conventional 8x8 zigzag, for luma 8x8 and chroma blocks.
const uint8_t zigzag8x8[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Significance model of each luma 8x8 scan position at low quantisers (15 models).
const uint8_t sigContext8x8[63] = {
    0,  1,  2,  3,  4,  5,  5,  4, 4,  3,  3,  4,  4,  4,  5,  5,   //
    4,  4,  4,  4,  3,  3,  6,  7, 7,  7,  8,  9,  10, 9,  8,  7,   //
    7,  6,  11, 12, 13, 11, 6,  7, 8,  9,  14, 10, 9,  8,  6,  11,  //
    12, 13, 11, 6,  9,  14, 10, 9, 11, 12, 13, 11, 14, 10, 12,
};

// Last-flag model of each 8x8 scan position (9 models), luma and chroma alike.
const uint8_t lastContext8x8[63] = {
    0,                                               //
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,     // 1..15
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // 16..31
    3, 3, 3, 3, 3, 3, 3, 3,                          // 32..39
    4, 4, 4, 4, 4, 4, 4, 4,                          // 40..47
    5, 5, 5, 5,                                      // 48..51
    6, 6, 6, 6,                                      // 52..55
    7, 7, 7, 7,                                      // 56..59
    8, 8, 8,                                         // 60..62
};

// For the kinds whose every scan position has a model of its own.
const uint8_t identityMap[64] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,
};

void decodeResidual(ArithState* state, const ResidualKind& kind, int32_t* coefficients) {
    decodeResidualBins(state, kind, coefficients);
}

void decodeResidual(DecoderContext* context, const ResidualKind& kind, int32_t* coefficients) {
    if (context->entropyPath == EntropyPath::plain) {
        decodeResidualBins(context, kind, coefficients);
        return;
    }
    ArithState state = loadArithState(context);
    decodeResidualBins(&state, kind, coefficients);
    storeArithState(state);
}

void decodeResidual4x4(DecoderContext* context, int32_t* coefficients, int32_t mode) {
    decodeResidual(context, residualKind4x4(context, mode), coefficients);
}

void decodeResidual8x8(DecoderContext* context, int32_t lumaQuantiser, int32_t* coefficients) {
    decodeResidual(context, residualKind8x8(context, lumaQuantiser), coefficients);
}

void decodeResidualChroma(DecoderContext* context, int32_t* coefficients) {
    decodeResidual(context, residualKindChroma(context), coefficients);
}

}  // namespace xqob
