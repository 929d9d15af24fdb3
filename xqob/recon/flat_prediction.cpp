#include "xqob/recon/flat_prediction.h"

#include "xqob/base/plane_offset.h"

namespace xqob {

namespace {

void fill64(int32_t value, int32_t* out) {
    for (int32_t i = 0; i < 64; ++i) out[i] = value;
}

// The mean of the 8 samples to the left and the 8 above (not the corner), and the mean - 1
// and + 1, into candidates 0, 1 and 2. A candidate that would leave 0..255 is not written:
// it keeps whatever the plane's last prediction left there. block is the block's first
// sample; Flat blocks lie at x, y >= 8.
void predictFlatPlane(const uint8_t* block, int32_t stride, int32_t* const* candidates) {
    const uint8_t* above = block - stride;
    const uint8_t* beside = block - 1;
    int32_t sum = 0;
    for (int32_t i = 0; i < 8; ++i) sum += above[i] + beside[planeOffset(0, i, stride)];
    const int32_t mean = (sum + 8) >> 4;
    fill64(mean, candidates[0]);
    if (mean > 0) fill64(mean - 1, candidates[1]);
    if (mean < 255) fill64(mean + 1, candidates[2]);
}

}  // namespace

void predictFlatLuma(DecoderContext* context, int32_t x, int32_t y) {
    predictFlatPlane(context->planeY + lumaOffset(context, x, y), context->paddedWidth,
                     context->lumaPred8x8);
}

void predictFlatChroma(DecoderContext* context, int32_t x, int32_t y) {
    const ptrdiff_t offset = chromaOffset(context, x, y);
    predictFlatPlane(context->planeCr + offset, context->chromaWidth, context->crPred);
    predictFlatPlane(context->planeCb + offset, context->chromaWidth, context->cbPred);
}

}  // namespace xqob
