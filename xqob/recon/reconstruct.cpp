#include "xqob/recon/reconstruct.h"

#include "xqob/dsp/dsp.h"
#include "xqob/recon/plane_offset.h"

namespace xqob {

namespace {

const DspFunctions& kernels(const DecoderContext* context) {
    return context->dsp != nullptr ? *context->dsp : referenceDsp;
}

}  // namespace

// A block without coded levels has an all-zero residual, and the prediction (0..255) plus
// zero, rounded, is the prediction itself: the transform is skipped.
void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        bool coded) {
    const int32_t stride = context->paddedWidth;
    uint8_t* dst = context->planeY + lumaOffset(context, x, y);
    const int32_t* prediction = context->lumaPred4x4[candidate];
    if (!coded) {
        kernels(context).putPrediction4x4(prediction, dst, stride);
        return;
    }
    kernels(context).reconstruct4x4(context->coeff4x4, context->lumaFactors4x4, prediction, dst,
                                    stride);
}

// The weighted table already carries the picture's quality; the quantiser is not used.
void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted, bool coded) {
    const int32_t stride = context->paddedWidth;
    uint8_t* dst = context->planeY + lumaOffset(context, x, y);
    const int32_t* prediction = context->lumaPred8x8[candidate];
    if (!coded) {
        kernels(context).putPrediction8x8(prediction, dst, stride);
        return;
    }
    const int32_t* factors = weighted ? context->weightedDequant8x8 : context->lumaFactors8x8;
    kernels(context).reconstruct8x8(context->coeff8x8, factors, prediction, dst, stride);
}

void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb, bool codedCr, bool codedCb) {
    const int32_t stride = context->chromaWidth;
    const ptrdiff_t offset = chromaOffset(context, x, y);
    const DspFunctions& dsp = kernels(context);
    // Cr before Cb, both at the chroma quantiser.
    const int32_t* predictionCr = context->crPred[candidateCr];
    const int32_t* predictionCb = context->cbPred[candidateCb];
    if (codedCr) {
        dsp.reconstruct8x8(context->coeffCr, context->chromaFactors8x8, predictionCr,
                           context->planeCr + offset, stride);
    } else {
        dsp.putPrediction8x8(predictionCr, context->planeCr + offset, stride);
    }
    if (codedCb) {
        dsp.reconstruct8x8(context->coeffCb, context->chromaFactors8x8, predictionCb,
                           context->planeCb + offset, stride);
    } else {
        dsp.putPrediction8x8(predictionCb, context->planeCb + offset, stride);
    }
}

}  // namespace xqob
