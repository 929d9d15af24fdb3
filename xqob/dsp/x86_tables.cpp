#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include "xqob/dsp/reference.h"
#include "xqob/dsp/x86_avx2.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

const DspFunctions sse2Dsp = {
    .reconstruct4x4 = reconstruct4x4Sse2,
    .reconstruct8x8 = reconstruct8x8Sse2,
    .putPrediction4x4 = putPrediction4x4Sse2,
    .putPrediction8x8 = putPrediction8x8Sse2,
    .convertRow = convertRowSse2,
    .upsampleRow = upsampleRowSse2,
    .filterLumaSegment = filterLumaSegmentSse2,
    .filterChromaSegment = filterChromaSegmentSse2,
    .convertRowQuad = convertRowQuadSse2,
    .filterLumaSegmentPair = filterLumaSegmentPairSse2,
    .filterChromaSegments = filterChromaSegmentsSse2,
    .predictIntra8x8 = predictIntra8x8Sse2,
    .predictIntra4x4 = predictIntra4x4Sse2,
};

// Where a wider register does not pay (4x4 blocks, one 8-line segment), AVX2 keeps SSE2.
const DspFunctions avx2Dsp = {
    .reconstruct4x4 = reconstruct4x4Sse2,
    .reconstruct8x8 = reconstruct8x8Avx2,
    .putPrediction4x4 = putPrediction4x4Sse2,
    .putPrediction8x8 = putPrediction8x8Sse2,
    .convertRow = convertRowAvx2,
    .upsampleRow = upsampleRowAvx2,
    .filterLumaSegment = filterLumaSegmentSse2,
    .filterChromaSegment = filterChromaSegmentSse2,
    .convertRowQuad = convertRowQuadAvx2,
    .filterLumaSegmentPair = filterLumaSegmentPairAvx2,
    .filterChromaSegments = filterChromaSegmentsAvx2,
    .predictIntra8x8 = predictIntra8x8Sse2,
    .predictIntra4x4 = predictIntra4x4Sse2,
};

}  // namespace xqob
#endif
