// Block-level syntax of the chroma planes. (x, y) is the chroma position of the block's
// top-left sample; one ChromaBlockInfo record serves the Cr and the Cb block there.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

int32_t predictChromaMode(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeChromaMode(DecoderContext* context, int32_t x, int32_t y);
void decodeChromaFlatOffsets(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCr(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCb(DecoderContext* context, int32_t codedCr);

}  // namespace xqob
