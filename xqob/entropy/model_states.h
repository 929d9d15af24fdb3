// The counts of a BitModel as one state number. Every pair total 2..99, ones 1..total - 1
// has a number, in order of total then ones; per number the table holds what a bin needs:
// the split factor and the state after a 0 and after a 1, the halving at 100 folded in.
// A bin then updates its model with one load and one store, and never branches on the
// halving.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

constexpr uint32_t kModelTotalLimit = 100;  // the total at which both counts are halved
constexpr int32_t kModelStateCount = 4851;  // the pairs with total 2..99

constexpr uint16_t modelStateOf(uint32_t total, uint32_t ones) {
    return uint16_t((total - 1) * (total - 2) / 2 + ones - 1);
}

// The count update of one bin: add the bin, then halve both counts, rounding up, once
// total reaches the limit (zeros taken before halving).
constexpr void countBin(uint32_t* total, uint32_t* ones, int32_t bin) {
    *ones += static_cast<uint32_t>(bin);
    *total += 1;
    if (*total >= kModelTotalLimit) {
        const uint32_t zeros = *total - *ones;
        *ones = (*ones + 1) / 2;
        *total = (zeros + 1) / 2 + *ones;
    }
}

// ceil(2^30 / total) for total 1..100, so that the division of a split becomes a
// multiplication: with reciprocal * total = 2^30 + e, 0 <= e < total, x * reciprocal / 2^30
// exceeds x / total by x * e / (total * 2^30) < x / 2^30, below 1/128 for x below 2^23;
// x / total lies at least 1/total >= 1/99 below the next integer, so the floor is the same.
constexpr uint32_t reciprocalOf(uint32_t total) {
    return uint32_t(((uint64_t{1} << 30) + total - 1) / total);
}

struct ModelState {
    uint32_t scale;    // ones * ceil(2^30 / total): range * scale >> 30 is range * ones / total
    uint16_t next[2];  // after a 0, after a 1
};

struct ModelStateTable {
    ModelState state[kModelStateCount];
    uint8_t total[kModelStateCount];
    uint8_t ones[kModelStateCount];
};

constexpr ModelStateTable makeModelStates() {
    ModelStateTable table{};
    for (uint32_t total = 2; total < kModelTotalLimit; ++total) {
        for (uint32_t ones = 1; ones < total; ++ones) {
            const uint16_t s = modelStateOf(total, ones);
            table.total[s] = uint8_t(total);
            table.ones[s] = uint8_t(ones);
            table.state[s].scale = ones * reciprocalOf(total);
            for (int32_t bin = 0; bin < 2; ++bin) {
                uint32_t t = total;
                uint32_t o = ones;
                countBin(&t, &o, bin);
                table.state[s].next[bin] = modelStateOf(t, o);
            }
        }
    }
    return table;
}

inline constexpr ModelStateTable kModelStates = makeModelStates();

inline uint32_t modelTotal(const BitModel& model) {
    return kModelStates.total[model.state];
}
inline uint32_t modelOnes(const BitModel& model) {
    return kModelStates.ones[model.state];
}
// total 2..99, ones 1..total - 1.
constexpr BitModel makeModel(uint32_t total, uint32_t ones) {
    return BitModel{modelStateOf(total, ones)};
}

inline void updateModel(BitModel* model, int32_t bin) {
    model->state = kModelStates.state[model->state].next[bin];
}

}  // namespace xqob
