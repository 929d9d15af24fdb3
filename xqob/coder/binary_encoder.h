// The writing side of the 16-bit binary arithmetic coder. It splits the interval exactly as
// the decoder does (split = low + range * ones / total, truncated; the lower sub-interval
// stands for 1) and adapts the same BitModel counts, so a payload written here decodes to
// the same bins with the models ending in the same state on both sides.
#pragma once

#include <cstdint>
#include <vector>

#include "xqob/base/decoder_context.h"

namespace xqob {

struct BinaryEncoder {
    int32_t low = 0;
    int32_t high = 65535;
    // Middle-half expansions whose bit is not known yet: each becomes the opposite of the
    // next bit that the lower-half or upper-half case emits.
    int64_t pending = 0;
    std::vector<uint8_t> bytes;
    uint32_t partial = 0;     // bits of the byte being assembled, most significant first
    int32_t partialBits = 0;  // 0..7
    int64_t bitsWritten = 0;  // bits emitted so far, not counting pending ones
    bool finished = false;
};

// One bin through model, which is updated exactly as the decoder updates it.
void encodeBit(BinaryEncoder* encoder, BitModel* model, int32_t bin);

// One bin with probability one half; no model.
void encodeEquiprobable(BinaryEncoder* encoder, int32_t bin);

// Ends the payload: emits the bits that pin the value inside the final interval, so that
// whatever follows the payload (padding, garbage, or the decoder's repeats past the end of
// the input) decodes to the same bins; pads to whole bytes and to at least 2 bytes. Returns
// the payload. No bin may be encoded afterwards.
const std::vector<uint8_t>& finishBinaryEncoder(BinaryEncoder* encoder);

// The size of the payload so far in bits, counting pending bits and the two bits that
// finishing would add: the exact cost of everything encoded up to now. After finishing,
// the size of the padded payload.
int64_t encodedBitCount(const BinaryEncoder* encoder);

// Estimated cost in bits of coding bin with model in its current state: -log2 of the
// probability the model gives that bin. It ignores the truncation of the split, which
// shifts the true cost by a small fraction of a bit (most for the rarest bin).
double binCost(const BitModel* model, int32_t bin);

// The cost of an equiprobable bin.
constexpr double kEquiprobableCost = 1.0;

}  // namespace xqob
