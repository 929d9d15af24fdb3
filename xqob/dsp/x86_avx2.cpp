// AVX2 kernels: the 8x8 reconstruction with one row per register, the colour conversion
// 16 pixels at a time with byte shuffles for the R, G, B interleave, and the chroma
// upsampling 16 columns at a time.
#include "xqob/dsp/x86.h"

#if XQOB_DSP_X86
#include <immintrin.h>

#include "xqob/dsp/reference.h"
#include "xqob/dsp/x86_avx2.h"
#include "xqob/dsp/x86_quad_pixels.h"

namespace xqob {

namespace {

XQOB_AVX2 inline __m256i load8x32(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

XQOB_AVX2 inline void transpose8x8(__m256i* r) {
    __m256i t[8], u[8];
    for (int32_t i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
    }
    for (int32_t i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int32_t i = 0; i < 4; ++i) {
        r[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

XQOB_AVX2 inline void inverse8(__m256i* s) {
    const __m256i a0 = _mm256_add_epi32(s[0], s[4]);
    const __m256i a4 = _mm256_sub_epi32(s[0], s[4]);
    const __m256i a2 = _mm256_sub_epi32(_mm256_srai_epi32(s[2], 1), s[6]);
    const __m256i a6 = _mm256_add_epi32(s[2], _mm256_srai_epi32(s[6], 1));
    const __m256i b0 = _mm256_add_epi32(a0, a6);
    const __m256i b2 = _mm256_add_epi32(a4, a2);
    const __m256i b4 = _mm256_sub_epi32(a4, a2);
    const __m256i b6 = _mm256_sub_epi32(a0, a6);
    const __m256i a1 = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_sub_epi32(s[5], s[3]), s[7]),
                                        _mm256_srai_epi32(s[7], 1));
    const __m256i a3 = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(s[1], s[7]), s[3]),
                                        _mm256_srai_epi32(s[3], 1));
    const __m256i a5 = _mm256_add_epi32(_mm256_add_epi32(_mm256_sub_epi32(s[7], s[1]), s[5]),
                                        _mm256_srai_epi32(s[5], 1));
    const __m256i a7 = _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(s[3], s[5]), s[1]),
                                        _mm256_srai_epi32(s[1], 1));
    const __m256i b1 = _mm256_add_epi32(a1, _mm256_srai_epi32(a7, 2));
    const __m256i b7 = _mm256_sub_epi32(a7, _mm256_srai_epi32(a1, 2));
    const __m256i b3 = _mm256_add_epi32(a3, _mm256_srai_epi32(a5, 2));
    const __m256i b5 = _mm256_sub_epi32(_mm256_srai_epi32(a3, 2), a5);
    s[0] = _mm256_add_epi32(b0, b7);
    s[1] = _mm256_add_epi32(b2, b5);
    s[2] = _mm256_add_epi32(b4, b3);
    s[3] = _mm256_add_epi32(b6, b1);
    s[4] = _mm256_sub_epi32(b6, b1);
    s[5] = _mm256_sub_epi32(b4, b3);
    s[6] = _mm256_sub_epi32(b2, b5);
    s[7] = _mm256_sub_epi32(b0, b7);
}

// Two 16-bit factors side by side, for _mm256_madd_epi16 on lanes interleaved first, second.
constexpr int32_t colourPair(int32_t first, int32_t second) {
    return static_cast<int32_t>((uint32_t(uint16_t(first))) | (uint32_t(uint16_t(second)) << 16));
}

// (first * a + second * b + 32768) >> 16 per 16-bit lane; the unpacks and the pack work
// within each 128-bit half, so the lanes come back in their order.
XQOB_AVX2 inline __m256i roundedPairTerm(__m256i first, __m256i second, int32_t factors) {
    const __m256i pair = _mm256_set1_epi32(factors);
    const __m256i rounding = _mm256_set1_epi32(32768);
    const __m256i low =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(first, second), pair), rounding);
    const __m256i high =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(first, second), pair), rounding);
    return _mm256_packs_epi32(_mm256_srai_epi32(low, 16), _mm256_srai_epi32(high, 16));
}

// (factor * x + 32768) >> 16 per 16-bit lane: the high half of the product is its floor, and
// the rounding adds 1 where the low half is at least 32768.
XQOB_AVX2 inline __m256i roundedProduct(__m256i x, int16_t factor) {
    const __m256i f = _mm256_set1_epi16(factor);
    return _mm256_add_epi16(_mm256_mulhi_epi16(x, f),
                            _mm256_srli_epi16(_mm256_mullo_epi16(x, f), 15));
}

XQOB_AVX2 inline __m128i toBytes(__m256i words) {
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

// Byte b of output block k (16 bytes) is channel (16k + b) % 3 of pixel (16k + b) / 3; the
// mask for channel c picks that pixel where the channel matches and zero elsewhere. Built
// when compiling: a row of a narrow picture is only a few loop steps.
struct InterleaveMasks {
    alignas(16) int8_t mask[3][3][16];  // by block and channel
};

constexpr InterleaveMasks makeInterleaveMasks() {
    InterleaveMasks masks{};
    for (int32_t block = 0; block < 3; ++block) {
        for (int32_t channel = 0; channel < 3; ++channel) {
            for (int32_t b = 0; b < 16; ++b) {
                const int32_t at = 16 * block + b;
                masks.mask[block][channel][b] = at % 3 == channel ? int8_t(at / 3) : int8_t(-128);
            }
        }
    }
    return masks;
}

constexpr InterleaveMasks kInterleaveMasks = makeInterleaveMasks();

XQOB_AVX2 inline __m128i interleaveMask(int32_t block, int32_t channel) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleaveMasks.mask[block][channel]));
}

}  // namespace

XQOB_AVX2 void reconstruct8x8Avx2(const int32_t* levels, const int32_t* factors,
                                  const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    __m256i s[8];
    for (int32_t r = 0; r < 8; ++r) {
        s[r] = _mm256_mullo_epi32(load8x32(factors + 8 * r), load8x32(levels + 8 * r));
    }
    // Rows: lanes hold one position of every row; then columns: lanes hold the columns.
    transpose8x8(s);
    inverse8(s);
    transpose8x8(s);
    inverse8(s);
    const __m256i half = _mm256_set1_epi32(128);
    for (int32_t r = 0; r < 8; ++r, dst += stride) {
        const __m256i p = _mm256_slli_epi32(load8x32(prediction + 8 * r), 8);
        const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(p, s[r]), half), 8);
        // Saturating packs clip to 0..255 exactly.
        const __m128i words =
            _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(words, words));
    }
}

// The factor splits of the SSE2 version: 91881 = 65536 + 26345, -46802 = -65536 + 18734,
// 116130 = 131072 - 14942, each fitting a signed 16-bit lane.
namespace {

// R, G, B of the 16 pixels from x in 16-bit lanes, before the clip to 0..255.
struct Sums {
    __m256i r, g, b;
};

XQOB_AVX2 inline Sums convertSums16(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                    int32_t x) {
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i y =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x)));
    const __m256i u = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x))), bias);
    const __m256i v = _mm256_sub_epi16(
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x))), bias);
    const __m256i red = _mm256_add_epi16(v, roundedProduct(v, 26345));
    const __m256i green = _mm256_sub_epi16(roundedPairTerm(u, v, colourPair(-22554, 18734)), v);
    // (-14942 u + 32768) >> 16 is (-7471 u + 16384) >> 15, the rounded high product.
    const __m256i blueTerm = _mm256_mulhrs_epi16(u, _mm256_set1_epi16(-7471));
    const __m256i blue = _mm256_add_epi16(_mm256_add_epi16(u, u), blueTerm);
    return Sums{_mm256_add_epi16(y, red), _mm256_add_epi16(y, green), _mm256_add_epi16(y, blue)};
}

// R, G, B of the 16 pixels from x, clipped to 0..255.
struct Channels {
    __m128i r, g, b;
};

XQOB_AVX2 inline Channels convert16(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                    int32_t x) {
    const Sums s = convertSums16(luma, cb, cr, x);
    return Channels{toBytes(s.r), toBytes(s.g), toBytes(s.b)};
}

// Two halves of 16 samples clipped to the 32 bytes of one register, in order.
XQOB_AVX2 inline __m256i toBytes32(__m256i first, __m256i second) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), _MM_SHUFFLE(3, 1, 2, 0));
}

}  // namespace

// 32 pixels at a time: each 128-bit lane interleaves its 16 pixels with the shuffles of the
// 16-pixel loop, and the lanes' three blocks are put in order by the stores; then 16 at a
// time, then the reference for the last few.
XQOB_AVX2 void convertRowAvx2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                              uint8_t* out, int32_t width) {
    __m128i masks[3][3];
    __m256i wide[3][3];
    for (int32_t k = 0; k < 3; ++k) {
        for (int32_t c = 0; c < 3; ++c) {
            masks[k][c] = interleaveMask(k, c);
            wide[k][c] = _mm256_broadcastsi128_si256(masks[k][c]);
        }
    }
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const Sums first = convertSums16(luma, cb, cr, x);
        const Sums second = convertSums16(luma, cb, cr, x + 16);
        const __m256i channels[3] = {toBytes32(first.r, second.r), toBytes32(first.g, second.g),
                                     toBytes32(first.b, second.b)};
        __m256i blocks[3];
        for (int32_t k = 0; k < 3; ++k) {
            __m256i block = _mm256_shuffle_epi8(channels[0], wide[k][0]);
            block = _mm256_or_si256(block, _mm256_shuffle_epi8(channels[1], wide[k][1]));
            blocks[k] = _mm256_or_si256(block, _mm256_shuffle_epi8(channels[2], wide[k][2]));
        }
        __m256i* to = reinterpret_cast<__m256i*>(out + 3 * x);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(blocks[0], blocks[1], 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(blocks[2], blocks[0], 0x30));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(blocks[1], blocks[2], 0x31));
    }
    for (; x + 16 <= width; x += 16) {
        const Channels c = convert16(luma, cb, cr, x);
        const __m128i channels[3] = {c.r, c.g, c.b};
        for (int32_t k = 0; k < 3; ++k) {
            __m128i block = _mm_shuffle_epi8(channels[0], masks[k][0]);
            block = _mm_or_si128(block, _mm_shuffle_epi8(channels[1], masks[k][1]));
            block = _mm_or_si128(block, _mm_shuffle_epi8(channels[2], masks[k][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 16 * k), block);
        }
    }
    convertRowReference(luma + x, cb + x, cr + x, out + 3 * x, width - x);
}

// Four bytes a pixel, with the SSE2 kernel's interleave.
XQOB_AVX2 void convertRowQuadAvx2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                                  uint8_t* out, int32_t width, bool bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const Channels c = convert16(luma, cb, cr, x);
        storeQuadPixels(out + 4 * x, c.r, c.g, c.b, bgr);
    }
    convertRowQuadReference(luma + x, cb + x, cr + x, out + 4 * x, width - x, bgr);
}

namespace {

// a(j) = 3 near(j) + far(j) of 16 columns from j, in 16-bit lanes.
XQOB_AVX2 inline __m256i blend16(const uint8_t* near, const uint8_t* far, int32_t j) {
    const __m256i n =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(near + j)));
    const __m256i f =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(far + j)));
    return _mm256_add_epi16(_mm256_add_epi16(n, _mm256_add_epi16(n, n)), f);
}

// Output columns 2j..2j+31 from chroma columns j..j+15, reading columns j - 1..j + 16.
XQOB_AVX2 inline void upsample16(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t j) {
    const __m256i left = blend16(near, far, j - 1);
    const __m256i centre = blend16(near, far, j);
    const __m256i right = blend16(near, far, j + 1);
    const __m256i three = _mm256_add_epi16(centre, _mm256_add_epi16(centre, centre));
    const __m256i even =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(three, left), _mm256_set1_epi16(8)), 4);
    const __m256i odd = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(three, right), _mm256_set1_epi16(7)), 4);
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * j), bytes);
}

}  // namespace

// The SSE2 upsampling 16 columns at a time. Within each 128-bit lane the interleave of the
// even and odd samples and the pack keep column order, so the 32 bytes go out as they are.
XQOB_AVX2 void upsampleRowAvx2(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m) {
    // Column 0 and the last column (the edge rule at m - 1) come from the reference.
    upsampleColumnsReference(near, far, out, 0, 1, m);
    int32_t j = 1;
    for (; j + 17 <= m; j += 16) upsample16(near, far, out, j);  // reads up to column m - 1
    // The columns left before m - 1 as one more step that ends there, over columns already
    // written with the same values.
    if (j > 1 && j < m - 1) {
        upsample16(near, far, out, m - 17);
        j = m - 1;
    }
    upsampleColumnsReference(near, far, out, j, m, m);
}

}  // namespace xqob
#endif
