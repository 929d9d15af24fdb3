#include "xqob/output/colour.h"

#include <cstddef>

#include "xqob/base/allocation_chain.h"

namespace xqob {

// 1.402, 0.34414, 0.71414 and 1.772 in 16-bit fixed point. Products stay below 2^24.
void setUpColourTables(DecoderContext* context) {
    int32_t* crToR = chainAllocArray<int32_t>(context, 256);
    int32_t* cbToG = chainAllocArray<int32_t>(context, 256);
    int32_t* crToG = chainAllocArray<int32_t>(context, 256);
    int32_t* cbToB = chainAllocArray<int32_t>(context, 256);
    uint8_t* clampTable = chainAllocArray<uint8_t>(context, 768);
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t c = i - 128;
        crToR[i] = (91881 * c + 32768) >> 16;  // -179..178
        // The two green terms are summed before the shift; cbToG carries the rounding half.
        cbToG[i] = -22554 * c + 32768;
        crToG[i] = -46802 * c;
        cbToB[i] = (116130 * c + 32768) >> 16;  // -227..225
    }
    // Read at v + 256: clamps any v in -256..511, and every sum below lies in -227..480.
    for (int32_t i = 0; i < 768; ++i) {
        clampTable[i] = static_cast<uint8_t>(i < 256 ? 0 : (i < 512 ? i - 256 : 255));
    }
    context->crToR = crToR;
    context->cbToG = cbToG;
    context->crToG = crToG;
    context->cbToB = cbToB;
    context->clampTable = clampTable;
}

// Table look-ups, additions and one shift per pixel; no multiplication, no branch. The output
// row never overlaps the tables or the planes; saying so lets the loop be vectorised.
void convertRow(const DecoderContext* context, const uint8_t* luma, const uint8_t* cb,
                const uint8_t* cr, uint8_t* __restrict out, int32_t width) {
    const int32_t* __restrict crToR = context->crToR;
    const int32_t* __restrict cbToG = context->cbToG;
    const int32_t* __restrict crToG = context->crToG;
    const int32_t* __restrict cbToB = context->cbToB;
    const uint8_t* __restrict clamp = context->clampTable + 256;
    for (int32_t x = 0; x < width; ++x) {
        const int32_t y = luma[x];
        const int32_t u = cb[x];
        const int32_t v = cr[x];
        out[3 * x] = clamp[y + crToR[v]];
        out[3 * x + 1] = clamp[y + ((cbToG[u] + crToG[v]) >> 16)];
        out[3 * x + 2] = clamp[y + cbToB[u]];
    }
}

}  // namespace xqob
