// The two plane loops: every luma macroblock, then every chroma block position, in raster
// order, reading syntax, predicting and reconstructing block by block.
#pragma once

#include "xqob/decoder/decoder_context.h"

namespace xqob {

// Also allocates the prediction candidates and coefficient blocks both loops use.
void decodeLumaPlane(DecoderContext* context);
void decodeChromaPlane(DecoderContext* context);

// One row of the loops: the macroblocks at luma rows y..y+15, or the chroma block positions
// at chroma rows y..y+7. Rows must come in order, the luma plane's before the chroma
// plane's, with the working buffers allocated.
void decodeLumaRow(DecoderContext* context, int32_t y);
void decodeChromaRow(DecoderContext* context, int32_t y);

}  // namespace xqob
