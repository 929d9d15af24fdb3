#include "xqob/dsp/transform.h"

#include "xqob/base/wrapping.h"

namespace xqob {

namespace {

// One 4-point butterfly over s[0], s[stride], s[2 * stride], s[3 * stride], in place. The
// output is 64 times the residual; the final rounding happens when the prediction is added.
void inverse4(int32_t* s, int32_t stride) {
    const uint32_t s0 = wrap(s[0]);
    const uint32_t s1 = wrap(s[stride]);
    const uint32_t s2 = wrap(s[2 * stride]);
    const uint32_t s3 = wrap(s[3 * stride]);
    const uint32_t e0 = s0 + s2;
    const uint32_t e1 = s0 - s2;
    const uint32_t e2 = shiftRight(s1, 1) - s3;
    const uint32_t e3 = s1 + shiftRight(s3, 1);
    s[0] = unwrap(e0 + e3);
    s[stride] = unwrap(e1 + e2);
    s[2 * stride] = unwrap(e1 - e2);
    s[3 * stride] = unwrap(e0 - e3);
}

// One 8-point transform from in[0], in[inStride], ... to out[0], out[outStride], ...
void inverse8(const int32_t* in, int32_t inStride, int32_t* out, int32_t outStride) {
    uint32_t s[8];
    for (int32_t i = 0; i < 8; ++i) s[i] = wrap(in[i * inStride]);

    // Even half.
    const uint32_t a0 = s[0] + s[4];
    const uint32_t a4 = s[0] - s[4];
    const uint32_t a2 = shiftRight(s[2], 1) - s[6];
    const uint32_t a6 = s[2] + shiftRight(s[6], 1);
    const uint32_t b0 = a0 + a6;
    const uint32_t b2 = a4 + a2;
    const uint32_t b4 = a4 - a2;
    const uint32_t b6 = a0 - a6;

    // Odd half.
    const uint32_t a1 = s[5] - s[3] - s[7] - shiftRight(s[7], 1);
    const uint32_t a3 = s[1] + s[7] - s[3] - shiftRight(s[3], 1);
    const uint32_t a5 = s[7] - s[1] + s[5] + shiftRight(s[5], 1);
    const uint32_t a7 = s[3] + s[5] + s[1] + shiftRight(s[1], 1);
    const uint32_t b1 = a1 + shiftRight(a7, 2);
    const uint32_t b7 = a7 - shiftRight(a1, 2);
    const uint32_t b3 = a3 + shiftRight(a5, 2);
    const uint32_t b5 = shiftRight(a3, 2) - a5;

    out[0 * outStride] = unwrap(b0 + b7);
    out[1 * outStride] = unwrap(b2 + b5);
    out[2 * outStride] = unwrap(b4 + b3);
    out[3 * outStride] = unwrap(b6 + b1);
    out[4 * outStride] = unwrap(b6 - b1);
    out[5 * outStride] = unwrap(b4 - b3);
    out[6 * outStride] = unwrap(b2 - b5);
    out[7 * outStride] = unwrap(b0 - b7);
}

}  // namespace

void inverseTransform4x4(int32_t* block) {
    for (int32_t row = 0; row < 4; ++row) inverse4(block + 4 * row, 1);
    for (int32_t column = 0; column < 4; ++column) inverse4(block + column, 4);
}

void inverseTransform8x8(int32_t* block) {
    int32_t rows[64];
    for (int32_t row = 0; row < 8; ++row) inverse8(block + 8 * row, 1, rows + 8 * row, 1);
    for (int32_t column = 0; column < 8; ++column) inverse8(rows + column, 8, block + column, 8);
}

}  // namespace xqob
