// AVX2 deblocking of two 8-line segments at once, the two halves of a luma edge or the same
// chroma edge in both planes: the 16 lines side by side in 16-bit lanes, with the arithmetic
// of the SSE2 kernels. A vertical edge transposes its rows p3..q3 as two 8x8 blocks.
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

// The 8 low and the 8 high bytes of v to two places.
XQOB_AVX2 inline void storeHalves(uint8_t* low, uint8_t* high, __m128i v) {
    storeBytes8(low, v);
    storeBytes8(high, _mm_unpackhi_epi64(v, v));
}

// The six samples p2..q2 of 16 lines, 16-bit: lines 0..7 from the segment at first, lines
// 8..15 from the one at second (the next 8 lines of a luma edge, or the other chroma plane).
// For a vertical edge bytes keeps the transposed columns p3..q3 of all 16 lines.
XQOB_AVX2 inline void readLines(const uint8_t* first, const uint8_t* second, ptrdiff_t along,
                                ptrdiff_t across, __m128i* bytes, __m256i* s) {
    if (across != 1) {
        for (int32_t i = 0; i < 6; ++i) {
            const ptrdiff_t at = (i - 3) * across;
            const __m128i line =
                _mm_unpacklo_epi64(loadBytes8(first + at), loadBytes8(second + at));
            s[i] = _mm256_cvtepu8_epi16(line);
        }
        return;
    }
    __m128i top[8];
    __m128i bottom[8];
    for (int32_t i = 0; i < 8; ++i) {
        top[i] = loadBytes8(first + i * along - 4);
        bottom[i] = loadBytes8(second + i * along - 4);
    }
    transposeBytes8x8(top);
    transposeBytes8x8(bottom);
    for (int32_t i = 0; i < 8; ++i) bytes[i] = _mm_unpacklo_epi64(top[i], bottom[i]);
    for (int32_t i = 0; i < 6; ++i) s[i] = _mm256_cvtepu8_epi16(bytes[i + 1]);
}

// Writes p1, p0, q0, q1 (s[1..4]) back.
XQOB_AVX2 inline void writeLines(uint8_t* first, uint8_t* second, ptrdiff_t along, ptrdiff_t across,
                                 __m128i* bytes, const __m256i* s) {
    if (across != 1) {
        for (int32_t i = 1; i < 5; ++i) {
            const ptrdiff_t at = (i - 3) * across;
            storeHalves(first + at, second + at, toBytes(s[i]));
        }
        return;
    }
    for (int32_t i = 1; i < 5; ++i) bytes[i + 1] = toBytes(s[i]);
    __m128i top[8];
    __m128i bottom[8];
    for (int32_t i = 0; i < 8; ++i) {
        top[i] = bytes[i];
        bottom[i] = _mm_unpackhi_epi64(bytes[i], bytes[i]);
    }
    transposeBytes8x8(top);
    transposeBytes8x8(bottom);
    for (int32_t i = 0; i < 8; ++i) {
        storeBytes8(first + i * along - 4, top[i]);
        storeBytes8(second + i * along - 4, bottom[i]);
    }
}

}  // namespace

XQOB_AVX2 void filterLumaSegmentPairAvx2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                         const uint16_t* limits) {
    uint8_t* second = q0 + 8 * along;
    __m128i bytes[8];
    __m256i s[6];
    readLines(q0, second, along, across, bytes, s);
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
    s[1] = select(outerP, _mm256_add_epi16(p1, clip(stepP, negativeOuterClip, outerClip)), p1);
    s[4] = select(outerQ, _mm256_add_epi16(q1, clip(stepQ, negativeOuterClip, outerClip)), q1);
    // Each passing outer test (a mask of -1) widens the clip by 1.
    const __m256i c =
        _mm256_sub_epi16(_mm256_sub_epi16(_mm256_set1_epi16(int16_t(limits[2])), outerP), outerQ);
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(p1, q1), _mm256_set1_epi16(3)),
                         _mm256_slli_epi16(_mm256_sub_epi16(q, p0), 3)),
        _mm256_set1_epi16(8));
    const __m256i delta = clip(_mm256_srai_epi16(sum, 4), _mm256_sub_epi16(zero, c), c);
    s[2] = select(filtered, _mm256_add_epi16(p0, delta), p0);
    s[3] = select(filtered, _mm256_sub_epi16(q, delta), q);
    writeLines(q0, second, along, across, bytes, s);
}

XQOB_AVX2 void filterChromaSegmentsAvx2(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                                        const uint8_t* limits) {
    __m128i bytes[8];
    __m256i s[6];
    readLines(cr, cb, along, across, bytes, s);
    const __m256i p2 = s[0], p1 = s[1], p0 = s[2], q = s[3], q1 = s[4], q2 = s[5];
    const __m256i stepLimit = _mm256_set1_epi16(limits[0]);
    const __m256i flatLimit = _mm256_set1_epi16(limits[1]);
    const __m256i clipLimit = _mm256_set1_epi16(limits[2]);
    __m256i ramp = below(_mm256_sub_epi16(p0, q), stepLimit);
    ramp = _mm256_and_si256(ramp, below(_mm256_sub_epi16(p0, p2), flatLimit));
    ramp = _mm256_and_si256(ramp, below(_mm256_sub_epi16(p1, p2), flatLimit));
    ramp = _mm256_and_si256(ramp, below(_mm256_sub_epi16(q, q2), flatLimit));
    ramp = _mm256_and_si256(ramp, below(_mm256_sub_epi16(q1, q2), flatLimit));
    // The ramp from p2 to q2.
    const __m256i d = _mm256_sub_epi16(q2, p2);
    const __m256i two = _mm256_set1_epi16(2);
    const __m256i quarter = _mm256_srai_epi16(_mm256_add_epi16(d, two), 2);
    const __m256i half = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(d, d), two), 2);
    // The clipped correction.
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_slli_epi16(_mm256_sub_epi16(q, p0), 4),
                         _mm256_mullo_epi16(_mm256_sub_epi16(p1, q1), _mm256_set1_epi16(5))),
        _mm256_set1_epi16(16));
    const __m256i delta = clip(_mm256_srai_epi16(sum, 5),
                               _mm256_sub_epi16(_mm256_setzero_si256(), clipLimit), clipLimit);
    s[1] = select(ramp, _mm256_add_epi16(p2, quarter), p1);
    s[2] = select(ramp, _mm256_add_epi16(p2, half), _mm256_add_epi16(p0, delta));
    s[3] = select(ramp, _mm256_sub_epi16(q2, half), _mm256_sub_epi16(q, delta));
    s[4] = select(ramp, _mm256_sub_epi16(q2, quarter), q1);
    writeLines(cr, cb, along, across, bytes, s);
}

}  // namespace xqob
#endif
