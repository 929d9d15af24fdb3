// SSE2 deblocking: the 8 lines of a segment side by side in 16-bit lanes. A horizontal edge
// reads its lines straight from six rows; a vertical edge transposes 8 rows of 8 samples
// (p3..q3) in and out. Every line decides its own branch through lane masks.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/x86_deblock_bytes.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

// The six samples p2, p1, p0, q0, q1, q2 of 8 lines, 16-bit.
struct Lines {
    __m128i s[6];
};

// Reads the segment; for a vertical edge also keeps the 8 transposed columns p3..q3.
XQOB_SSE2 inline Lines readLines(const uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                 __m128i* columns) {
    const __m128i zero = _mm_setzero_si128();
    Lines lines;
    if (across != 1) {
        for (int32_t i = 0; i < 6; ++i) {
            lines.s[i] = _mm_unpacklo_epi8(loadBytes8(q0 + (i - 3) * across), zero);
        }
        return lines;
    }
    for (int32_t i = 0; i < 8; ++i) columns[i] = loadBytes8(q0 + i * along - 4);
    transposeBytes8x8(columns);
    for (int32_t i = 0; i < 6; ++i) lines.s[i] = _mm_unpacklo_epi8(columns[i + 1], zero);
    return lines;
}

// Writes p1, p0, q0, q1 back (the rest is unchanged).
XQOB_SSE2 inline void writeLines(uint8_t* q0, ptrdiff_t along, ptrdiff_t across, const Lines& lines,
                                 __m128i* columns) {
    if (across != 1) {
        for (int32_t i = 1; i < 5; ++i) {
            storeBytes8(q0 + (i - 3) * across, _mm_packus_epi16(lines.s[i], lines.s[i]));
        }
        return;
    }
    for (int32_t i = 1; i < 5; ++i) columns[i + 1] = _mm_packus_epi16(lines.s[i], lines.s[i]);
    transposeBytes8x8(columns);
    for (int32_t i = 0; i < 8; ++i) storeBytes8(q0 + i * along - 4, columns[i]);
}

XQOB_SSE2 inline __m128i absolute(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

XQOB_SSE2 inline __m128i below(__m128i difference, __m128i limit) {
    return _mm_cmplt_epi16(absolute(difference), limit);
}

XQOB_SSE2 inline __m128i clip(__m128i v, __m128i low, __m128i high) {
    return _mm_min_epi16(_mm_max_epi16(v, low), high);
}

XQOB_SSE2 inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

}  // namespace

XQOB_SSE2 void filterLumaSegmentSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                     const uint16_t* limits) {
    __m128i columns[8];
    Lines lines = readLines(q0, along, across, columns);
    const __m128i p2 = lines.s[0], p1 = lines.s[1], p0 = lines.s[2];
    const __m128i q = lines.s[3], q1 = lines.s[4], q2 = lines.s[5];
    const __m128i stepLimit = _mm_set1_epi16(int16_t(limits[0]));
    const __m128i outerLimit = _mm_set1_epi16(int16_t(limits[1]));
    const __m128i outerClip = _mm_set1_epi16(int16_t(limits[3]));
    const __m128i negativeOuterClip = _mm_sub_epi16(_mm_setzero_si128(), outerClip);
    // Lines whose sides are not smooth stay as they are.
    const __m128i filtered = _mm_and_si128(below(_mm_sub_epi16(p1, p0), stepLimit),
                                           below(_mm_sub_epi16(q1, q), stepLimit));
    if (_mm_movemask_epi8(filtered) == 0) return;
    const __m128i mid = _mm_avg_epu16(p0, q);  // (p0 + q0 + 1) >> 1
    const __m128i outerP = _mm_and_si128(filtered, below(_mm_sub_epi16(p2, p0), outerLimit));
    const __m128i outerQ = _mm_and_si128(filtered, below(_mm_sub_epi16(q2, q), outerLimit));
    const __m128i stepP =
        _mm_srai_epi16(_mm_sub_epi16(_mm_add_epi16(p2, mid), _mm_add_epi16(p1, p1)), 1);
    const __m128i stepQ =
        _mm_srai_epi16(_mm_sub_epi16(_mm_add_epi16(q2, mid), _mm_add_epi16(q1, q1)), 1);
    lines.s[1] = select(outerP, _mm_add_epi16(p1, clip(stepP, negativeOuterClip, outerClip)), p1);
    lines.s[4] = select(outerQ, _mm_add_epi16(q1, clip(stepQ, negativeOuterClip, outerClip)), q1);
    // Each passing outer test (a mask of -1) widens the clip by 1.
    const __m128i c =
        _mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(int16_t(limits[2])), outerP), outerQ);
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(p1, q1), _mm_set1_epi16(3)),
                                    _mm_slli_epi16(_mm_sub_epi16(q, p0), 3)),
                      _mm_set1_epi16(8));
    const __m128i delta = clip(_mm_srai_epi16(sum, 4), _mm_sub_epi16(_mm_setzero_si128(), c), c);
    // Unsigned saturation of the packed store clips p0 and q0 to 0..255.
    lines.s[2] = select(filtered, _mm_add_epi16(p0, delta), p0);
    lines.s[3] = select(filtered, _mm_sub_epi16(q, delta), q);
    writeLines(q0, along, across, lines, columns);
}

XQOB_SSE2 void filterLumaSegmentPairSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                         const uint16_t* limits) {
    filterLumaSegmentSse2(q0, along, across, limits);
    filterLumaSegmentSse2(q0 + 8 * along, along, across, limits);
}

XQOB_SSE2 void filterChromaSegmentSse2(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                       const uint8_t* limits) {
    __m128i columns[8];
    Lines lines = readLines(q0, along, across, columns);
    const __m128i p2 = lines.s[0], p1 = lines.s[1], p0 = lines.s[2];
    const __m128i q = lines.s[3], q1 = lines.s[4], q2 = lines.s[5];
    const __m128i stepLimit = _mm_set1_epi16(limits[0]);
    const __m128i flatLimit = _mm_set1_epi16(limits[1]);
    const __m128i clipLimit = _mm_set1_epi16(limits[2]);
    __m128i ramp = below(_mm_sub_epi16(p0, q), stepLimit);
    ramp = _mm_and_si128(ramp, below(_mm_sub_epi16(p0, p2), flatLimit));
    ramp = _mm_and_si128(ramp, below(_mm_sub_epi16(p1, p2), flatLimit));
    ramp = _mm_and_si128(ramp, below(_mm_sub_epi16(q, q2), flatLimit));
    ramp = _mm_and_si128(ramp, below(_mm_sub_epi16(q1, q2), flatLimit));
    // The ramp from p2 to q2.
    const __m128i d = _mm_sub_epi16(q2, p2);
    const __m128i two = _mm_set1_epi16(2);
    const __m128i quarter = _mm_srai_epi16(_mm_add_epi16(d, two), 2);
    const __m128i half = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(d, d), two), 2);
    // The clipped correction.
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(_mm_sub_epi16(q, p0), 4),
                                    _mm_mullo_epi16(_mm_sub_epi16(p1, q1), _mm_set1_epi16(5))),
                      _mm_set1_epi16(16));
    const __m128i delta =
        clip(_mm_srai_epi16(sum, 5), _mm_sub_epi16(_mm_setzero_si128(), clipLimit), clipLimit);
    lines.s[1] = select(ramp, _mm_add_epi16(p2, quarter), p1);
    lines.s[2] = select(ramp, _mm_add_epi16(p2, half), _mm_add_epi16(p0, delta));
    lines.s[3] = select(ramp, _mm_sub_epi16(q2, half), _mm_sub_epi16(q, delta));
    lines.s[4] = select(ramp, _mm_sub_epi16(q2, quarter), q1);
    writeLines(q0, along, across, lines, columns);
}

XQOB_SSE2 void filterChromaSegmentsSse2(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                                        const uint8_t* limits) {
    filterChromaSegmentSse2(cr, along, across, limits);
    filterChromaSegmentSse2(cb, along, across, limits);
}

}  // namespace xqob
#endif
