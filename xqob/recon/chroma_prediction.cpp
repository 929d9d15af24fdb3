#include "xqob/recon/chroma_prediction.h"

#include "xqob/base/plane_offset.h"
#include "xqob/recon/intra_prediction.h"

namespace xqob {

namespace {

// 9-10-9 over 28, rounded; every operand is an 8-bit sample, so the quotient is the floor.
inline int32_t smooth3(int32_t a, int32_t b, int32_t d) {
    return (9 * a + 10 * b + 9 * d + 14) / 28;
}

// Presence is decided by position alone: the chroma blocks are decoded in raster order, so
// everything above and to the left is already reconstructed. block is the sample at (x, y).
void predictChromaPlane(const uint8_t* block, int32_t width, int32_t x, int32_t y, int32_t mode,
                        int32_t* out) {
    const bool top = y > 0;
    const bool left = x > 0;
    int32_t t[16];
    int32_t l[8];
    int32_t c = 0;
    if (top) {
        const uint8_t* above = block - width;
        for (int32_t i = 0; i < 8; ++i) t[i] = above[i];
        // The last block of a row has no above-right samples (signed test).
        const bool aboveRight = x <= width - 16;
        for (int32_t i = 8; i < 16; ++i) t[i] = aboveRight ? above[i] : above[7];
    }
    if (left) {
        const uint8_t* beside = block - 1;
        for (int32_t i = 0; i < 8; ++i) l[i] = beside[planeOffset(0, i, width)];
    }
    if (top && left) c = block[-width - 1];
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    smoothChromaReferences(t, l, c, top, left, ts, ls, &cs);
    formIntraPrediction(8, ts, ls, cs, top, left, mode, out);
}

}  // namespace

void smoothChromaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                            int32_t* ts, int32_t* ls, int32_t* cs) {
    // Each smoothed sample comes from the raw ones; an end without an outer neighbour lets
    // its own sample stand in for it (weights 19 and 9).
    if (top) {
        ts[0] = smooth3(left ? c : t[0], t[0], t[1]);
        for (int32_t i = 1; i < 15; ++i) ts[i] = smooth3(t[i - 1], t[i], t[i + 1]);
        ts[15] = smooth3(t[14], t[15], t[15]);
    }
    if (left) {
        ls[0] = smooth3(top ? c : l[0], l[0], l[1]);
        for (int32_t j = 1; j < 7; ++j) ls[j] = smooth3(l[j - 1], l[j], l[j + 1]);
        ls[7] = smooth3(l[6], l[7], l[7]);
    }
    *cs = top && left ? smooth3(l[0], c, t[0]) : c;
}

void predictIntraChroma(DecoderContext* context, int32_t x, int32_t y, int32_t mode) {
    const int32_t width = context->chromaWidth;
    const ptrdiff_t offset = chromaOffset(context, x, y);
    predictChromaPlane(context->planeCr + offset, width, x, y, mode, context->crPred[mode]);
    predictChromaPlane(context->planeCb + offset, width, x, y, mode, context->cbPred[mode]);
}

}  // namespace xqob
