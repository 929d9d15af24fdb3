// All the syntax of one luma macroblock or one chroma block position in one pass, with the
// arithmetic decoder's registers in locals: block types, modes, flat offsets and coded flags
// go into the block records, the residual levels of the coded blocks into a small record.
// Reconstruction needs nothing else, and the syntax never depends on reconstructed samples,
// so the two can run apart.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

// The levels of the coded blocks of one macroblock, raster order within each block: quadrant
// q's 8x8 block in block[q], or its four 4x4 blocks (top-left, top-right, bottom-left,
// bottom-right) at block[q] + 16 * i. Only the blocks whose coded bit is set are written.
struct MacroblockLevels {
    int32_t block[4][64];
};

struct ChromaLevels {
    int32_t cr[64];
    int32_t cb[64];
};

// Whether this processor runs path, and the fastest path it runs (set once per decode in
// the context's entropyPath).
bool entropyPathRuns(EntropyPath path);
EntropyPath bestEntropyPath();

// (x, y): the macroblock's top-left luma sample. Clears the record's masks and fills it.
void decodeMacroblockSyntax(DecoderContext* context, MacroblockInfo* info, int32_t x, int32_t y,
                            MacroblockLevels* levels);

// (x, y): the chroma block's top-left sample. Fills the whole record.
void decodeChromaBlockSyntax(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y,
                             ChromaLevels* levels);

// The whole picture's syntax without reconstruction (for measuring the entropy decoding on
// its own): every macroblock, then every chroma block unless the picture is gray.
void decodePictureSyntax(DecoderContext* context);

}  // namespace xqob
