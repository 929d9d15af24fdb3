#include "xqob/recon/reconstruct.h"

#include "xqob/recon/plane_offset.h"
#include "xqob/recon/quantiser.h"
#include "xqob/recon/transform.h"
#include "xqob/recon/wrapping.h"

namespace xqob {

namespace {

// Uniform 8x8 dequantisation: factor * level * 2^qDiv, no rounding. The quantiser index is
// 0..97, so the shift is at most 8; extreme levels may wrap.
void dequantiseUniform8x8(const int32_t* levels, int32_t quantiser, int32_t* d) {
    const int32_t qDiv = quantiser / 12;
    const int32_t* scale = dequantScale8x8[quantiser % 12];
    for (int32_t k = 0; k < 64; ++k) {
        d[k] = unwrap((wrap(scale[class8[k]]) * wrap(levels[k])) << qDiv);
    }
}

// Adds the residual (prediction scale times 2^shift, still unrounded) to the prediction,
// rounds, clips to 0..255 and stores the n x n block at plane[0] with the given row stride.
template <int32_t n, int32_t shift>
void addPrediction(const int32_t* d, const int32_t* prediction, uint8_t* plane, int32_t stride) {
    constexpr uint32_t half = uint32_t{1} << (shift - 1);
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t j = 0; j < n; ++j) {
            const int32_t i = n * r + j;
            const uint32_t sum = (wrap(prediction[i]) << shift) + wrap(d[i]) + half;
            plane[planeOffset(j, r, stride)] = clipSample(unwrap(shiftRight(sum, shift)));
        }
    }
}

void reconstructUniform8x8(const int32_t* levels, int32_t quantiser, const int32_t* prediction,
                           uint8_t* plane, int32_t stride) {
    int32_t d[64];
    dequantiseUniform8x8(levels, quantiser, d);
    inverseTransform8x8(d);
    addPrediction<8, 8>(d, prediction, plane, stride);
}

}  // namespace

void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate) {
    const int32_t quantiser = context->lumaQuantiser;
    const int32_t qDiv = quantiser / 12;
    const int32_t* scale = dequantScale4x4[quantiser % 12];
    const int32_t* levels = context->coeff4x4;
    int32_t d[16];
    for (int32_t k = 0; k < 16; ++k) {
        const uint32_t product = (wrap(scale[class4[k]]) * wrap(levels[k])) << qDiv;
        d[k] = unwrap(shiftRight(product + 1, 1));
    }
    inverseTransform4x4(d);
    const int32_t stride = context->paddedWidth;
    addPrediction<4, 6>(d, context->lumaPred4x4[candidate],
                        context->planeY + planeOffset(x, y, stride), stride);
}

void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted) {
    const int32_t stride = context->paddedWidth;
    const int32_t* prediction = context->lumaPred8x8[candidate];
    uint8_t* plane = context->planeY + planeOffset(x, y, stride);
    if (weighted == 0) {
        reconstructUniform8x8(context->coeff8x8, context->lumaQuantiser, prediction, plane, stride);
        return;
    }
    // The weighted table already carries the picture's quality; the quantiser is not used.
    const int32_t* levels = context->coeff8x8;
    const int32_t* factors = context->weightedDequant8x8;
    int32_t d[64];
    for (int32_t k = 0; k < 64; ++k) d[k] = unwrap(wrap(factors[k]) * wrap(levels[k]));
    inverseTransform8x8(d);
    addPrediction<8, 8>(d, prediction, plane, stride);
}

void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb) {
    const int32_t stride = context->chromaWidth;
    const ptrdiff_t offset = planeOffset(x, y, stride);
    // Cr before Cb, both at the chroma quantiser.
    reconstructUniform8x8(context->coeffCr, context->chromaQuantiser, context->crPred[candidateCr],
                          context->planeCr + offset, stride);
    reconstructUniform8x8(context->coeffCb, context->chromaQuantiser, context->cbPred[candidateCb],
                          context->planeCb + offset, stride);
}

}  // namespace xqob
