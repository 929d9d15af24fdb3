// The two plane loops: every luma macroblock, then every chroma block position, in raster
// order, reading syntax, predicting and reconstructing block by block.
#pragma once

#include "xqob/base/decoder_context.h"
#include "xqob/entropy/block_syntax.h"

namespace xqob {

// Also allocates the prediction candidates and coefficient blocks both loops use.
void decodeLumaPlane(DecoderContext* context);
void decodeChromaPlane(DecoderContext* context);

// One row of the loops: the macroblocks at luma rows y..y+15, or the chroma block positions
// at chroma rows y..y+7. Rows must come in order, the luma plane's before the chroma
// plane's, with the working buffers allocated.
void decodeLumaRow(DecoderContext* context, int32_t y);
void decodeChromaRow(DecoderContext* context, int32_t y);

// The same rows in two halves, for a decode that reads the syntax ahead on another thread:
// the syntax of every block of the row into the records and levels[0..] (one record per
// macroblock or chroma block position, left to right), then the reconstruction from them.
// Each half keeps the order of the rows above; the records of a row must be complete before
// its reconstruction starts.
void decodeLumaRowSyntax(DecoderContext* context, int32_t y, MacroblockLevels* levels);
void reconstructLumaRow(DecoderContext* context, int32_t y, const MacroblockLevels* levels);
void decodeChromaRowSyntax(DecoderContext* context, int32_t y, ChromaLevels* levels);
void reconstructChromaRow(DecoderContext* context, int32_t y, const ChromaLevels* levels);

}  // namespace xqob
