#include "xqob/dsp/dsp.h"

#include <initializer_list>

#include "xqob/dsp/reference.h"
#include "xqob/dsp/wasm.h"
#include "xqob/dsp/x86.h"

namespace xqob {

const DspFunctions referenceDsp = {
    .reconstruct4x4 = reconstruct4x4Reference,
    .reconstruct8x8 = reconstruct8x8Reference,
    .putPrediction4x4 = putPrediction4x4Reference,
    .putPrediction8x8 = putPrediction8x8Reference,
    .convertRow = convertRowReference,
    .upsampleRow = upsampleRowReference,
    .filterLumaSegment = filterLumaSegmentReference,
    .filterChromaSegment = filterChromaSegmentReference,
    .convertRowQuad = convertRowQuadReference,
    .filterLumaSegmentPair = filterLumaSegmentPairReference,
    .filterChromaSegments = filterChromaSegmentsReference,
    .predictIntra8x8 = predictIntra8x8Reference,
    .predictIntra4x4 = predictIntra4x4Reference,
};

#if XQOB_DSP_WASM
// Linked only into the modules built for engines with SIMD.
extern const DspFunctions simd128Dsp __attribute__((weak));
#endif

#if XQOB_DSP_X86
namespace {

bool processorHas(DspLevel level) {
    __builtin_cpu_init();
    if (level == DspLevel::avx2) return __builtin_cpu_supports("avx2");
    return __builtin_cpu_supports("sse2");
}

}  // namespace
#endif

const DspFunctions* dspFunctions(DspLevel level) {
    switch (level) {
        case DspLevel::reference:
            return &referenceDsp;
#if XQOB_DSP_WASM
        case DspLevel::simd128:
            return &simd128Dsp != nullptr ? &simd128Dsp : nullptr;
#endif
#if XQOB_DSP_X86
        case DspLevel::sse2:
            return processorHas(level) ? &sse2Dsp : nullptr;
        case DspLevel::avx2:
            return processorHas(level) ? &avx2Dsp : nullptr;
#endif
        default:
            return nullptr;
    }
    return nullptr;
}

DspLevel bestDspLevel() {
    for (DspLevel level : {DspLevel::simd128, DspLevel::avx2, DspLevel::sse2}) {
        if (dspFunctions(level) != nullptr) return level;
    }
    return DspLevel::reference;
}

}  // namespace xqob
