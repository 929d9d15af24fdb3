// The AVX2 kernels one by one (each built with its own target attribute).
#pragma once

#include <cstddef>
#include <cstdint>

namespace xqob {

void reconstruct8x8Avx2(const int32_t* levels, const int32_t* factors, const int32_t* prediction,
                        uint8_t* dst, ptrdiff_t stride);
void convertRowAvx2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                    int32_t width);
void convertRowQuadAvx2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                        int32_t width, bool bgr);
void filterLumaSegmentPairAvx2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                               const uint16_t* limits);
void filterChromaSegmentsAvx2(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                              const uint8_t* limits);
void upsampleRowAvx2(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m);

}  // namespace xqob
