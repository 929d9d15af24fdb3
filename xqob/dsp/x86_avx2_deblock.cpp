// AVX2 luma deblocking of two segments of one edge at once: the 16 lines side by side in
// 16-bit lanes, with the arithmetic of the SSE2 kernel. A horizontal edge reads 16 samples of
// each of its six rows; a vertical edge transposes its 16 rows of p3..q3 as two 8x8 blocks.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <immintrin.h>

#include "xqob/dsp/x86_avx2.h"
#include "xqob/dsp/x86_deblock_bytes.h"

namespace xqob {

namespace {

XQOB_AVX2 inline __m256i below(__m256i difference, __m256i limit) {
    return _mm256_cmpgt_epi16(limit, _mm256_abs_epi16(difference));
}

XQOB_AVX2 inline __m256i clip(__m256i v, __m256i low, __m256i high) {
    return _mm256_min_epi16(_mm256_max_epi16(v, low), high);
}

XQOB_AVX2 inline __m256i select(__m256i mask, __m256i yes, __m256i no) {
    return _mm256_blendv_epi8(no, yes, mask);
}

// 16 samples, 16-bit, to bytes in order (within 0..255 after the unsigned saturation).
XQOB_AVX2 inline __m128i toBytes(__m256i words) {
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

// The columns p3..q3 of 16 rows from q0 - 4, each as 16 bytes (row order).
XQOB_AVX2 inline void readColumns(const uint8_t* q0, ptrdiff_t along, __m128i* columns) {
    __m128i top[8];
    __m128i bottom[8];
    for (int32_t i = 0; i < 8; ++i) {
        top[i] = loadBytes8(q0 + i * along - 4);
        bottom[i] = loadBytes8(q0 + (i + 8) * along - 4);
    }
    transposeBytes8x8(top);
    transposeBytes8x8(bottom);
    for (int32_t i = 0; i < 8; ++i) columns[i] = _mm_unpacklo_epi64(top[i], bottom[i]);
}

XQOB_AVX2 inline void writeColumns(uint8_t* q0, ptrdiff_t along, const __m128i* columns) {
    __m128i top[8];
    __m128i bottom[8];
    for (int32_t i = 0; i < 8; ++i) {
        top[i] = columns[i];
        bottom[i] = _mm_unpackhi_epi64(columns[i], columns[i]);
    }
    transposeBytes8x8(top);
    transposeBytes8x8(bottom);
    for (int32_t i = 0; i < 8; ++i) {
        storeBytes8(q0 + i * along - 4, top[i]);
        storeBytes8(q0 + (i + 8) * along - 4, bottom[i]);
    }
}

}  // namespace

XQOB_AVX2 void filterLumaSegmentPairAvx2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                         const uint16_t* limits) {
    // s: p2, p1, p0, q0, q1, q2 of the 16 lines.
    __m128i bytes[8];
    __m256i s[6];
    if (across != 1) {
        for (int32_t i = 0; i < 6; ++i) {
            bytes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q0 + (i - 3) * across));
        }
        for (int32_t i = 0; i < 6; ++i) s[i] = _mm256_cvtepu8_epi16(bytes[i]);
    } else {
        readColumns(q0, along, bytes);
        for (int32_t i = 0; i < 6; ++i) s[i] = _mm256_cvtepu8_epi16(bytes[i + 1]);
    }
    const __m256i p2 = s[0], p1 = s[1], p0 = s[2], q = s[3], q1 = s[4], q2 = s[5];
    const __m256i stepLimit = _mm256_set1_epi16(int16_t(limits[0]));
    const __m256i outerLimit = _mm256_set1_epi16(int16_t(limits[1]));
    const __m256i outerClip = _mm256_set1_epi16(int16_t(limits[3]));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i filtered = _mm256_and_si256(below(_mm256_sub_epi16(p1, p0), stepLimit),
                                              below(_mm256_sub_epi16(q1, q), stepLimit));
    if (_mm256_movemask_epi8(filtered) == 0) return;
    const __m256i mid = _mm256_avg_epu16(p0, q);
    const __m256i outerP = _mm256_and_si256(filtered, below(_mm256_sub_epi16(p2, p0), outerLimit));
    const __m256i outerQ = _mm256_and_si256(filtered, below(_mm256_sub_epi16(q2, q), outerLimit));
    const __m256i negativeOuterClip = _mm256_sub_epi16(zero, outerClip);
    const __m256i stepP =
        _mm256_srai_epi16(_mm256_sub_epi16(_mm256_add_epi16(p2, mid), _mm256_add_epi16(p1, p1)), 1);
    const __m256i stepQ =
        _mm256_srai_epi16(_mm256_sub_epi16(_mm256_add_epi16(q2, mid), _mm256_add_epi16(q1, q1)), 1);
    const __m256i newP1 =
        select(outerP, _mm256_add_epi16(p1, clip(stepP, negativeOuterClip, outerClip)), p1);
    const __m256i newQ1 =
        select(outerQ, _mm256_add_epi16(q1, clip(stepQ, negativeOuterClip, outerClip)), q1);
    const __m256i c =
        _mm256_sub_epi16(_mm256_sub_epi16(_mm256_set1_epi16(int16_t(limits[2])), outerP), outerQ);
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(p1, q1), _mm256_set1_epi16(3)),
                         _mm256_slli_epi16(_mm256_sub_epi16(q, p0), 3)),
        _mm256_set1_epi16(8));
    const __m256i delta = clip(_mm256_srai_epi16(sum, 4), _mm256_sub_epi16(zero, c), c);
    const __m256i newP0 = select(filtered, _mm256_add_epi16(p0, delta), p0);
    const __m256i newQ0 = select(filtered, _mm256_sub_epi16(q, delta), q);
    const __m256i changed[4] = {newP1, newP0, newQ0, newQ1};
    if (across != 1) {
        for (int32_t i = 0; i < 4; ++i) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q0 + (i - 2) * across),
                             toBytes(changed[i]));
        }
        return;
    }
    for (int32_t i = 0; i < 4; ++i) bytes[i + 2] = toBytes(changed[i]);
    writeColumns(q0, along, bytes);
}

}  // namespace xqob
#endif
