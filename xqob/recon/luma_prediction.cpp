#include "xqob/recon/luma_prediction.h"

#include "xqob/base/plane_offset.h"
#include "xqob/recon/intra_edge.h"
#include "xqob/recon/neighbour_presence.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// The references of an n x n luma block at (x, y). The block above and the block to the left
// always precede this one in decoding order, so they are present exactly when the block is not
// on the plane's top row or left column. The above-right samples must also be decoded already
// and lie inside the padded plane (a signed test: x > width - 2n never has them).
template <int32_t n>
IntraEdge lumaEdge(const DecoderContext* context, int32_t x, int32_t y) {
    const int32_t width = context->paddedWidth;
    const bool aboveRight = y > 0 && x + 2 * n <= width && aboveRightDecoded(x, y, n);
    return gatherIntraEdge<n>(context->planeY + lumaOffset(context, x, y), width, y > 0, x > 0,
                              aboveRight);
}

}  // namespace

void predictIntraLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    const IntraEdge edge = lumaEdge<4>(context, x, y);
    kernels(context).predictIntra4x4(&edge, mode, context->lumaPred4x4[mode]);
}

void predictIntraLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    const IntraEdge edge = lumaEdge<8>(context, x, y);
    kernels(context).predictIntra8x8(&edge, mode, false, context->lumaPred8x8[mode]);
}

}  // namespace xqob
