// Dequantise, inverse-transform, add the named prediction candidate, clip and store.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate);
void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted);
void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb);

}  // namespace xqob
