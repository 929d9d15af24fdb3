// The deblocking filter over block edges of the luma plane, then of both chroma planes.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

extern const uint8_t lumaDeblockTable[51][4];    // step limit, outer limit, delta clip, outer clip
extern const uint8_t chromaDeblockTable[41][3];  // step limit, flatness limit, delta clip

void deblockPicture(DecoderContext* context);
// direction 0: vertical edge at column x + 4 * edge, rows y..y+7; 1: horizontal edge at
// row y + 4 * edge, columns x..x+7.
void filterLumaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t edge, int32_t direction);
// direction 0: vertical edge at column x, rows y..y+7; 1: horizontal edge at row y.
void filterChromaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t direction);

}  // namespace xqob
