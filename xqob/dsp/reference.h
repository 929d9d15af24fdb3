// The reference kernels one by one, for the tables of every level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/dsp/dsp.h"

namespace xqob {

void reconstruct4x4Reference(const int32_t* levels, const int32_t* factors,
                             const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void reconstruct8x8Reference(const int32_t* levels, const int32_t* factors,
                             const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void putPrediction4x4Reference(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void putPrediction8x8Reference(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
void convertRowReference(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                         int32_t width);
void convertRowQuadReference(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                             uint8_t* out, int32_t width, bool bgr);
void upsampleRowReference(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m);
// Output columns 2j and 2j + 1 for chroma columns j = first..end-1 of a row of m (m >= 2).
void upsampleColumnsReference(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t first,
                              int32_t end, int32_t m);
void filterLumaSegmentReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                const uint16_t* limits);
void filterLumaSegmentPairReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                    const uint16_t* limits);
void filterChromaSegmentReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                  const uint8_t* limits);
void filterChromaSegmentsReference(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                                   const uint8_t* limits);
bool predictIntra8x8Reference(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out);
bool predictIntra4x4Reference(const IntraEdge* edge, int32_t mode, int32_t* out);

}  // namespace xqob
