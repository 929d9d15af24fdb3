#include "xqob/encoder/block_metrics.h"

#include <cstdlib>

namespace xqob {

namespace {

// Butterflies between whole rows of an n x n block (the columns' 1-D Hadamard transforms,
// all at once), then the same after a transposition for the rows.
template <int32_t n>
void hadamardColumns(int32_t* block) {
    for (int32_t half = 1; half < n; half *= 2) {
        for (int32_t i = 0; i < n; i += 2 * half) {
            for (int32_t j = i; j < i + half; ++j) {
                int32_t* a = block + n * j;
                int32_t* b = block + n * (j + half);
                for (int32_t c = 0; c < n; ++c) {
                    const int32_t sum = a[c] + b[c];
                    b[c] = a[c] - b[c];
                    a[c] = sum;
                }
            }
        }
    }
}

template <int32_t n>
int32_t satd(const int32_t* residual) {
    int32_t block[n * n];
    for (int32_t i = 0; i < n * n; ++i) block[i] = residual[i];
    hadamardColumns<n>(block);
    int32_t transposed[n * n];
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t c = 0; c < n; ++c) transposed[n * c + r] = block[n * r + c];
    }
    hadamardColumns<n>(transposed);
    int32_t sum = 0;
    for (int32_t i = 0; i < n * n; ++i) sum += std::abs(transposed[i]);
    return sum;
}

}  // namespace

void blockResidual(const uint8_t* source, int32_t stride, const int32_t* prediction, int32_t n,
                   int32_t* residual) {
    for (int32_t r = 0; r < n; ++r) {
        const uint8_t* row = source + r * stride;
        for (int32_t c = 0; c < n; ++c) residual[n * r + c] = row[c] - prediction[n * r + c];
    }
}

int64_t residualEnergy(const int32_t* residual, int32_t n) {
    int64_t sum = 0;
    for (int32_t i = 0; i < n * n; ++i) sum += int64_t(residual[i]) * residual[i];
    return sum;
}

int64_t blockSse(const uint8_t* a, int32_t strideA, const uint8_t* b, int32_t strideB, int32_t n) {
    int64_t sum = 0;
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t c = 0; c < n; ++c) {
            const int32_t diff = a[r * strideA + c] - b[r * strideB + c];
            sum += diff * diff;
        }
    }
    return sum;
}

// The unscaled sum equals the sum of absolute differences for a constant residual and n * n
// times it for a single outlier; halving (4x4) and quartering (8x8) puts typical residuals
// near the SAD scale, which the decisions' lambda for SATD assumes.
int32_t satd4x4(const int32_t* residual) {
    return satd<4>(residual) / 2;
}

int32_t satd8x8(const int32_t* residual) {
    return satd<8>(residual) / 4;
}

}  // namespace xqob
