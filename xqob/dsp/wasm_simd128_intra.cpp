// WebAssembly SIMD128 intra prediction, the steps of the SSE2 kernel in 16-bit lanes: the edge
// formed and smoothed in registers, the pool's blocks formed from it, and its rows formed in
// registers, loaded whole or moved along from an earlier row.
#include "xqob/dsp/wasm.h"

#if XQOB_DSP_WASM
#include <wasm_simd128.h>

#include "xqob/dsp/intra_pool.h"

namespace xqob {

namespace {

// Lanes from lanes on of first, then second.
template <int32_t lanes>
XQOB_SIMD128 inline v128_t window(v128_t first, v128_t second) {
    return wasm_i16x8_shuffle(first, second, lanes, lanes + 1, lanes + 2, lanes + 3, lanes + 4,
                              lanes + 5, lanes + 6, lanes + 7);
}

// (a + 2b + d + 2) >> 2 in each lane.
XQOB_SIMD128 inline v128_t mean3(v128_t a, v128_t b, v128_t d) {
    const v128_t sum = wasm_i16x8_add(wasm_i16x8_add(a, d), wasm_i16x8_add(b, b));
    return wasm_u16x8_shr(wasm_i16x8_add(sum, wasm_i16x8_splat(2)), 2);
}

// (9a + 10b + 9d + 14) / 28 in each lane: the sum is below 7168, x / 28 is (x >> 2) / 7, and
// (y * 9363) >> 16 is y / 7 for every y below 1792.
XQOB_SIMD128 inline v128_t smooth28(v128_t a, v128_t b, v128_t d) {
    const v128_t outer = wasm_i16x8_mul(wasm_i16x8_add(a, d), wasm_i16x8_splat(9));
    const v128_t inner = wasm_i16x8_mul(b, wasm_i16x8_splat(10));
    const v128_t y =
        wasm_u16x8_shr(wasm_i16x8_add(wasm_i16x8_add(outer, inner), wasm_i16x8_splat(14)), 2);
    const v128_t seventh = wasm_i16x8_splat(9363);
    return wasm_u16x8_narrow_i32x4(wasm_u32x4_shr(wasm_u32x4_extmul_low_u16x8(y, seventh), 16),
                                   wasm_u32x4_shr(wasm_u32x4_extmul_high_u16x8(y, seventh), 16));
}

template <int32_t n>
XQOB_SIMD128 inline void storeRow(int32_t* out, v128_t row) {
    wasm_v128_store(out, wasm_u32x4_extend_low_u16x8(row));
    if (n == 8) wasm_v128_store(out + 4, wasm_u32x4_extend_high_u16x8(row));
}

// A row of n samples in the low lanes of a register, for the pool's rows.
template <int32_t n>
struct Rows {
    using Vector = v128_t;
    XQOB_SIMD128 static Vector run(const int16_t* entries) {
        return n == 8 ? wasm_v128_load(entries) : wasm_v128_load64_zero(entries);
    }
    template <int32_t shift>
    XQOB_SIMD128 static Vector moved(Vector row) {
        const v128_t zero = wasm_i16x8_splat(0);
        return shift > 0 ? window<8 - shift>(zero, row) : window<-shift>(row, zero);
    }
    template <int32_t lane>
    XQOB_SIMD128 static Vector with(Vector row, int32_t value) {
        return wasm_i16x8_replace_lane(row, lane, int16_t(value));
    }
    XQOB_SIMD128 static void store(int32_t* out, Vector row) { storeRow<n>(out, row); }
};

// The 3n entries of a pool block from entry -n of registers holding entries -8..15.
template <int32_t n>
XQOB_SIMD128 inline void storeBlock(int16_t* to, const v128_t* block) {
    if (n == 8) {
        for (int32_t k = 0; k < 3; ++k) wasm_v128_store(to + 8 * k, block[k]);
    } else {
        wasm_v128_store(to, window<4>(block[0], block[1]));
        wasm_v128_store(to + 8, window<4>(block[1], block[2]));
    }
}

enum class Smoothing { none, luma, chroma };

template <int32_t n, Smoothing smoothing>
XQOB_SIMD128 inline __attribute__((always_inline)) bool predictIntra(const IntraEdge* edge,
                                                                     int32_t mode, int32_t* out) {
    using Pool = EdgePool<n>;
    const bool top = edge->hasTop;
    const bool left = edge->hasLeft;
    if (!modeHasNeighbours(mode, top, left)) return false;

    // The edge in four registers, E(-8..-1), E(0..7), E(8..15), E(16..23), with the rules of
    // the SSE2 kernel for the ends and the corner.
    const v128_t zero = wasm_i16x8_splat(0);
    const v128_t top0 = wasm_u16x8_load8x8(edge->above);
    const v128_t top1 = wasm_u16x8_load8x8(edge->above + 8);
    const v128_t forward = wasm_u16x8_load8x8(edge->left);
    v128_t e[4];
    e[0] = wasm_i16x8_shuffle(forward, forward, 7, 6, 5, 4, 3, 2, 1, 0);
    e[2] = window<7>(top0, top1);
    if (smoothing != Smoothing::none) {
        const int32_t outer = top && left ? edge->corner : top ? edge->above[0] : edge->left[0];
        e[1] = wasm_i16x8_replace_lane(window<7>(zero, top0), 0, int16_t(outer));
        e[3] = wasm_i16x8_replace_lane(window<7>(top1, zero), 1, int16_t(edge->above[15]));
        const v128_t below = wasm_i16x8_replace_lane(zero, 7, int16_t(edge->left[7]));
        v128_t smoothed[4];
        for (int32_t k = 0; k < 4; ++k) {
            const v128_t previous = window<7>(k == 0 ? below : e[k - 1], e[k]);
            const v128_t next = window<1>(e[k], k == 3 ? zero : e[k + 1]);
            smoothed[k] = smoothing == Smoothing::chroma ? smooth28(previous, e[k], next)
                                                         : mean3(previous, e[k], next);
        }
        for (int32_t k = 0; k < 4; ++k) e[k] = smoothed[k];
        if (!(top && left)) e[1] = wasm_i16x8_replace_lane(e[1], 0, int16_t(edge->corner));
    } else {
        e[1] = wasm_i16x8_replace_lane(window<7>(zero, top0), 0, int16_t(edge->corner));
        e[3] = window<7>(top1, zero);
    }
    alignas(16) int16_t samples[32];
    for (int32_t k = 0; k < 4; ++k) wasm_v128_store(samples + 8 * k, e[k]);
    const int16_t* s = samples + 8;

    if (mode == 0) {
        const v128_t row = window<1>(e[1], e[2]);
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, row);
        return true;
    }
    if (mode == 1) {
        for (int32_t r = 0; r < n; ++r) storeRow<n>(out + n * r, wasm_i16x8_splat(s[-1 - r]));
        return true;
    }
    if (mode == 2) {
        int32_t topSum = 0;
        int32_t leftSum = 0;
        for (int32_t i = 1; i <= n; ++i) {
            topSum += s[i];
            leftSum += s[-i];
        }
        const v128_t fill = wasm_i32x4_splat(dcFromSums<n>(topSum, leftSum, top, left));
        for (int32_t i = 0; i < n * n; i += 4) wasm_v128_store(out + i, fill);
        return true;
    }

    v128_t a[3];
    v128_t f[3];
    for (int32_t k = 0; k < 3; ++k) {
        const v128_t previous = window<7>(k == 0 ? zero : e[k - 1], e[k]);
        const v128_t next = window<1>(e[k], e[k + 1]);
        a[k] = wasm_u16x8_avgr(e[k], next);
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

XQOB_SIMD128 bool predictIntra8x8Simd128(const IntraEdge* edge, int32_t mode, bool chroma,
                                         int32_t* out) {
    return chroma ? predictIntra<8, Smoothing::chroma>(edge, mode, out)
                  : predictIntra<8, Smoothing::luma>(edge, mode, out);
}

XQOB_SIMD128 bool predictIntra4x4Simd128(const IntraEdge* edge, int32_t mode, int32_t* out) {
    return predictIntra<4, Smoothing::none>(edge, mode, out);
}

}  // namespace xqob
#endif
