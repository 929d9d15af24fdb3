// Pixels of four bytes from 16 R, G, B bytes, shared by the SSE2 and AVX2 colour kernels.
#pragma once

#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include <cstdint>

namespace xqob {

// The byte pairs (first, green) and (third, 255) interleaved into 16 whole pixels at out:
// R, G, B, 255, or B, G, R, 255 when bgr is true.
XQOB_SSE2 inline void storeQuadPixels(uint8_t* out, __m128i r, __m128i g, __m128i b, bool bgr) {
    const __m128i opaque = _mm_set1_epi8(-1);
    const __m128i first = bgr ? b : r;
    const __m128i third = bgr ? r : b;
    const __m128i pair0 = _mm_unpacklo_epi8(first, g);
    const __m128i pair1 = _mm_unpackhi_epi8(first, g);
    const __m128i alpha0 = _mm_unpacklo_epi8(third, opaque);
    const __m128i alpha1 = _mm_unpackhi_epi8(third, opaque);
    const __m128i pixels[4] = {_mm_unpacklo_epi16(pair0, alpha0), _mm_unpackhi_epi16(pair0, alpha0),
                               _mm_unpacklo_epi16(pair1, alpha1),
                               _mm_unpackhi_epi16(pair1, alpha1)};
    for (int32_t i = 0; i < 4; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), pixels[i]);
    }
}

}  // namespace xqob
#endif
