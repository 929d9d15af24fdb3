// Dequantise, inverse-transform, add the named prediction candidate, clip and store.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

// The dequantisation factors must be set up (setUpDequantFactors). coded false says the
// coefficient block is all zero, which stores the candidate without reading the block.
void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        bool coded = true);
void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted, bool coded = true);
void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb, bool codedCr = true, bool codedCb = true);

}  // namespace xqob
