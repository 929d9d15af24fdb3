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

namespace {

// One line p2 p1 p0 | q0 q1 q2 across the edge; s points at q0. A small step between flat
// sides becomes a ramp from p2 to q2; every other line gets a clipped correction of p0 and q0.
void filterChromaLine(uint8_t* s, ptrdiff_t across, const uint8_t* limits) {
    const int32_t stepLimit = limits[0];
    const int32_t flatLimit = limits[1];
    const int32_t clip = limits[2];
    const int32_t p2 = s[-3 * across], p1 = s[-2 * across], p0 = s[-across];
    const int32_t q0 = s[0], q1 = s[across], q2 = s[2 * across];
    if (absolute(p0 - q0) < stepLimit && absolute(p0 - p2) < flatLimit &&
        absolute(p1 - p2) < flatLimit && absolute(q0 - q2) < flatLimit &&
        absolute(q1 - q2) < flatLimit) {
        // The ramp stays between p2 and q2, so within 0..255.
        const int32_t d = q2 - p2;
        s[-2 * across] = static_cast<uint8_t>(p2 + ((d + 2) >> 2));
        s[-across] = static_cast<uint8_t>(p2 + ((2 * d + 2) >> 2));
        s[0] = static_cast<uint8_t>(q2 - ((2 * d + 2) >> 2));
        s[across] = static_cast<uint8_t>(q2 - ((d + 2) >> 2));
        return;
    }
    const int32_t delta = clipRange(-clip, clip, (16 * (q0 - p0) + 5 * (p1 - q1) + 16) >> 5);
    s[-across] = clipSample(p0 + delta);
    s[0] = clipSample(q0 - delta);
}

void filterChromaSegment(uint8_t* plane, int32_t stride, int32_t x, int32_t y, int32_t direction,
                         const uint8_t* limits) {
    const EdgeSegment segment = edgeSegment(plane, stride, x, y, direction);
    for (int32_t line = 0; line < 8; ++line) {
        filterChromaLine(segment.first + line * segment.along, segment.across, limits);
    }
}

}  // namespace

void filterChromaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t direction) {
    const int32_t index = context->chromaQuantiser >> 1;
    if (index <= 17) return;
    const uint8_t* limits = chromaDeblockTable[index];
    filterChromaSegment(context->planeCr, context->chromaWidth, x, y, direction, limits);
    filterChromaSegment(context->planeCb, context->chromaWidth, x, y, direction, limits);
}

}  // namespace xqob
