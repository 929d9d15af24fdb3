// Reference reconstruction kernels: the plain arithmetic every optimised version must match.
#include "xqob/base/wrapping.h"
#include "xqob/dsp/reference.h"
#include "xqob/dsp/transform.h"

namespace xqob {

namespace {

// Adds the residual (prediction scale times 2^shift, still unrounded) to the prediction,
// rounds, clips to 0..255 and stores the n x n block.
template <int32_t n, int32_t shift>
void addPrediction(const int32_t* d, const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    constexpr uint32_t half = uint32_t{1} << (shift - 1);
    for (int32_t r = 0; r < n; ++r, dst += stride) {
        for (int32_t j = 0; j < n; ++j) {
            const int32_t i = n * r + j;
            const uint32_t sum = (wrap(prediction[i]) << shift) + wrap(d[i]) + half;
            dst[j] = clipSample(unwrap(shiftRight(sum, shift)));
        }
    }
}

template <int32_t n>
void putPrediction(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    for (int32_t r = 0; r < n; ++r, dst += stride) {
        for (int32_t j = 0; j < n; ++j) dst[j] = static_cast<uint8_t>(prediction[n * r + j]);
    }
}

}  // namespace

void reconstruct4x4Reference(const int32_t* levels, const int32_t* factors,
                             const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    int32_t d[16];
    for (int32_t k = 0; k < 16; ++k) {
        d[k] = unwrap(shiftRight(wrap(factors[k]) * wrap(levels[k]) + 1, 1));
    }
    inverseTransform4x4(d);
    addPrediction<4, 6>(d, prediction, dst, stride);
}

void reconstruct8x8Reference(const int32_t* levels, const int32_t* factors,
                             const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    int32_t d[64];
    for (int32_t k = 0; k < 64; ++k) d[k] = unwrap(wrap(factors[k]) * wrap(levels[k]));
    inverseTransform8x8(d);
    addPrediction<8, 8>(d, prediction, dst, stride);
}

void putPrediction4x4Reference(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    putPrediction<4>(prediction, dst, stride);
}

void putPrediction8x8Reference(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride) {
    putPrediction<8>(prediction, dst, stride);
}

}  // namespace xqob
