// SSE2 8x8 intra prediction in 16-bit lanes: the edge (left column bottom up, the corner,
// the top row) is smoothed eight samples at a time, the pool of the fast form is built from
// it a register at a time, and rows that read consecutive pool entries are widened whole.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/intra_pool.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

using Pool = EdgePool<8>;

// Edge sample E[j] (j = -8 for the bottom-left sample, 0 for the corner, 16 for the last
// above-right one) and its smoothed value S[j] sit at index j + kBase of their arrays; one
// more sample at each end repeats the end sample (an end without an outer neighbour).
constexpr int32_t kBase = 10;

XQOB_SSE2 inline __m128i load(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

XQOB_SSE2 inline void store(int16_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// (a + 2b + d + 2) >> 2 in each lane.
XQOB_SSE2 inline __m128i mean3(__m128i a, __m128i b, __m128i d) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(a, d), _mm_add_epi16(b, b));
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(2)), 2);
}

// (9a + 10b + 9d + 14) / 28 in each lane: the sum is below 7168, x / 28 is (x >> 2) / 7,
// and (y * 9363) >> 16 is y / 7 for every y below 1792.
XQOB_SSE2 inline __m128i smooth28(__m128i a, __m128i b, __m128i d) {
    const __m128i outer = _mm_mullo_epi16(_mm_add_epi16(a, d), _mm_set1_epi16(9));
    const __m128i inner = _mm_mullo_epi16(b, _mm_set1_epi16(10));
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(outer, inner), _mm_set1_epi16(14));
    return _mm_mulhi_epu16(_mm_srli_epi16(sum, 2), _mm_set1_epi16(9363));
}

// Eight samples widened to a row of the prediction.
XQOB_SSE2 inline void storeRow(int32_t* out, __m128i row) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(row, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(row, zero));
}

XQOB_SSE2 inline void fillRows(int32_t* out, int32_t value) {
    const __m128i v = _mm_set1_epi32(value);
    for (int32_t i = 0; i < 64; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
}

}  // namespace

XQOB_SSE2 bool predictIntra8x8Sse2(const IntraEdge8x8* edge, int32_t mode, bool chroma,
                                   int32_t* out) {
    const bool top = edge->hasTop;
    const bool left = edge->hasLeft;
    if (!modeHasNeighbours(mode, top, left)) return false;

    // The raw edge. For the smoothing of the first sample on each side the corner stands in
    // for the outer neighbour when it is present, else the sample itself does; the corner's
    // own smoothed value is the corner as it is unless both sides are present.
    alignas(16) int16_t raw[40];
    const __m128i zero = _mm_setzero_si128();
    for (int32_t i = 0; i < 40; i += 8) store(raw + i, zero);
    const __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(edge->above));
    store(raw + kBase + 1, _mm_unpacklo_epi8(above, zero));
    store(raw + kBase + 9, _mm_unpackhi_epi8(above, zero));
    __m128i column =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(edge->left)), zero);
    column = _mm_shuffle_epi32(column, _MM_SHUFFLE(1, 0, 3, 2));
    column = _mm_shufflehi_epi16(_mm_shufflelo_epi16(column, _MM_SHUFFLE(0, 1, 2, 3)),
                                 _MM_SHUFFLE(0, 1, 2, 3));
    store(raw + kBase - 8, column);
    raw[kBase - 9] = edge->left[7];
    raw[kBase + 17] = edge->above[15];
    raw[kBase] = top && left ? edge->corner : top ? edge->above[0] : edge->left[0];

    // S[j] for j = -9..22; only -8..16 are read.
    alignas(16) int16_t smooth[40];
    for (int32_t i = 1; i < 33; i += 8) {
        const __m128i a = load(raw + i - 1);
        const __m128i b = load(raw + i);
        const __m128i d = load(raw + i + 1);
        store(smooth + i, chroma ? smooth28(a, b, d) : mean3(a, b, d));
    }
    if (!(top && left)) smooth[kBase] = edge->corner;
    const int16_t* s = smooth + kBase;

    if (mode == 0) {
        const __m128i row = load(s + 1);
        for (int32_t r = 0; r < 8; ++r) storeRow(out + 8 * r, row);
        return true;
    }
    if (mode == 1) {
        for (int32_t r = 0; r < 8; ++r) {
            const __m128i v = _mm_set1_epi32(s[-1 - r]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * r), v);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * r + 4), v);
        }
        return true;
    }
    if (mode == 2) {
        int32_t topSum = 0;
        int32_t leftSum = 0;
        for (int32_t i = 1; i <= 8; ++i) {
            topSum += s[i];
            leftSum += s[-i];
        }
        int32_t value = 128;
        if (top && left) {
            value = (topSum + leftSum + 8) >> 4;
        } else if (top) {
            value = (topSum + 4) >> 3;
        } else if (left) {
            value = (leftSum + 4) >> 3;
        }
        fillRows(out, value);
        return true;
    }

    // The pool: the edge E(-8..16), A(-8..15), F(-8..15) (F(-8) lands in the one entry that
    // no rule reads) and the two ends. Entries over an absent side are never read.
    alignas(16) int16_t pool[80];
    for (int32_t i = 0; i < 24; i += 8) store(pool + Pool::e(-8) + i, load(s - 8 + i));
    pool[Pool::e(16)] = s[16];
    for (int32_t i = 0; i < 24; i += 8) {
        const __m128i before = load(s - 9 + i);
        const __m128i at = load(s - 8 + i);
        const __m128i after = load(s - 7 + i);
        store(pool + Pool::a(-8) + i, _mm_avg_epu16(at, after));
        store(pool + Pool::f(-8) + i, mean3(before, at, after));
    }
    pool[Pool::endTop] = int16_t((s[15] + 3 * s[16] + 2) >> 2);
    pool[Pool::endLeft] = int16_t((s[-7] + 3 * s[-8] + 2) >> 2);

    const uint8_t* index = kPoolIndices<8>.index[mode - 3];
    const int8_t* runs = kPoolRuns<8>.start[mode - 3];
    for (int32_t r = 0; r < 8; ++r) {
        int32_t* row = out + 8 * r;
        if (runs[r] >= 0) {
            storeRow(row, load(pool + runs[r]));
        } else {
            for (int32_t k = 0; k < 8; ++k) row[k] = pool[index[8 * r + k]];
        }
    }
    return true;
}

}  // namespace xqob
#endif
