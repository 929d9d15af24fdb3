// SSE2 colour conversion and chroma upsampling: 16 pixels or 8 chroma columns at a time in
// 16-bit lanes; the row ends go through the reference code.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/reference.h"
#include "xqob/dsp/x86_quad_pixels.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

XQOB_SSE2 inline __m128i load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// Two 16-bit factors side by side, for _mm_madd_epi16 on lanes interleaved first, second.
constexpr int32_t colourPair(int32_t first, int32_t second) {
    return static_cast<int32_t>((uint32_t(uint16_t(first))) | (uint32_t(uint16_t(second)) << 16));
}

// a(j) = 3 near(j) + far(j) of 8 columns from j.
XQOB_SSE2 inline __m128i blend8(const uint8_t* near, const uint8_t* far, int32_t j) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i n = _mm_unpacklo_epi8(load8(near + j), zero);
    const __m128i f = _mm_unpacklo_epi8(load8(far + j), zero);
    return _mm_add_epi16(_mm_add_epi16(n, _mm_add_epi16(n, n)), f);
}

// The colour terms of 8 pixels (16-bit lanes, chroma minus 128). Each factor of the reference
// is split so that the 16-bit lanes form the product exactly: 91881 = 65536 + 26345, -46802 =
// -65536 + 18734, 116130 = 131072 - 14942, and (c << 16) + x >> 16 = c + (x >> 16) exactly.
// (factor * x + 32768) >> 16 of one factor: the high half of the product is its floor, and
// the rounding adds 1 where the low half is at least 32768.
XQOB_SSE2 inline __m128i roundedProduct(__m128i x, int16_t factor) {
    const __m128i f = _mm_set1_epi16(factor);
    return _mm_add_epi16(_mm_mulhi_epi16(x, f), _mm_srli_epi16(_mm_mullo_epi16(x, f), 15));
}

struct Rgb16 {
    __m128i r, g, b;  // 8 pixels each, 16-bit, clipped later
};

XQOB_SSE2 inline Rgb16 convert8(__m128i y, __m128i u, __m128i v) {
    const __m128i red = _mm_add_epi16(v, roundedProduct(v, 26345));
    // -22554 u + 18734 v + 32768 in one madd needs a third lane; add the rounding after.
    const __m128i uv = _mm_set1_epi32(colourPair(-22554, 18734));
    const __m128i greenLow =
        _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), uv), _mm_set1_epi32(32768));
    const __m128i greenHigh =
        _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), uv), _mm_set1_epi32(32768));
    const __m128i green = _mm_sub_epi16(
        _mm_packs_epi32(_mm_srai_epi32(greenLow, 16), _mm_srai_epi32(greenHigh, 16)), v);
    const __m128i blue = _mm_add_epi16(_mm_add_epi16(u, u), roundedProduct(u, -14942));
    return Rgb16{_mm_add_epi16(y, red), _mm_add_epi16(y, green), _mm_add_epi16(y, blue)};
}

// Four pixels R, G, B, 0 in 32-bit lanes to 12 packed bytes at the bottom of the register:
// pairs of pixels into 48-bit groups, then the two groups side by side.
XQOB_SSE2 inline __m128i packPixels(__m128i rgb0) {
    const __m128i even = _mm_and_si128(rgb0, _mm_set_epi32(0, -1, 0, -1));
    const int32_t top = static_cast<int32_t>(0xFF000000u);
    const __m128i odd =
        _mm_and_si128(_mm_srli_epi64(rgb0, 8), _mm_set_epi32(0xFFFF, top, 0xFFFF, top));
    const __m128i pairs = _mm_or_si128(even, odd);
    const __m128i low = _mm_and_si128(pairs, _mm_set_epi32(0, 0, 0xFFFF, -1));
    return _mm_or_si128(low, _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
}

// R, G, B of the 16 pixels from x, clipped to 0..255 by the saturating packs.
struct Rgb8 {
    __m128i r, g, b;
};

XQOB_SSE2 inline Rgb8 convert16(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                int32_t x) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x));
    const __m128i cb8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
    const __m128i cr8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
    const Rgb16 low =
        convert8(_mm_unpacklo_epi8(y8, zero), _mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), bias),
                 _mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), bias));
    const Rgb16 high =
        convert8(_mm_unpackhi_epi8(y8, zero), _mm_sub_epi16(_mm_unpackhi_epi8(cb8, zero), bias),
                 _mm_sub_epi16(_mm_unpackhi_epi8(cr8, zero), bias));
    return Rgb8{_mm_packus_epi16(low.r, high.r), _mm_packus_epi16(low.g, high.g),
                _mm_packus_epi16(low.b, high.b)};
}

}  // namespace

XQOB_SSE2 void convertRowSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                              uint8_t* out, int32_t width) {
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    // Each 16-byte store writes 4 bytes past its 12; the next store or the tail (at least 2
    // pixels) overwrites them, so the last block must leave 2 pixels.
    for (; x + 18 <= width; x += 16) {
        const Rgb8 c = convert16(luma, cb, cr, x);
        const __m128i rg0 = _mm_unpacklo_epi8(c.r, c.g);
        const __m128i rg1 = _mm_unpackhi_epi8(c.r, c.g);
        const __m128i b00 = _mm_unpacklo_epi8(c.b, zero);
        const __m128i b01 = _mm_unpackhi_epi8(c.b, zero);
        const __m128i pixels[4] = {_mm_unpacklo_epi16(rg0, b00), _mm_unpackhi_epi16(rg0, b00),
                                   _mm_unpacklo_epi16(rg1, b01), _mm_unpackhi_epi16(rg1, b01)};
        uint8_t* dst = out + 3 * x;
        for (int32_t i = 0; i < 4; ++i) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 12 * i), packPixels(pixels[i]));
        }
    }
    convertRowReference(luma + x, cb + x, cr + x, out + 3 * x, width - x);
}

// Four bytes a pixel need no packing: 16 pixels are four stores of whole pixels.
XQOB_SSE2 void convertRowQuadSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                  uint8_t* out, int32_t width, bool bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const Rgb8 c = convert16(luma, cb, cr, x);
        storeQuadPixels(out + 4 * x, c.r, c.g, c.b, bgr);
    }
    convertRowQuadReference(luma + x, cb + x, cr + x, out + 4 * x, width - x, bgr);
}

namespace {

// Output columns 2j..2j+15 from chroma columns j..j+7, reading columns j - 1..j + 8.
XQOB_SSE2 inline void upsample8(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t j) {
    const __m128i left = blend8(near, far, j - 1);
    const __m128i centre = blend8(near, far, j);
    const __m128i right = blend8(near, far, j + 1);
    const __m128i three = _mm_add_epi16(centre, _mm_add_epi16(centre, centre));
    const __m128i even =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, left), _mm_set1_epi16(8)), 4);
    const __m128i odd =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(three, right), _mm_set1_epi16(7)), 4);
    const __m128i bytes =
        _mm_packus_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j), bytes);
}

}  // namespace

XQOB_SSE2 void upsampleRowSse2(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m) {
    // Column 0 and the last column (the edge rule at m - 1) come from the reference.
    upsampleColumnsReference(near, far, out, 0, 1, m);
    int32_t j = 1;
    for (; j + 9 <= m; j += 8) upsample8(near, far, out, j);  // reads up to column m - 1
    // The columns left before m - 1 as one more step that ends there, over columns already
    // written with the same values.
    if (j > 1 && j < m - 1) {
        upsample8(near, far, out, m - 9);
        j = m - 1;
    }
    upsampleColumnsReference(near, far, out, j, m, m);
}

}  // namespace xqob
#endif
