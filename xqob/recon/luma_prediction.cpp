#include "xqob/recon/luma_prediction.h"

#include "xqob/base/plane_offset.h"
#include "xqob/recon/intra_prediction.h"
#include "xqob/recon/neighbour_presence.h"

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

void smoothLumaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                          int32_t* ts, int32_t* ls, int32_t* cs) {
    // Each smoothed sample comes from the raw ones; an end without an outer neighbour
    // weights its own sample 3.
    if (top) {
        ts[0] = left ? (c + 2 * t[0] + t[1] + 2) >> 2 : (3 * t[0] + t[1] + 2) >> 2;
        for (int32_t i = 1; i < 15; ++i) ts[i] = (t[i - 1] + 2 * t[i] + t[i + 1] + 2) >> 2;
        ts[15] = (t[14] + 3 * t[15] + 2) >> 2;
    }
    if (left) {
        ls[0] = top ? (c + 2 * l[0] + l[1] + 2) >> 2 : (3 * l[0] + l[1] + 2) >> 2;
        for (int32_t j = 1; j < 7; ++j) ls[j] = (l[j - 1] + 2 * l[j] + l[j + 1] + 2) >> 2;
        ls[7] = (l[6] + 3 * l[7] + 2) >> 2;
    }
    *cs = top && left ? (l[0] + 2 * c + t[0] + 2) >> 2 : c;
}

void predictIntraLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    LumaReferences refs;
    gatherLumaReferences<8>(context, x, y, &refs);
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothLumaReferences(refs.t, refs.l, refs.c, refs.top, refs.left, ts, ls, &cs);
    formIntraPrediction(8, ts, ls, cs, refs.top, refs.left, mode, context->lumaPred8x8[mode]);
}

}  // namespace xqob
