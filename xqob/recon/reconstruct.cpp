#include "xqob/recon/reconstruct.h"

#include "xqob/base/plane_offset.h"
#include "xqob/dsp/dsp.h"

namespace xqob {

// A block without coded levels has an all-zero residual, and the prediction (0..255) plus
// zero, rounded, is the prediction itself: the transform is skipped.
void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        const int32_t* levels) {
    const int32_t stride = context->paddedWidth;
    uint8_t* dst = context->planeY + lumaOffset(context, x, y);
    const int32_t* prediction = context->lumaPred4x4[candidate];
    if (levels == nullptr) {
        kernels(context).putPrediction4x4(prediction, dst, stride);
        return;
    }
    kernels(context).reconstruct4x4(levels, context->lumaFactors4x4, prediction, dst, stride);
}

// The weighted table already carries the picture's quality; the quantiser is not used.
void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted, const int32_t* levels) {
    const int32_t stride = context->paddedWidth;
    uint8_t* dst = context->planeY + lumaOffset(context, x, y);
    const int32_t* prediction = context->lumaPred8x8[candidate];
    if (levels == nullptr) {
        kernels(context).putPrediction8x8(prediction, dst, stride);
        return;
    }
    const int32_t* factors = weighted ? context->weightedDequant8x8 : context->lumaFactors8x8;
    kernels(context).reconstruct8x8(levels, factors, prediction, dst, stride);
}

// Cr before Cb, both at the chroma quantiser.
void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb, const int32_t* levelsCr, const int32_t* levelsCb) {
    const int32_t stride = context->chromaWidth;
    const ptrdiff_t offset = chromaOffset(context, x, y);
    const DspFunctions& dsp = kernels(context);
    const int32_t* predictions[2] = {context->crPred[candidateCr], context->cbPred[candidateCb]};
    const int32_t* levels[2] = {levelsCr, levelsCb};
    uint8_t* planes[2] = {context->planeCr, context->planeCb};
    for (int32_t i = 0; i < 2; ++i) {
        uint8_t* dst = planes[i] + offset;
        if (levels[i] != nullptr) {
            dsp.reconstruct8x8(levels[i], context->chromaFactors8x8, predictions[i], dst, stride);
        } else {
            dsp.putPrediction8x8(predictions[i], dst, stride);
        }
    }
}

}  // namespace xqob
