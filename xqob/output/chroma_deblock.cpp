#include "xqob/dsp/dsp.h"
#include "xqob/output/deblock.h"
#include "xqob/output/deblock_line.h"

namespace xqob {

const uint8_t chromaDeblockTable[41][3] = {
    {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},
    {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},
    {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 0, 0},  {0, 1, 1},  {0, 1, 1},  {0, 1, 1},
    {0, 1, 1},  {0, 1, 1},  {8, 1, 1},  {8, 1, 1},  {11, 1, 1}, {11, 1, 1}, {11, 1, 2},
    {11, 2, 2}, {11, 2, 2}, {11, 2, 3}, {11, 2, 3}, {11, 2, 3}, {11, 2, 4}, {11, 3, 4},
    {11, 3, 5}, {15, 3, 6}, {15, 3, 7}, {19, 4, 8}, {19, 4, 8}, {22, 4, 9},
};

void filterChromaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t direction) {
    const int32_t index = context->chromaQuantiser >> 1;
    if (index <= 17) return;
    const uint8_t* limits = chromaDeblockTable[index];
    const DspFunctions& dsp = context->dsp != nullptr ? *context->dsp : referenceDsp;
    const EdgeSegment cr =
        edgeSegment(context->planeCr, context->chromaWidth, x, y - context->chromaTop, direction);
    const EdgeSegment cb =
        edgeSegment(context->planeCb, context->chromaWidth, x, y - context->chromaTop, direction);
    dsp.filterChromaSegments(cr.first, cb.first, cr.along, cr.across, limits);
}

}  // namespace xqob
