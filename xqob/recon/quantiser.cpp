#include "xqob/recon/quantiser.h"

#include "xqob/base/allocation_chain.h"

namespace xqob {

// The JPEG luminance quantisation table, natural row-major order.
const int32_t jpegLuma[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};

// 32768 * 1.06^(r - 10), rounded: twelve steps inside one doubling of the quality scale.
const int32_t octaveScale[12] = {18297, 19395, 20559, 21793, 23100, 24486,
                                 25955, 27513, 29163, 30913, 32768, 34734};

const int32_t dequantScale4x4[12][3] = {
    {20, 32, 25}, {21, 34, 27}, {22, 36, 28}, {24, 38, 30}, {25, 40, 32}, {27, 43, 34},
    {28, 45, 36}, {30, 48, 38}, {32, 51, 40}, {34, 54, 43}, {36, 57, 45}, {38, 61, 48},
};

const int32_t dequantScale8x8[12][6] = {
    {20, 18, 32, 19, 25, 24}, {21, 19, 34, 20, 27, 25}, {22, 20, 36, 21, 28, 27},
    {24, 21, 38, 23, 30, 29}, {25, 23, 40, 24, 32, 30}, {27, 24, 43, 25, 33, 32},
    {28, 26, 45, 27, 35, 34}, {30, 27, 48, 29, 38, 36}, {32, 29, 51, 30, 40, 38},
    {34, 30, 54, 32, 42, 41}, {36, 32, 57, 34, 45, 43}, {38, 34, 61, 36, 47, 46},
};

// 0: row and column even; 1: both odd; 2: mixed.
const uint8_t class4[16] = {0, 2, 0, 2, 2, 1, 2, 1, 0, 2, 0, 2, 2, 1, 2, 1};

// Per row and column: 0 multiple of 4 / multiple of 4; 1 odd / odd; 2 (4n+2) / (4n+2);
// 3 multiple of 4 / odd; 4 multiple of 4 / (4n+2); 5 odd / (4n+2).
const uint8_t class8[64] = {
    0, 3, 4, 3, 0, 3, 4, 3,  //
    3, 1, 5, 1, 3, 1, 5, 1,  //
    4, 5, 2, 5, 4, 5, 2, 5,  //
    3, 1, 5, 1, 3, 1, 5, 1,  //
    0, 3, 4, 3, 0, 3, 4, 3,  //
    3, 1, 5, 1, 3, 1, 5, 1,  //
    4, 5, 2, 5, 4, 5, 2, 5,  //
    3, 1, 5, 1, 3, 1, 5, 1,
};

namespace {

// The weighted table always scales the row of qMod 8, whatever the picture's quantiser.
constexpr int32_t kWeightedRow = 8;

}  // namespace

void setUpDequantFactors(DecoderContext* context) {
    // Quantisers are 0..97, so qDiv is at most 8 and every factor below 2^24.
    const int32_t luma = context->lumaQuantiser;
    const int32_t chroma = context->chromaQuantiser;
    for (int32_t k = 0; k < 16; ++k) {
        context->lumaFactors4x4[k] = dequantScale4x4[luma % 12][class4[k]] << (luma / 12);
    }
    for (int32_t k = 0; k < 64; ++k) {
        context->lumaFactors8x8[k] = dequantScale8x8[luma % 12][class8[k]] << (luma / 12);
        context->chromaFactors8x8[k] = dequantScale8x8[chroma % 12][class8[k]] << (chroma / 12);
    }
}

void setUpQuantiser(DecoderContext* context) {
    int32_t* quantMatrix = chainAllocArray<int32_t>(context, 64);
    int32_t* weighted = chainAllocArray<int32_t>(context, 64);
    context->quantMatrix8x8 = quantMatrix;
    context->weightedDequant8x8 = weighted;

    // qualityIndex is 0..100, so the shift is 0..8 and scale at most 23100 << 8 = 5913600;
    // 121 * 5913600 + 2^19 still fits in 31 bits.
    const int32_t octave = context->qualityIndex / 12;
    const int32_t step = context->qualityIndex % 12;
    const int32_t scale = octaveScale[step] << octave;
    for (int32_t i = 0; i < 64; ++i) {
        int32_t a = (jpegLuma[i] * scale + 524288) >> 20;
        if (a == 0) a = 1;
        quantMatrix[i] = a;
        weighted[i] = dequantScale8x8[kWeightedRow][class8[i]] * a;
    }
    setUpDequantFactors(context);
}

}  // namespace xqob
