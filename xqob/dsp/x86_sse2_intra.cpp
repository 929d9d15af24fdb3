// SSE2 intra prediction in 16-bit lanes: the edge (left column bottom up, the corner, the
// top row) is smoothed eight samples at a time (8x8 blocks), the pool of the fast form is
// built from it a register at a time, and rows that read consecutive pool entries are
// widened whole.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/intra_pool.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

// Edge sample E[j] (j = -n for the bottom-left sample, 0 for the corner, 2n for the last
// above-right one) and its smoothed value S[j] sit at index j + kBase of their arrays; for the
// smoothing one more sample at each end repeats the end sample (an end without an outer
// neighbour).
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

// n samples widened to a row of the prediction.
template <int32_t n>
XQOB_SSE2 inline void storeRow(int32_t* out, __m128i row) {
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(row, zero));
    if (n == 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(row, zero));
    }
}

template <int32_t n>
XQOB_SSE2 inline void fillRows(int32_t* out, int32_t value) {
    const __m128i v = _mm_set1_epi32(value);
    for (int32_t i = 0; i < n * n; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
}

enum class Smoothing { none, luma, chroma };

template <int32_t n, Smoothing smoothing>
XQOB_SSE2 inline __attribute__((always_inline)) bool predictIntra(const IntraEdge* edge,
                                                                  int32_t mode, int32_t* out) {
    using Pool = EdgePool<n>;
    const bool top = edge->hasTop;
    const bool left = edge->hasLeft;
    if (!modeHasNeighbours(mode, top, left)) return false;

    // The raw edge. For the smoothing of the first sample on each side the corner stands in
    // for the outer neighbour when it is present, else the sample itself does; the corner's
    // own smoothed value is the corner as it is unless both sides are present. The left
    // samples past n are 0 and land below E[-n].
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
    const int16_t* s = raw + kBase;
    alignas(16) int16_t smoothed[40];
    if (smoothing != Smoothing::none) {
        raw[kBase - 9] = edge->left[7];
        raw[kBase + 17] = edge->above[15];
        raw[kBase] = top && left ? edge->corner : top ? edge->above[0] : edge->left[0];
        // S[j] for j = -9..22; only -9..16 are read.
        for (int32_t i = 1; i < 33; i += 8) {
            const __m128i a = load(raw + i - 1);
            const __m128i b = load(raw + i);
            const __m128i d = load(raw + i + 1);
            store(smoothed + i,
                  smoothing == Smoothing::chroma ? smooth28(a, b, d) : mean3(a, b, d));
        }
        if (!(top && left)) smoothed[kBase] = edge->corner;
        s = smoothed + kBase;
    } else {
        raw[kBase] = edge->corner;
    }

    if (mode == 0) {
        const __m128i row = load(s + 1);
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, row);
        return true;
    }
    if (mode == 1) {
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, _mm_set1_epi16(s[-1 - r]));
        return true;
    }
    if (mode == 2) {
        constexpr int32_t log2n = n == 4 ? 2 : 3;
        int32_t topSum = 0;
        int32_t leftSum = 0;
        for (int32_t i = 1; i <= n; ++i) {
            topSum += s[i];
            leftSum += s[-i];
        }
        int32_t value = 128;
        if (top && left) {
            value = (topSum + leftSum + n) >> (log2n + 1);
        } else if (top) {
            value = (topSum + n / 2) >> log2n;
        } else if (left) {
            value = (leftSum + n / 2) >> log2n;
        }
        fillRows<n>(out, value);
        return true;
    }

    // The pool: the edge E(-n..2n), A(-n..2n - 1), F(-n..2n - 1) (F(-n) lands in the one
    // entry that no rule reads) and the two ends, each block a register at a time in order,
    // so that a register's lanes past its block are written over by the next block. Entries
    // over an absent side are never read.
    alignas(16) int16_t pool[Pool::size + 8];
    for (int32_t i = 0; i < 3 * n; i += 8) store(pool + Pool::e(-n) + i, load(s - n + i));
    pool[Pool::e(2 * n)] = s[2 * n];
    for (int32_t i = 0; i < 3 * n; i += 8) {
        store(pool + Pool::a(-n) + i, _mm_avg_epu16(load(s - n + i), load(s - n + 1 + i)));
    }
    for (int32_t i = 0; i < 3 * n; i += 8) {
        store(pool + Pool::f(-n) + i,
              mean3(load(s - n - 1 + i), load(s - n + i), load(s - n + 1 + i)));
    }
    pool[Pool::endTop] = int16_t((s[2 * n - 1] + 3 * s[2 * n] + 2) >> 2);
    pool[Pool::endLeft] = int16_t((s[1 - n] + 3 * s[-n] + 2) >> 2);

    const uint8_t* index = kPoolIndices<n>.index[mode - 3];
    const int8_t* runs = kPoolRuns<n>.start[mode - 3];
    for (int32_t r = 0; r < n; ++r) {
        int32_t* row = out + n * r;
        if (runs[r] >= 0) {
            const int16_t* run = pool + runs[r];
            storeRow<n>(
                row, n == 8 ? load(run) : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(run)));
        } else {
            for (int32_t k = 0; k < n; ++k) row[k] = pool[index[n * r + k]];
        }
    }
    return true;
}

}  // namespace

XQOB_SSE2 bool predictIntra8x8Sse2(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out) {
    return chroma ? predictIntra<8, Smoothing::chroma>(edge, mode, out)
                  : predictIntra<8, Smoothing::luma>(edge, mode, out);
}

XQOB_SSE2 bool predictIntra4x4Sse2(const IntraEdge* edge, int32_t mode, int32_t* out) {
    return predictIntra<4, Smoothing::none>(edge, mode, out);
}

}  // namespace xqob
#endif
