// Dequantise, inverse-transform, add the named prediction candidate, clip and store.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/dsp/dsp.h"

namespace xqob {

// The decode's kernels; the reference ones when none were chosen.
inline const DspFunctions& kernels(const DecoderContext* context) {
    return context->dsp != nullptr ? *context->dsp : referenceDsp;
}

// The dequantisation factors must be set up (setUpDequantFactors). levels: the block's
// coefficient levels in raster order, read where they are and left unchanged; null for a
// block without coded levels, whose residual is zero, so the candidate is stored as it is.
void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        const int32_t* levels);
void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                        int32_t weighted, const int32_t* levels);
void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                       int32_t candidateCb, const int32_t* levelsCr, const int32_t* levelsCb);

// The same with the levels in the context's coefficient blocks.
inline void reconstructLuma4x4(DecoderContext* context, int32_t x, int32_t y, int32_t candidate) {
    reconstructLuma4x4(context, x, y, candidate, context->coeff4x4);
}
inline void reconstructLuma8x8(DecoderContext* context, int32_t x, int32_t y, int32_t candidate,
                               int32_t weighted) {
    reconstructLuma8x8(context, x, y, candidate, weighted, context->coeff8x8);
}
inline void reconstructChroma(DecoderContext* context, int32_t x, int32_t y, int32_t candidateCr,
                              int32_t candidateCb) {
    reconstructChroma(context, x, y, candidateCr, candidateCb, context->coeffCr, context->coeffCb);
}

}  // namespace xqob
