// SSE2 intra prediction in 16-bit lanes: the edge (left column bottom up, the corner, the
// top row) is smoothed eight samples at a time (8x8 blocks), the pool of the fast form is
// built from it a register at a time, and its rows are formed in registers: those that read
// consecutive pool entries loaded whole, the others moved along from an earlier row.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <emmintrin.h>

#include "xqob/dsp/intra_pool.h"
#include "xqob/dsp/x86_sse2.h"

namespace xqob {

namespace {

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

// Lanes from lanes on of first, then second: first's last 8 - lanes lanes, then second's first
// lanes lanes.
template <int32_t lanes>
XQOB_SSE2 inline __m128i window(__m128i first, __m128i second) {
    if (lanes == 0) return first;
    return _mm_or_si128(_mm_srli_si128(first, 2 * lanes), _mm_slli_si128(second, 16 - 2 * lanes));
}

// A row of n samples in the low lanes of a register, for the pool's rows.
template <int32_t n>
struct Rows {
    using Vector = __m128i;
    XQOB_SSE2 static Vector run(const int16_t* entries) {
        return n == 8 ? load(entries) : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(entries));
    }
    template <int32_t shift>
    XQOB_SSE2 static Vector moved(Vector row) {
        return shift > 0 ? _mm_slli_si128(row, 2 * shift) : _mm_srli_si128(row, -2 * shift);
    }
    template <int32_t lane>
    XQOB_SSE2 static Vector with(Vector row, int32_t value) {
        return _mm_insert_epi16(row, value, lane);
    }
    XQOB_SSE2 static void store(int32_t* out, Vector row) { storeRow<n>(out, row); }
};

// The 3n entries of a pool block from entry -n of registers holding entries -8..15.
template <int32_t n>
XQOB_SSE2 inline void storeBlock(int16_t* to, const __m128i* block) {
    if (n == 8) {
        for (int32_t k = 0; k < 3; ++k) store(to + 8 * k, block[k]);
    } else {
        store(to, window<4>(block[0], block[1]));
        store(to + 8, window<4>(block[1], block[2]));
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

    // The edge in four registers, E(-8..-1), E(0..7), E(8..15), E(16..23), formed and
    // smoothed in registers: a store followed by a load that straddles it waits for the store.
    // For the smoothing of the first sample on each side the corner stands in for the outer
    // neighbour when it is present, else the sample itself does; the ends repeat their last
    // sample. The corner's own smoothed value is the corner as it is unless both sides are
    // present. The samples past n are 0, so a 4x4 edge lies inside the same registers.
    const __m128i zero = _mm_setzero_si128();
    const __m128i above = _mm_loadu_si128(reinterpret_cast<const __m128i*>(edge->above));
    const __m128i top0 = _mm_unpacklo_epi8(above, zero);
    const __m128i top1 = _mm_unpackhi_epi8(above, zero);
    __m128i column =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(edge->left)), zero);
    column = _mm_shuffle_epi32(column, _MM_SHUFFLE(1, 0, 3, 2));
    column = _mm_shufflehi_epi16(_mm_shufflelo_epi16(column, _MM_SHUFFLE(0, 1, 2, 3)),
                                 _MM_SHUFFLE(0, 1, 2, 3));
    __m128i e[4];
    e[0] = column;
    e[2] = window<7>(top0, top1);
    if (smoothing != Smoothing::none) {
        const int32_t outer = top && left ? edge->corner : top ? edge->above[0] : edge->left[0];
        e[1] = _mm_insert_epi16(_mm_slli_si128(top0, 2), outer, 0);
        e[3] = _mm_insert_epi16(_mm_srli_si128(top1, 14), edge->above[15], 1);
        const __m128i below = _mm_insert_epi16(zero, edge->left[7], 7);
        __m128i smoothed[4];
        for (int32_t k = 0; k < 4; ++k) {
            const __m128i previous = window<7>(k == 0 ? below : e[k - 1], e[k]);
            const __m128i next = window<1>(e[k], k == 3 ? zero : e[k + 1]);
            smoothed[k] = smoothing == Smoothing::chroma ? smooth28(previous, e[k], next)
                                                         : mean3(previous, e[k], next);
        }
        for (int32_t k = 0; k < 4; ++k) e[k] = smoothed[k];
        if (!(top && left)) e[1] = _mm_insert_epi16(e[1], edge->corner, 0);
    } else {
        e[1] = _mm_insert_epi16(_mm_slli_si128(top0, 2), edge->corner, 0);
        e[3] = _mm_srli_si128(top1, 14);
    }
    // The smoothed samples one by one, S(j) at s[j]; each load lies inside one store.
    alignas(16) int16_t samples[32];
    for (int32_t k = 0; k < 4; ++k) store(samples + 8 * k, e[k]);
    const int16_t* s = samples + 8;

    if (mode == 0) {
        const __m128i row = window<1>(e[1], e[2]);
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, row);
        return true;
    }
    if (mode == 1) {
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, _mm_set1_epi16(s[-1 - r]));
        return true;
    }
    if (mode == 2) {
        // The sums of the n samples above and the n to the left (the left register's
        // lanes below E(-n) are 0), as the two halves of one sum of absolute differences.
        __m128i above = window<1>(e[1], e[2]);
        if (n == 4) above = _mm_move_epi64(above);
        const __m128i sums = _mm_sad_epu8(_mm_packus_epi16(above, e[0]), zero);
        const int32_t topSum = _mm_cvtsi128_si32(sums);
        const int32_t leftSum = _mm_extract_epi16(sums, 4);
        fillRows<n>(out, dcFromSums<n>(topSum, leftSum, top, left));
        return true;
    }

    // The pool: the edge E(-n..2n), A(-n..2n - 1), F(-n..2n - 1) (F(-n) lands in the one
    // entry that no rule reads) and the two ends, each block a register at a time in order,
    // so that a register's lanes past its block are written over by the next block. Entries
    // over an absent side are never read.
    __m128i a[3];
    __m128i f[3];
    for (int32_t k = 0; k < 3; ++k) {
        const __m128i previous = window<7>(k == 0 ? zero : e[k - 1], e[k]);
        const __m128i next = window<1>(e[k], e[k + 1]);
        a[k] = _mm_avg_epu16(e[k], next);
        f[k] = mean3(previous, e[k], next);
    }
    alignas(16) int16_t pool[Pool::size + 8];
    storeBlock<n>(pool + Pool::e(-n), e);
    storeBlock<n>(pool + Pool::a(-n), a);
    storeBlock<n>(pool + Pool::f(-n), f);
    setPoolSingles<n>(s, pool);
    formPoolRows<n, Rows<n>>(pool, mode, out);
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
