// Flat blocks: the mean of the 16 bordering samples, and the mean - 1 and + 1, written into
// candidates 0, 1 and 2.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

void predictFlatLuma(DecoderContext* context, int32_t x, int32_t y);
void predictFlatChroma(DecoderContext* context, int32_t x, int32_t y);

}  // namespace xqob
