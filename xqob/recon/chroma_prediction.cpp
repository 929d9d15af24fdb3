#include "xqob/recon/chroma_prediction.h"

#include "xqob/base/plane_offset.h"
#include "xqob/recon/intra_edge.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// Presence is decided by position alone: the chroma blocks are decoded in raster order, so
// everything above and to the left is already reconstructed. block is the sample at (x, y).
// The last block of a row has no above-right samples (signed test).
void predictChromaPlane(const DspFunctions& dsp, const uint8_t* block, int32_t width, int32_t x,
                        int32_t y, int32_t mode, int32_t* out) {
    const IntraEdge edge = gatherIntraEdge<8>(block, width, y > 0, x > 0, x <= width - 16);
    dsp.predictIntra8x8(&edge, mode, true, out);
}

}  // namespace

void predictIntraChroma(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    const int32_t width = context->chromaWidth;
    const ptrdiff_t offset = chromaOffset(context, x, y);
    const DspFunctions& dsp = kernels(context);
    predictChromaPlane(dsp, context->planeCr + offset, width, x, y, mode, context->crPred[mode]);
    predictChromaPlane(dsp, context->planeCb + offset, width, x, y, mode, context->cbPred[mode]);
}

}  // namespace xqob
