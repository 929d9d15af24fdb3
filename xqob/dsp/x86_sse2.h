// The SSE2 kernels one by one (each built with its own target attribute).
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/dsp/dsp.h"

namespace xqob {

void reconstruct4x4Sse2(const int32_t* levels, const int32_t* factors, const int32_t* prediction,
                        uint8_t* dst, ptrdiff_t stride);
void reconstruct8x8Sse2(const int32_t* levels, const int32_t* factors, const int32_t* prediction,
                        uint8_t* dst, ptrdiff_t stride);
void putPrediction4x4Sse2(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void putPrediction8x8Sse2(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void convertRowSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                    int32_t width);
void convertRowQuadSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                        int32_t width, bool bgr);
void upsampleRowSse2(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m);
void filterLumaSegmentSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across, const uint16_t* limits);
// Two calls of the 8-line kernel.
void filterLumaSegmentPairSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                               const uint16_t* limits);
void filterChromaSegmentSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across, const uint8_t* limits);
// Two calls of the 8-line kernel.
void filterChromaSegmentsSse2(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                              const uint8_t* limits);
bool predictIntra8x8Sse2(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out);
bool predictIntra4x4Sse2(const IntraEdge* edge, int32_t mode, int32_t* out);

}  // namespace xqob
