// Byte moves shared by the SSE2 and AVX2 deblocking kernels: 8-byte loads and stores, and
// the 8x8 transpose that turns the rows across a vertical edge into lines.
#pragma once

#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include <cstdint>

namespace xqob {

XQOB_SSE2 inline __m128i loadBytes8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

XQOB_SSE2 inline void storeBytes8(uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

// 8 x 8 bytes (the low halves of r[0..7]) transposed in place.
XQOB_SSE2 inline void transposeBytes8x8(__m128i* r) {
    const __m128i a0 = _mm_unpacklo_epi8(r[0], r[1]);
    const __m128i a1 = _mm_unpacklo_epi8(r[2], r[3]);
    const __m128i a2 = _mm_unpacklo_epi8(r[4], r[5]);
    const __m128i a3 = _mm_unpacklo_epi8(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a1);
    const __m128i b1 = _mm_unpackhi_epi16(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi16(a2, a3);
    const __m128i b3 = _mm_unpackhi_epi16(a2, a3);
    const __m128i c0 = _mm_unpacklo_epi32(b0, b2);
    const __m128i c1 = _mm_unpackhi_epi32(b0, b2);
    const __m128i c2 = _mm_unpacklo_epi32(b1, b3);
    const __m128i c3 = _mm_unpackhi_epi32(b1, b3);
    r[0] = c0;
    r[1] = _mm_srli_si128(c0, 8);
    r[2] = c1;
    r[3] = _mm_srli_si128(c1, 8);
    r[4] = c2;
    r[5] = _mm_srli_si128(c2, 8);
    r[6] = c3;
    r[7] = _mm_srli_si128(c3, 8);
}

}  // namespace xqob
#endif
