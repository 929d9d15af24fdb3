// Block-level syntax of the chroma planes. (x, y) is the chroma position of the block's
// top-left sample; one ChromaBlockInfo record serves the Cr and the Cb block there.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

int32_t predictChromaMode(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeChromaMode(DecoderContext* context, int32_t x, int32_t y);
void decodeChromaFlatOffsets(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCr(DecoderContext* context, int32_t x, int32_t y);
int32_t decodeCodedCb(DecoderContext* context, int32_t codedCr);

// The model indices the readers above choose, for writers that must pick the same models.
int32_t chromaModeFirstContext(DecoderContext* context, int32_t x, int32_t y);  // 0..3
// Cr selector bins in chromaFlatOffsetModels[cr] and [16 + cr], Cb ones in [32 + cb] and
// [48 + cb]; cr and cb are 0..15. Both neighbours must exist (x >= 8, y >= 8).
void chromaFlatOffsetContexts(DecoderContext* context, int32_t x, int32_t y, int32_t* cr,
                              int32_t* cb);
int32_t codedCrContext(DecoderContext* context, int32_t x, int32_t y);  // 0..3

}  // namespace xqob
