// Luma intra prediction of 4x4 blocks and 8x8 quadrants; neighbour presence comes from the
// decoding order and the right edge of the padded plane.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

void predictIntraLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t mode);
void predictIntraLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t mode);

}  // namespace xqob
