// Chroma intra prediction of the Cr and Cb blocks at one position; presence by position only.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

void predictIntraChroma(DecoderContext* context, int32_t x, int32_t y, int32_t mode);

}  // namespace xqob
