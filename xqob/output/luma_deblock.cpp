#include "xqob/dsp/dsp.h"
#include "xqob/output/deblock.h"
#include "xqob/output/deblock_line.h"

namespace xqob {

const uint16_t lumaDeblockTable[51][4] = {
    {0, 0, 0, 0},     {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},
    {0, 0, 0, 0},     {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},
    {0, 0, 0, 0},     {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},
    {0, 0, 0, 0},     {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},    {0, 0, 0, 0},
    {0, 0, 0, 0},     {0, 0, 0, 0},    {13, 0, 1, 0},   {17, 0, 1, 0},   {21, 0, 1, 0},
    {25, 0, 1, 0},    {29, 0, 1, 0},   {35, 0, 1, 0},   {41, 0, 1, 0},   {44, 1, 1, 0},
    {44, 1, 1, 0},    {47, 4, 1, 0},   {37, 1, 2, 0},   {47, 1, 2, 0},   {49, 1, 2, 0},
    {61, 3, 2, 1},    {53, 6, 2, 1},   {50, 3, 3, 1},   {56, 6, 3, 1},   {62, 7, 3, 1},
    {65, 9, 3, 1},    {256, 9, 4, 1},  {256, 9, 4, 1},  {256, 9, 5, 1},  {256, 12, 5, 1},
    {256, 12, 6, 1},  {256, 12, 7, 1}, {256, 13, 8, 2}, {256, 15, 9, 2}, {256, 17, 10, 2},
    {256, 20, 13, 2},
};

void filterLumaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t edge, int32_t direction,
                    int32_t segments) {
    const int32_t index = context->qualityIndex >> 1;
    if (index < 22) return;
    const int32_t ex = direction == 0 ? x + 4 * edge : x;
    const int32_t ey = direction == 0 ? y : y + 4 * edge;
    const EdgeSegment segment =
        edgeSegment(context->planeY, context->paddedWidth, ex, ey - context->lumaTop, direction);
    const DspFunctions& dsp = context->dsp != nullptr ? *context->dsp : referenceDsp;
    const uint16_t* limits = lumaDeblockTable[index];
    if (segments == 2) {
        dsp.filterLumaSegmentPair(segment.first, segment.along, segment.across, limits);
    } else {
        dsp.filterLumaSegment(segment.first, segment.along, segment.across, limits);
    }
}

}  // namespace xqob
