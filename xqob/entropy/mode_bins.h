// The intra-mode binarisation shared by 8x8 and 4x4 luma blocks and by chroma blocks: one bin
// that says "the predicted mode", else three bins of the remaining mode. The model array has
// 0..3 for the first bin (by neighbour context) and 4..12, 13..21, 22..30 for the three
// remainder bits, each set indexed by the predicted mode.
#pragma once

#include <cstdint>

#include "xqob/entropy/arith_decoder.h"

namespace xqob {

// The nine intra prediction modes of 4x4, 8x8 and chroma blocks, as coded; IntraNone stands
// for a Flat neighbour in the mode prediction, above every real mode.
enum IntraMode : int32_t {
    IntraVertical = 0,
    IntraHorizontal = 1,
    IntraDC = 2,
    IntraDiagonalDownLeft = 3,
    IntraDiagonalDownRight = 4,
    IntraVerticalRight = 5,
    IntraHorizontalDown = 6,
    IntraVerticalLeft = 7,
    IntraHorizontalUp = 8,
    IntraNone = 9,
};

// The smaller of the two neighbours' modes, DC when both are Flat.
inline int32_t predictedMode(int32_t above, int32_t left) {
    const int32_t smaller = above < left ? above : left;
    return smaller == IntraNone ? IntraDC : smaller;
}

// The remainder never names the predicted mode itself, so it needs only 8 values for the
// other 8 modes.
inline int32_t modeFromRemainder(int32_t remainder, int32_t predicted) {
    return remainder < predicted ? remainder : remainder + 1;
}
inline int32_t remainderFromMode(int32_t mode, int32_t predicted) {
    return mode < predicted ? mode : mode - 1;
}

// Reads one mode; *usedPrediction receives the first bin. Decoder is the plain decoder
// (DecoderContext) or the register copy (ArithState).
template <typename Decoder>
XQOB_ALWAYS_INLINE int32_t decodeIntraMode(Decoder* context, BitModel* models, int32_t firstContext,
                                           int32_t predicted, int32_t* usedPrediction) {
    *usedPrediction = decodeBit(context, models + firstContext);
    if (*usedPrediction != 0) return predicted;
    const int32_t b0 = decodeBit(context, models + 4 + predicted);
    const int32_t b1 = decodeBit(context, models + 13 + predicted);
    const int32_t b2 = decodeBit(context, models + 22 + predicted);
    return modeFromRemainder(b0 + 2 * b1 + 4 * b2, predicted);
}

}  // namespace xqob
