// The two plane loops: every luma macroblock, then every chroma block position, in raster
// order, reading syntax, predicting and reconstructing block by block.
#pragma once

#include "xqob/decoder/decoder_context.h"

namespace xqob {

// Also allocates the prediction candidates and coefficient blocks both loops use.
void decodeLumaPlane(DecoderContext* context);
void decodeChromaPlane(DecoderContext* context);

}  // namespace xqob
