// SSE2 reconstruction: four 32-bit lanes per register, the transforms on whole rows or
// columns at a time. Lane arithmetic wraps modulo 2^32 and _mm_srai_epi32 is the arithmetic
// shift, exactly as in the reference.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

// The low 32 bits of four products (SSE2 has only the 32 x 32 -> 64 unsigned multiply; the
// low half is the same for signed operands).
XQOB_SSE2 inline __m128i multiplyLow(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

XQOB_SSE2 inline __m128i load(const int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

XQOB_SSE2 inline void transpose4(__m128i& r0, __m128i& r1, __m128i& r2, __m128i& r3) {
    const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
    const __m128i t1 = _mm_unpacklo_epi32(r2, r3);
    const __m128i t2 = _mm_unpackhi_epi32(r0, r1);
    const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
    r0 = _mm_unpacklo_epi64(t0, t1);
    r1 = _mm_unpackhi_epi64(t0, t1);
    r2 = _mm_unpacklo_epi64(t2, t3);
    r3 = _mm_unpackhi_epi64(t2, t3);
}

XQOB_SSE2 inline void inverse4(__m128i* s) {
    const __m128i e0 = _mm_add_epi32(s[0], s[2]);
    const __m128i e1 = _mm_sub_epi32(s[0], s[2]);
    const __m128i e2 = _mm_sub_epi32(_mm_srai_epi32(s[1], 1), s[3]);
    const __m128i e3 = _mm_add_epi32(s[1], _mm_srai_epi32(s[3], 1));
    s[0] = _mm_add_epi32(e0, e3);
    s[1] = _mm_add_epi32(e1, e2);
    s[2] = _mm_sub_epi32(e1, e2);
    s[3] = _mm_sub_epi32(e0, e3);
}

XQOB_SSE2 inline void inverse8(__m128i* s) {
    const __m128i a0 = _mm_add_epi32(s[0], s[4]);
    const __m128i a4 = _mm_sub_epi32(s[0], s[4]);
    const __m128i a2 = _mm_sub_epi32(_mm_srai_epi32(s[2], 1), s[6]);
    const __m128i a6 = _mm_add_epi32(s[2], _mm_srai_epi32(s[6], 1));
    const __m128i b0 = _mm_add_epi32(a0, a6);
    const __m128i b2 = _mm_add_epi32(a4, a2);
    const __m128i b4 = _mm_sub_epi32(a4, a2);
    const __m128i b6 = _mm_sub_epi32(a0, a6);
    const __m128i a1 =
        _mm_sub_epi32(_mm_sub_epi32(_mm_sub_epi32(s[5], s[3]), s[7]), _mm_srai_epi32(s[7], 1));
    const __m128i a3 =
        _mm_sub_epi32(_mm_sub_epi32(_mm_add_epi32(s[1], s[7]), s[3]), _mm_srai_epi32(s[3], 1));
    const __m128i a5 =
        _mm_add_epi32(_mm_add_epi32(_mm_sub_epi32(s[7], s[1]), s[5]), _mm_srai_epi32(s[5], 1));
    const __m128i a7 =
        _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(s[3], s[5]), s[1]), _mm_srai_epi32(s[1], 1));
    const __m128i b1 = _mm_add_epi32(a1, _mm_srai_epi32(a7, 2));
    const __m128i b7 = _mm_sub_epi32(a7, _mm_srai_epi32(a1, 2));
    const __m128i b3 = _mm_add_epi32(a3, _mm_srai_epi32(a5, 2));
    const __m128i b5 = _mm_sub_epi32(_mm_srai_epi32(a3, 2), a5);
    s[0] = _mm_add_epi32(b0, b7);
    s[1] = _mm_add_epi32(b2, b5);
    s[2] = _mm_add_epi32(b4, b3);
    s[3] = _mm_add_epi32(b6, b1);
    s[4] = _mm_sub_epi32(b6, b1);
    s[5] = _mm_sub_epi32(b4, b3);
    s[6] = _mm_sub_epi32(b2, b5);
    s[7] = _mm_sub_epi32(b0, b7);
}

// (p << shift) + d + half, shifted back; two such rows of four packed with saturation, which
// clips to 0..255 exactly.
template <int shift>
XQOB_SSE2 inline __m128i addRounded(__m128i d, const int32_t* prediction) {
    const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(load(prediction), shift), d),
                                      _mm_set1_epi32(1 << (shift - 1)));
    return _mm_srai_epi32(sum, shift);
}

XQOB_SSE2 inline void store4(uint8_t* dst, __m128i bytes) {
    const int32_t word = _mm_cvtsi128_si32(bytes);
    __builtin_memcpy(dst, &word, 4);
}

}  // namespace

XQOB_SSE2 void reconstruct4x4Sse2(const int32_t* levels, const int32_t* factors,
                                  const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    __m128i s[4];
    const __m128i one = _mm_set1_epi32(1);
    for (int32_t r = 0; r < 4; ++r) {
        const __m128i product = multiplyLow(load(factors + 4 * r), load(levels + 4 * r));
        s[r] = _mm_srai_epi32(_mm_add_epi32(product, one), 1);
    }
    // Rows: lanes hold one position of every row; then columns: lanes hold the columns.
    transpose4(s[0], s[1], s[2], s[3]);
    inverse4(s);
    transpose4(s[0], s[1], s[2], s[3]);
    inverse4(s);
    const __m128i rows01 =
        _mm_packs_epi32(addRounded<6>(s[0], prediction), addRounded<6>(s[1], prediction + 4));
    const __m128i rows23 =
        _mm_packs_epi32(addRounded<6>(s[2], prediction + 8), addRounded<6>(s[3], prediction + 12));
    const __m128i bytes = _mm_packus_epi16(rows01, rows23);
    store4(dst, bytes);
    store4(dst + stride, _mm_srli_si128(bytes, 4));
    store4(dst + 2 * stride, _mm_srli_si128(bytes, 8));
    store4(dst + 3 * stride, _mm_srli_si128(bytes, 12));
}

XQOB_SSE2 void reconstruct8x8Sse2(const int32_t* levels, const int32_t* factors,
                                  const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    // v[8 * h + r]: row r, columns 4h..4h+3.
    __m128i v[16];
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t h = 0; h < 2; ++h) {
            v[8 * h + r] = multiplyLow(load(factors + 8 * r + 4 * h), load(levels + 8 * r + 4 * h));
        }
    }
    // Row transform: for rows 4g..4g+3, c[k] holds column k of those four rows.
    __m128i c[2][8];
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t h = 0; h < 2; ++h) {
            __m128i* out = c[g] + 4 * h;
            for (int32_t i = 0; i < 4; ++i) out[i] = v[8 * h + 4 * g + i];
            transpose4(out[0], out[1], out[2], out[3]);
        }
        inverse8(c[g]);
    }
    // Back to rows: w[r] (columns 0..3) and w[8 + r] (columns 4..7), then the columns.
    __m128i w[2][8];
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t h = 0; h < 2; ++h) {
            __m128i t[4] = {c[g][4 * h], c[g][4 * h + 1], c[g][4 * h + 2], c[g][4 * h + 3]};
            transpose4(t[0], t[1], t[2], t[3]);
            for (int32_t i = 0; i < 4; ++i) w[h][4 * g + i] = t[i];
        }
    }
    inverse8(w[0]);
    inverse8(w[1]);
    for (int32_t r = 0; r < 8; ++r, dst += stride) {
        const __m128i words = _mm_packs_epi32(addRounded<8>(w[0][r], prediction + 8 * r),
                                              addRounded<8>(w[1][r], prediction + 8 * r + 4));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(words, words));
    }
}

XQOB_SSE2 void putPrediction4x4Sse2(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    const __m128i bytes =
        _mm_packus_epi16(_mm_packs_epi32(load(prediction), load(prediction + 4)),
                         _mm_packs_epi32(load(prediction + 8), load(prediction + 12)));
    store4(dst, bytes);
    store4(dst + stride, _mm_srli_si128(bytes, 4));
    store4(dst + 2 * stride, _mm_srli_si128(bytes, 8));
    store4(dst + 3 * stride, _mm_srli_si128(bytes, 12));
}

XQOB_SSE2 void putPrediction8x8Sse2(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    for (int32_t r = 0; r < 8; r += 2, dst += 2 * stride, prediction += 16) {
        const __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(load(prediction), load(prediction + 4)),
                             _mm_packs_epi32(load(prediction + 8), load(prediction + 12)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_srli_si128(bytes, 8));
    }
}

}  // namespace xqob
#endif
