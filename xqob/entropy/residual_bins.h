// The residual bins of one block, as a template over the decoder (the plain DecoderContext
// or the register copy ArithState) so that a syntax loop can inline it and keep its
// registers.
#pragma once

#include <cstdint>

#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/residual.h"

namespace xqob {

// eq1Count and gt1Count of a block as one state, which a magnitude moves on through a table
// instead of through branches (whether a magnitude exceeds 1 is close to a coin toss for
// the predictor): states 0..3 while every magnitude so far was 1 (eq1Count), then 4..7 for
// gt1Count 1..4. The same counts as levelFirstIndex and countLevel, which the writer uses.
struct LevelCounts {
    uint8_t next[8][2];  // by state and whether the magnitude exceeds 1
    uint8_t first[8];    // levelFirstIndex
    uint8_t rest[8];     // gt1Count
};
inline constexpr LevelCounts kLevelCounts = {
    {{1, 4}, {2, 4}, {3, 4}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 7}},
    {0, 1, 2, 3, 4, 4, 4, 4},
    {0, 0, 0, 0, 1, 2, 3, 4},
};

// The model index of scan position pos, map[pos]: pos itself where the compiler sees that
// map is identityMap (a kind built inline), without a test where it cannot.
XQOB_ALWAYS_INLINE int32_t modelIndex(const uint8_t* map, int32_t pos) {
    if (__builtin_constant_p(map == identityMap) && map == identityMap) return pos;
    return map[pos];
}

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
        BitModel* sig = kind.sigModels + modelIndex(kind.sigMap, pos);
        if (decodeBit(decoder, sig) == 0) continue;
        significant[count++] = uint8_t(pos);
        BitModel* end = kind.lastModels + modelIndex(kind.lastMap, pos);
        if (decodeBit(decoder, end) != 0) break;
    }
    if (pos == last) significant[count++] = uint8_t(last);

    int32_t counts = 0;  // a state of kLevelCounts
    while (count > 0) {
        pos = significant[--count];
        const int32_t negative = decodeEquiprobable(decoder);
        int32_t level = 1;
        const int32_t greater =
            decodeBit(decoder, kind.levelFirstModels + kLevelCounts.first[counts]);
        if (greater) {
            // Every further bin of one coefficient uses the model chosen before this
            // coefficient counts; at the cap one more bin is read and ignored.
            BitModel* rest = kind.levelRestModels + kLevelCounts.rest[counts];
            do {
                ++level;
            } while (decodeBit(decoder, rest) != 0 && level < kind.cap);
        }
        counts = kLevelCounts.next[counts][greater];
        coefficients[kind.scan[pos]] = (level ^ -negative) + negative;  // -level if negative
    }
}

}  // namespace xqob
