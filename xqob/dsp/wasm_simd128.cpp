// WebAssembly SIMD128 kernels: reconstruction, colour conversion and chroma upsampling (intra
// prediction is in wasm_simd128_intra.cpp), the pixel stages that take measurable time in a
// WebAssembly decode. The deblocking lines stay on the reference code (one 8-line segment at
// a time, data-dependent per line). Lane arithmetic wraps modulo 2^32 and wasm_i32x4_shr is
// the arithmetic shift, exactly as in the reference.
#include "xqob/dsp/wasm.h"

#if XQOB_DSP_WASM
#include <wasm_simd128.h>

#include "xqob/dsp/reference.h"

namespace xqob {

namespace {

XQOB_SIMD128 inline v128_t load(const int32_t* p) {
    return wasm_v128_load(p);
}

XQOB_SIMD128 inline void transpose4(v128_t& r0, v128_t& r1, v128_t& r2, v128_t& r3) {
    const v128_t t0 = wasm_i32x4_shuffle(r0, r1, 0, 4, 1, 5);
    const v128_t t1 = wasm_i32x4_shuffle(r2, r3, 0, 4, 1, 5);
    const v128_t t2 = wasm_i32x4_shuffle(r0, r1, 2, 6, 3, 7);
    const v128_t t3 = wasm_i32x4_shuffle(r2, r3, 2, 6, 3, 7);
    r0 = wasm_i64x2_shuffle(t0, t1, 0, 2);
    r1 = wasm_i64x2_shuffle(t0, t1, 1, 3);
    r2 = wasm_i64x2_shuffle(t2, t3, 0, 2);
    r3 = wasm_i64x2_shuffle(t2, t3, 1, 3);
}

XQOB_SIMD128 inline void inverse4(v128_t* s) {
    const v128_t e0 = wasm_i32x4_add(s[0], s[2]);
    const v128_t e1 = wasm_i32x4_sub(s[0], s[2]);
    const v128_t e2 = wasm_i32x4_sub(wasm_i32x4_shr(s[1], 1), s[3]);
    const v128_t e3 = wasm_i32x4_add(s[1], wasm_i32x4_shr(s[3], 1));
    s[0] = wasm_i32x4_add(e0, e3);
    s[1] = wasm_i32x4_add(e1, e2);
    s[2] = wasm_i32x4_sub(e1, e2);
    s[3] = wasm_i32x4_sub(e0, e3);
}

XQOB_SIMD128 inline void inverse8(v128_t* s) {
    const v128_t a0 = wasm_i32x4_add(s[0], s[4]);
    const v128_t a4 = wasm_i32x4_sub(s[0], s[4]);
    const v128_t a2 = wasm_i32x4_sub(wasm_i32x4_shr(s[2], 1), s[6]);
    const v128_t a6 = wasm_i32x4_add(s[2], wasm_i32x4_shr(s[6], 1));
    const v128_t b0 = wasm_i32x4_add(a0, a6);
    const v128_t b2 = wasm_i32x4_add(a4, a2);
    const v128_t b4 = wasm_i32x4_sub(a4, a2);
    const v128_t b6 = wasm_i32x4_sub(a0, a6);
    const v128_t a1 =
        wasm_i32x4_sub(wasm_i32x4_sub(wasm_i32x4_sub(s[5], s[3]), s[7]), wasm_i32x4_shr(s[7], 1));
    const v128_t a3 =
        wasm_i32x4_sub(wasm_i32x4_sub(wasm_i32x4_add(s[1], s[7]), s[3]), wasm_i32x4_shr(s[3], 1));
    const v128_t a5 =
        wasm_i32x4_add(wasm_i32x4_add(wasm_i32x4_sub(s[7], s[1]), s[5]), wasm_i32x4_shr(s[5], 1));
    const v128_t a7 =
        wasm_i32x4_add(wasm_i32x4_add(wasm_i32x4_add(s[3], s[5]), s[1]), wasm_i32x4_shr(s[1], 1));
    const v128_t b1 = wasm_i32x4_add(a1, wasm_i32x4_shr(a7, 2));
    const v128_t b7 = wasm_i32x4_sub(a7, wasm_i32x4_shr(a1, 2));
    const v128_t b3 = wasm_i32x4_add(a3, wasm_i32x4_shr(a5, 2));
    const v128_t b5 = wasm_i32x4_sub(wasm_i32x4_shr(a3, 2), a5);
    s[0] = wasm_i32x4_add(b0, b7);
    s[1] = wasm_i32x4_add(b2, b5);
    s[2] = wasm_i32x4_add(b4, b3);
    s[3] = wasm_i32x4_add(b6, b1);
    s[4] = wasm_i32x4_sub(b6, b1);
    s[5] = wasm_i32x4_sub(b4, b3);
    s[6] = wasm_i32x4_sub(b2, b5);
    s[7] = wasm_i32x4_sub(b0, b7);
}

// (p << shift) + d + half, shifted back; two such rows of four narrowed with saturation,
// which clips to 0..255 exactly.
template <int shift>
XQOB_SIMD128 inline v128_t addRounded(v128_t d, const int32_t* prediction) {
    const v128_t sum = wasm_i32x4_add(wasm_i32x4_add(wasm_i32x4_shl(load(prediction), shift), d),
                                      wasm_i32x4_splat(1 << (shift - 1)));
    return wasm_i32x4_shr(sum, shift);
}

XQOB_SIMD128 inline v128_t samples(v128_t rows01, v128_t rows23) {
    return wasm_u8x16_narrow_i16x8(rows01, rows23);
}

XQOB_SIMD128 inline void store4x4(uint8_t* dst, ptrdiff_t stride, v128_t bytes) {
    wasm_v128_store32_lane(dst, bytes, 0);
    wasm_v128_store32_lane(dst + stride, bytes, 1);
    wasm_v128_store32_lane(dst + 2 * stride, bytes, 2);
    wasm_v128_store32_lane(dst + 3 * stride, bytes, 3);
}

}  // namespace

XQOB_SIMD128 void reconstruct4x4Simd128(const int32_t* levels, const int32_t* factors,
                                        const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    v128_t s[4];
    const v128_t one = wasm_i32x4_splat(1);
    for (int32_t r = 0; r < 4; ++r) {
        const v128_t product = wasm_i32x4_mul(load(factors + 4 * r), load(levels + 4 * r));
        s[r] = wasm_i32x4_shr(wasm_i32x4_add(product, one), 1);
    }
    // Rows: lanes hold one position of every row; then columns: lanes hold the columns.
    transpose4(s[0], s[1], s[2], s[3]);
    inverse4(s);
    transpose4(s[0], s[1], s[2], s[3]);
    inverse4(s);
    const v128_t rows01 = wasm_i16x8_narrow_i32x4(addRounded<6>(s[0], prediction),
                                                  addRounded<6>(s[1], prediction + 4));
    const v128_t rows23 = wasm_i16x8_narrow_i32x4(addRounded<6>(s[2], prediction + 8),
                                                  addRounded<6>(s[3], prediction + 12));
    store4x4(dst, stride, samples(rows01, rows23));
}

XQOB_SIMD128 void reconstruct8x8Simd128(const int32_t* levels, const int32_t* factors,
                                        const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    // v[8 * h + r]: row r, columns 4h..4h+3.
    v128_t v[16];
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t h = 0; h < 2; ++h) {
            v[8 * h + r] =
                wasm_i32x4_mul(load(factors + 8 * r + 4 * h), load(levels + 8 * r + 4 * h));
        }
    }
    // Row transform: for rows 4g..4g+3, c[k] holds column k of those four rows.
    v128_t c[2][8];
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t h = 0; h < 2; ++h) {
            v128_t* out = c[g] + 4 * h;
            for (int32_t i = 0; i < 4; ++i) out[i] = v[8 * h + 4 * g + i];
            transpose4(out[0], out[1], out[2], out[3]);
        }
        inverse8(c[g]);
    }
    // Back to rows: w[0][r] (columns 0..3) and w[1][r] (columns 4..7), then the columns.
    v128_t w[2][8];
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t h = 0; h < 2; ++h) {
            v128_t t[4] = {c[g][4 * h], c[g][4 * h + 1], c[g][4 * h + 2], c[g][4 * h + 3]};
            transpose4(t[0], t[1], t[2], t[3]);
            for (int32_t i = 0; i < 4; ++i) w[h][4 * g + i] = t[i];
        }
    }
    inverse8(w[0]);
    inverse8(w[1]);
    for (int32_t r = 0; r < 8; r += 2, dst += 2 * stride) {
        const v128_t row0 = wasm_i16x8_narrow_i32x4(addRounded<8>(w[0][r], prediction + 8 * r),
                                                    addRounded<8>(w[1][r], prediction + 8 * r + 4));
        const v128_t row1 =
            wasm_i16x8_narrow_i32x4(addRounded<8>(w[0][r + 1], prediction + 8 * r + 8),
                                    addRounded<8>(w[1][r + 1], prediction + 8 * r + 12));
        const v128_t bytes = samples(row0, row1);
        wasm_v128_store64_lane(dst, bytes, 0);
        wasm_v128_store64_lane(dst + stride, bytes, 1);
    }
}

XQOB_SIMD128 void putPrediction4x4Simd128(const int32_t* prediction, uint8_t* dst,
                                          ptrdiff_t stride) {
    const v128_t rows01 = wasm_i16x8_narrow_i32x4(load(prediction), load(prediction + 4));
    const v128_t rows23 = wasm_i16x8_narrow_i32x4(load(prediction + 8), load(prediction + 12));
    store4x4(dst, stride, samples(rows01, rows23));
}

XQOB_SIMD128 void putPrediction8x8Simd128(const int32_t* prediction, uint8_t* dst,
                                          ptrdiff_t stride) {
    for (int32_t r = 0; r < 8; r += 2, dst += 2 * stride, prediction += 16) {
        const v128_t bytes =
            samples(wasm_i16x8_narrow_i32x4(load(prediction), load(prediction + 4)),
                    wasm_i16x8_narrow_i32x4(load(prediction + 8), load(prediction + 12)));
        wasm_v128_store64_lane(dst, bytes, 0);
        wasm_v128_store64_lane(dst + stride, bytes, 1);
    }
}

namespace {

// One colour term of four pixels in 32-bit lanes: (factor * c + 32768) >> 16, exactly the
// reference's products (wasm multiplies 32-bit lanes directly).
XQOB_SIMD128 inline v128_t term(v128_t c, int32_t factor) {
    return wasm_i32x4_shr(
        wasm_i32x4_add(wasm_i32x4_mul(c, wasm_i32x4_splat(factor)), wasm_i32x4_splat(32768)), 16);
}

struct Channels {
    v128_t r, g, b;  // 16 pixels each, clipped to 0..255
};

// Four pixels from lanes 4k..4k+3 of 16-bit luma, Cb and Cr (chroma minus 128).
XQOB_SIMD128 inline void convert4(v128_t y, v128_t u, v128_t v, v128_t* r, v128_t* g, v128_t* b) {
    *r = wasm_i32x4_add(y, term(v, 91881));
    const v128_t green = wasm_i32x4_add(wasm_i32x4_mul(u, wasm_i32x4_splat(-22554)),
                                        wasm_i32x4_mul(v, wasm_i32x4_splat(-46802)));
    *g = wasm_i32x4_add(y, wasm_i32x4_shr(wasm_i32x4_add(green, wasm_i32x4_splat(32768)), 16));
    *b = wasm_i32x4_add(y, term(u, 116130));
}

// Saturating narrowing clips 16 values to 0..255 (they are far inside 16 bits).
XQOB_SIMD128 inline v128_t bytes16(const v128_t* c) {
    return wasm_u8x16_narrow_i16x8(wasm_i16x8_narrow_i32x4(c[0], c[1]),
                                   wasm_i16x8_narrow_i32x4(c[2], c[3]));
}

XQOB_SIMD128 inline Channels convert16(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr) {
    const v128_t bias = wasm_i16x8_splat(128);
    v128_t r[4], g[4], b[4];
    for (int32_t half = 0; half < 2; ++half) {
        const v128_t y16 = wasm_u16x8_load8x8(luma + 8 * half);
        const v128_t u16 = wasm_i16x8_sub(wasm_u16x8_load8x8(cb + 8 * half), bias);
        const v128_t v16 = wasm_i16x8_sub(wasm_u16x8_load8x8(cr + 8 * half), bias);
        convert4(wasm_u32x4_extend_low_u16x8(y16), wasm_i32x4_extend_low_i16x8(u16),
                 wasm_i32x4_extend_low_i16x8(v16), &r[2 * half], &g[2 * half], &b[2 * half]);
        convert4(wasm_u32x4_extend_high_u16x8(y16), wasm_i32x4_extend_high_i16x8(u16),
                 wasm_i32x4_extend_high_i16x8(v16), &r[2 * half + 1], &g[2 * half + 1],
                 &b[2 * half + 1]);
    }
    return Channels{bytes16(r), bytes16(g), bytes16(b)};
}

}  // namespace

XQOB_SIMD128 void convertRowSimd128(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                    uint8_t* out, int32_t width) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const Channels c = convert16(luma + x, cb + x, cr + x);
        // R, G, B interleaved: R and G placed first with gaps, then B into the gaps.
        const v128_t rg0 =
            wasm_i8x16_shuffle(c.r, c.g, 0, 16, 0, 1, 17, 1, 2, 18, 2, 3, 19, 3, 4, 20, 4, 5);
        const v128_t rg1 =
            wasm_i8x16_shuffle(c.r, c.g, 21, 0, 6, 22, 0, 7, 23, 0, 8, 24, 0, 9, 25, 0, 10, 26);
        const v128_t rg2 =
            wasm_i8x16_shuffle(c.r, c.g, 0, 11, 27, 0, 12, 28, 0, 13, 29, 0, 14, 30, 0, 15, 31, 0);
        uint8_t* dst = out + 3 * x;
        wasm_v128_store(dst, wasm_i8x16_shuffle(rg0, c.b, 0, 1, 16, 3, 4, 17, 6, 7, 18, 9, 10, 19,
                                                12, 13, 20, 15));
        wasm_v128_store(dst + 16, wasm_i8x16_shuffle(rg1, c.b, 0, 21, 2, 3, 22, 5, 6, 23, 8, 9, 24,
                                                     11, 12, 25, 14, 15));
        wasm_v128_store(dst + 32, wasm_i8x16_shuffle(rg2, c.b, 26, 1, 2, 27, 4, 5, 28, 7, 8, 29, 10,
                                                     11, 30, 13, 14, 31));
    }
    convertRowReference(luma + x, cb + x, cr + x, out + 3 * x, width - x);
}

// Four bytes a pixel: (first, green) and (third, 255) byte pairs interleaved into pixels.
XQOB_SIMD128 void convertRowQuadSimd128(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                        uint8_t* out, int32_t width, bool bgr) {
    const v128_t opaque = wasm_i8x16_splat(-1);
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const Channels c = convert16(luma + x, cb + x, cr + x);
        const v128_t first = bgr ? c.b : c.r;
        const v128_t third = bgr ? c.r : c.b;
        const v128_t pair0 =
            wasm_i8x16_shuffle(first, c.g, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const v128_t pair1 = wasm_i8x16_shuffle(first, c.g, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28,
                                                13, 29, 14, 30, 15, 31);
        const v128_t alpha0 = wasm_i8x16_shuffle(third, opaque, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20,
                                                 5, 21, 6, 22, 7, 23);
        const v128_t alpha1 = wasm_i8x16_shuffle(third, opaque, 8, 24, 9, 25, 10, 26, 11, 27, 12,
                                                 28, 13, 29, 14, 30, 15, 31);
        uint8_t* dst = out + 4 * x;
        wasm_v128_store(dst, wasm_i16x8_shuffle(pair0, alpha0, 0, 8, 1, 9, 2, 10, 3, 11));
        wasm_v128_store(dst + 16, wasm_i16x8_shuffle(pair0, alpha0, 4, 12, 5, 13, 6, 14, 7, 15));
        wasm_v128_store(dst + 32, wasm_i16x8_shuffle(pair1, alpha1, 0, 8, 1, 9, 2, 10, 3, 11));
        wasm_v128_store(dst + 48, wasm_i16x8_shuffle(pair1, alpha1, 4, 12, 5, 13, 6, 14, 7, 15));
    }
    convertRowQuadReference(luma + x, cb + x, cr + x, out + 4 * x, width - x, bgr);
}

namespace {

// a(j) = 3 near(j) + far(j) of 8 columns from j, 16-bit.
XQOB_SIMD128 inline v128_t blend8(const uint8_t* near, const uint8_t* far, int32_t j) {
    const v128_t n = wasm_u16x8_load8x8(near + j);
    return wasm_i16x8_add(wasm_i16x8_mul(n, wasm_i16x8_splat(3)), wasm_u16x8_load8x8(far + j));
}

// Output columns 2j..2j+15 from chroma columns j..j+7, reading columns j - 1..j + 8.
XQOB_SIMD128 inline void upsample8(const uint8_t* near, const uint8_t* far, uint8_t* out,
                                   int32_t j) {
    const v128_t left = blend8(near, far, j - 1);
    const v128_t centre = blend8(near, far, j);
    const v128_t right = blend8(near, far, j + 1);
    const v128_t three = wasm_i16x8_mul(centre, wasm_i16x8_splat(3));
    // At most 4 * 1020 + 8: 16-bit lanes hold it.
    const v128_t even =
        wasm_u16x8_shr(wasm_i16x8_add(wasm_i16x8_add(three, left), wasm_i16x8_splat(8)), 4);
    const v128_t odd =
        wasm_u16x8_shr(wasm_i16x8_add(wasm_i16x8_add(three, right), wasm_i16x8_splat(7)), 4);
    const v128_t bytes =
        wasm_u8x16_narrow_i16x8(wasm_i16x8_shuffle(even, odd, 0, 8, 1, 9, 2, 10, 3, 11),
                                wasm_i16x8_shuffle(even, odd, 4, 12, 5, 13, 6, 14, 7, 15));
    wasm_v128_store(out + 2 * j, bytes);
}

}  // namespace

XQOB_SIMD128 void upsampleRowSimd128(const uint8_t* near, const uint8_t* far, uint8_t* out,
                                     int32_t m) {
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

const DspFunctions simd128Dsp = {
    .reconstruct4x4 = reconstruct4x4Simd128,
    .reconstruct8x8 = reconstruct8x8Simd128,
    .putPrediction4x4 = putPrediction4x4Simd128,
    .putPrediction8x8 = putPrediction8x8Simd128,
    .convertRow = convertRowSimd128,
    .upsampleRow = upsampleRowSimd128,
    .filterLumaSegment = filterLumaSegmentReference,
    .filterChromaSegment = filterChromaSegmentReference,
    .convertRowQuad = convertRowQuadSimd128,
    .filterLumaSegmentPair = filterLumaSegmentPairReference,
    .filterChromaSegments = filterChromaSegmentsReference,
    .predictIntra8x8 = predictIntra8x8Simd128,
    .predictIntra4x4 = predictIntra4x4Simd128,
};

}  // namespace xqob
#endif
