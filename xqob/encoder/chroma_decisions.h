// Rate-distortion decisions for chroma blocks, Cr and Cb together at each position: the
// shared mode of an Intra8x8 block, or the two offset selectors of an inferred Flat one,
// and each plane's residual. Trials leave the records and real candidate buffers alone.
#pragma once

#include <cstdint>

#include "xqob/encoder/block_commit.h"
#include "xqob/encoder/encoder_state.h"

namespace xqob {

void chooseChromaBlock(EncoderState* state, int32_t x, int32_t y, ChromaChoice* choice);

// Both chroma planes, block positions in raster order, decided and written.
void encodeChromaPlane(EncoderState* state);

}  // namespace xqob
