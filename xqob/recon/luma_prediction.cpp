#include "xqob/recon/luma_prediction.h"

#include "xqob/base/plane_offset.h"
#include "xqob/dsp/intra_prediction.h"
#include "xqob/recon/intra_edge.h"
#include "xqob/recon/neighbour_presence.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// The references of an n x n luma block at (x, y): n samples above, n above-right, n to the
// left and the corner. The block above and the block to the left always precede this one in
// decoding order, so they are present exactly when the block is not on the plane's top row or
// left column. The above-right samples must also be decoded already and lie inside the padded
// plane (a signed test: x > width - 2n never has them), and otherwise repeat the last sample
// above. The corner is present exactly when both the top and the left are; it is 0 otherwise.
struct LumaReferences {
    int32_t t[16];
    int32_t l[8];
    int32_t c;
    bool top;
    bool left;
};

template <int32_t n>
void gatherLumaReferences(const DecoderContext* context, int32_t x, int32_t y,
                          LumaReferences* refs) {
    const int32_t width = context->paddedWidth;
    const uint8_t* block = context->planeY + lumaOffset(context, x, y);
    refs->top = y > 0;
    refs->left = x > 0;
    refs->c = 0;
    if (refs->top) {
        const uint8_t* above = block - width;
        for (int32_t i = 0; i < n; ++i) refs->t[i] = above[i];
        const bool aboveRight = x + 2 * n <= width && aboveRightDecoded(x, y, n);
        for (int32_t i = n; i < 2 * n; ++i) refs->t[i] = aboveRight ? above[i] : above[n - 1];
    }
    if (refs->left) {
        const uint8_t* beside = block - 1;
        for (int32_t i = 0; i < n; ++i) refs->l[i] = beside[planeOffset(0, i, width)];
    }
    if (refs->top && refs->left) refs->c = block[-width - 1];
}

}  // namespace

void predictIntraLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    LumaReferences refs;
    gatherLumaReferences<4>(context, x, y, &refs);
    formIntraPrediction(4, refs.t, refs.l, refs.c, refs.top, refs.left, mode,
                        context->lumaPred4x4[mode]);
}

void predictIntraLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    const int32_t width = context->paddedWidth;
    const bool aboveRight = x + 16 <= width && y > 0 && aboveRightDecoded(x, y, 8);
    const IntraEdge8x8 edge = gatherIntraEdge8x8(context->planeY + lumaOffset(context, x, y), width,
                                                 y > 0, x > 0, aboveRight);
    kernels(context).predictIntra8x8(&edge, mode, false, context->lumaPred8x8[mode]);
}

}  // namespace xqob
