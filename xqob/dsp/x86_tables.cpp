#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include "xqob/dsp/reference.h"
#include "xqob/dsp/x86_avx2.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

const DspFunctions sse2Dsp = {
    reconstruct4x4Sse2, reconstruct8x8Sse2,        putPrediction4x4Sse2,  putPrediction8x8Sse2,
    convertRowSse2,     upsampleRowSse2,           filterLumaSegmentSse2, filterChromaSegmentSse2,
    convertRowQuadSse2, filterLumaSegmentPairSse2,
};

// Where a wider register does not pay (4x4 blocks, one 8-line segment), AVX2 keeps SSE2.
const DspFunctions avx2Dsp = {
    reconstruct4x4Sse2, reconstruct8x8Avx2,        putPrediction4x4Sse2,  putPrediction8x8Sse2,
    convertRowAvx2,     upsampleRowAvx2,           filterLumaSegmentSse2, filterChromaSegmentSse2,
    convertRowQuadAvx2, filterLumaSegmentPairAvx2,
};

}  // namespace xqob
#endif
