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

namespace {

// One line p2 p1 p0 | q0 q1 q2 across the edge; s points at q0. Only p1..q1 change.
void filterLumaLine(uint8_t* s, ptrdiff_t across, const uint16_t* limits) {
    const int32_t stepLimit = limits[0];
    const int32_t outerLimit = limits[1];
    const int32_t outerClip = limits[3];
    const int32_t p2 = s[-3 * across], p1 = s[-2 * across], p0 = s[-across];
    const int32_t q0 = s[0], q1 = s[across], q2 = s[2 * across];
    // Only the sides are tested, not the step across the edge.
    if (absolute(p1 - p0) >= stepLimit || absolute(q1 - q0) >= stepLimit) return;
    int32_t clip = limits[2];
    const int32_t mid = (p0 + q0 + 1) >> 1;
    // A smooth outer side widens the correction by 1 even when the outer clip is 0. p1 (q1)
    // moves towards the mean of p2 (q2) and mid and never past it, so it stays in 0..255.
    if (absolute(p2 - p0) < outerLimit) {
        s[-2 * across] =
            static_cast<uint8_t>(p1 + clipRange(-outerClip, outerClip, (p2 + mid - 2 * p1) >> 1));
        ++clip;
    }
    if (absolute(q2 - q0) < outerLimit) {
        s[across] =
            static_cast<uint8_t>(q1 + clipRange(-outerClip, outerClip, (q2 + mid - 2 * q1) >> 1));
        ++clip;
    }
    const int32_t delta = clipRange(-clip, clip, (3 * (p1 - q1) + 8 * (q0 - p0) + 8) >> 4);
    s[-across] = clipSample(p0 + delta);
    s[0] = clipSample(q0 - delta);
}

}  // namespace

void filterLumaEdge(DecoderContext* context, int32_t x, int32_t y, int32_t edge,
                    int32_t direction) {
    const int32_t index = context->qualityIndex >> 1;
    if (index < 22) return;
    const int32_t ex = direction == 0 ? x + 4 * edge : x;
    const int32_t ey = direction == 0 ? y : y + 4 * edge;
    const EdgeSegment segment =
        edgeSegment(context->planeY, context->paddedWidth, ex, ey, direction);
    for (int32_t line = 0; line < 8; ++line) {
        filterLumaLine(segment.first + line * segment.along, segment.across,
                       lumaDeblockTable[index]);
    }
}

}  // namespace xqob
