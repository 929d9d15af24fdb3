// The residual bins of one block, as a template over the decoder (the plain DecoderContext
// or the register copy ArithState) so that a syntax loop can inline it and keep its
// registers.
#pragma once

#include <cstdint>

#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/residual.h"

namespace xqob {

// D is the plain decoder (DecoderContext) or the register copy (ArithState).
template <typename D>
XQOB_ALWAYS_INLINE void decodeResidualBins(D* decoder, const ResidualKind& kind,
                                           int32_t* coefficients) {
    // The significant scan positions in forward order, so that the level pass visits only
    // them. The map ends at the first last bin of 1; a map that runs through position
    // size - 2 without one makes the final position significant without a bin of its own.
    uint8_t significant[64];
    int32_t count = 0;
    const int32_t last = kind.size - 1;
    int32_t pos = 0;
    for (; pos < last; ++pos) {
        BitModel* sig = kind.sigModels + kind.sigMap[pos];
        if (decodeBit(decoder, sig) == 0) continue;
        significant[count++] = uint8_t(pos);
        BitModel* end = kind.lastModels + kind.lastMap[pos];
        if (decodeBit(decoder, end) != 0) break;
    }
    if (pos == last) significant[count++] = uint8_t(last);

    int32_t eq1Count = 0;
    int32_t gt1Count = 0;
    while (count > 0) {
        pos = significant[--count];
        const int32_t negative = decodeEquiprobable(decoder);
        int32_t level = 1;
        if (decodeBit(decoder, kind.levelFirstModels + levelFirstIndex(eq1Count, gt1Count))) {
            // Every further bin of one coefficient uses the model chosen before this
            // coefficient counts; at the cap one more bin is read and ignored.
            BitModel* rest = kind.levelRestModels + gt1Count;
            do {
                ++level;
            } while (decodeBit(decoder, rest) != 0 && level < kind.cap);
        }
        countLevel(level, &eq1Count, &gt1Count);
        coefficients[kind.scan[pos]] = (level ^ -negative) + negative;  // -level if negative
    }
}

}  // namespace xqob
