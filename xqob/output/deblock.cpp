#include "xqob/output/deblock.h"

namespace xqob {

namespace {

// Inner 4x4 edges are filtered only in the halves that belong to an Intra4x4 quadrant; the
// edges at offsets 0 and 8 always, except on the plane's outer border. Every segment reads
// samples that earlier segments changed, so the order is part of the result: all vertical
// edges of the macroblock left to right, then all horizontal ones top to bottom.
void deblockMacroblock(DecoderContext* context, int32_t x, int32_t y, const MacroblockInfo& info) {
    bool intra4x4[4];
    for (int32_t q = 0; q < 4; ++q) intra4x4[q] = info.blockType[q] == Intra4x4;
    // [edge][segment]: segment 0 is the top (left) half, 1 the bottom (right) half.
    const bool vertical[4][2] = {
        {x > 0, x > 0}, {intra4x4[0], intra4x4[2]}, {true, true}, {intra4x4[1], intra4x4[3]}};
    const bool horizontal[4][2] = {
        {y > 0, y > 0}, {intra4x4[0], intra4x4[1]}, {true, true}, {intra4x4[2], intra4x4[3]}};
    // The two halves of an edge touch different lines, so where both are filtered they go
    // through the 16-line kernel in one call.
    for (int32_t edge = 0; edge < 4; ++edge) {
        if (vertical[edge][0] && vertical[edge][1]) {
            filterLumaEdge(context, x, y, edge, 0, 2);
        } else {
            if (vertical[edge][0]) filterLumaEdge(context, x, y, edge, 0);
            if (vertical[edge][1]) filterLumaEdge(context, x, y + 8, edge, 0);
        }
    }
    for (int32_t edge = 0; edge < 4; ++edge) {
        if (horizontal[edge][0] && horizontal[edge][1]) {
            filterLumaEdge(context, x, y, edge, 1, 2);
        } else {
            if (horizontal[edge][0]) filterLumaEdge(context, x, y, edge, 1);
            if (horizontal[edge][1]) filterLumaEdge(context, x + 8, y, edge, 1);
        }
    }
}

}  // namespace

void deblockLumaRow(DecoderContext* context, int32_t y) {
    if ((context->qualityIndex >> 1) < 22) return;
    const int32_t macroblocksPerRow = context->paddedWidth / 16;
    const MacroblockInfo* info = context->macroblockInfo + (y / 16) * macroblocksPerRow;
    for (int32_t x = 0; x < context->paddedWidth; x += 16)
        deblockMacroblock(context, x, y, *info++);
}

// Each block's left edge, then its top edge, blocks in raster order; block types play no part.
void deblockChromaRow(DecoderContext* context, int32_t y) {
    if ((context->chromaQuantiser >> 1) <= 17) return;
    for (int32_t x = 0; x < context->chromaWidth; x += 8) {
        if (x > 0) filterChromaEdge(context, x, y, 0);
        if (y > 0) filterChromaEdge(context, x, y, 1);
    }
}

void deblockPicture(DecoderContext* context) {
    for (int32_t y = 0; y < context->paddedHeight; y += 16) deblockLumaRow(context, y);
    // The chroma planes of a gray picture are never output.
    if (context->gray) return;
    for (int32_t y = 0; y < context->chromaHeight; y += 8) deblockChromaRow(context, y);
}

}  // namespace xqob
