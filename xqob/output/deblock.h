// The deblocking filter over block edges of the luma plane, then of both chroma planes.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

// Rows by strength index (qualityIndex >> 1); rows 0..21 are zero and filter nothing.
// Columns: step limit, outer limit, delta clip, outer clip. A step limit of 256 lets every
// line pass, so the table is wider than a byte.
extern const uint16_t lumaDeblockTable[51][4];
// Rows by strength index (chromaQuantiser >> 1); rows 0..17 are zero and filter nothing.
// Columns: step limit, flatness limit, delta clip.
extern const uint8_t chromaDeblockTable[41][3];

// The luma pass over every macroblock, then (for a colour picture) the chroma pass over every
// 8x8 chroma block position. In place; allocates nothing.
void deblockPicture(DecoderContext* context);

// One row of macroblocks (luma rows y..y+15) or of chroma blocks (chroma rows y..y+7), in
// the order of the whole-plane pass. Filtering a row changes the two sample rows above it and
// all but its last two rows' final values depend on nothing below; so once the row below has
// been reconstructed (its prediction reads this row's last samples unfiltered), the row can be
// filtered, and the result equals that of filtering the whole plane after reconstruction.
void deblockLumaRow(DecoderContext* context, int32_t y);
void deblockChromaRow(DecoderContext* context, int32_t y);

// direction 0: vertical edge at column x + 4 * edge, rows y..y+7; 1: horizontal edge at
// row y + 4 * edge, columns x..x+7. Two segments: rows y..y+15 or columns x..x+15, the same
// as the segment at y (x) and then the one at y + 8 (x + 8). The edge must not lie on the
// plane's outer border.
void filterLumaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t edge, int32_t direction,
                    int32_t segments = 1);

// direction 0: vertical edge at column x, rows y..y+7; 1: horizontal edge at row y, columns
// x..x+7; in planeCr, then in planeCb. The edge must not lie on the plane's outer border.
void filterChromaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t direction);

}  // namespace xqob
