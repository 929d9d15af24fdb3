#include "xqob/encoder/forward_transform.h"

#include "xqob/dsp/transform.h"

namespace xqob {

namespace {

// An impulse large enough that the transforms' halving and quartering shifts stay exact.
constexpr int32_t kImpulse = 1 << 16;

// Column i of the 1-D inverse transform: an impulse at (row 0, column i) comes out of the
// row pass as that column in row 0, and the column pass copies row 0 unchanged into every
// row (basis function 0 is constant), so row 0 of the result is the column.
template <int32_t n>
void inverseColumns(void (*inverse)(int32_t*), float (*columns)[n]) {
    for (int32_t i = 0; i < n; ++i) {
        int32_t block[n * n] = {};
        block[i] = kImpulse;
        inverse(block);
        for (int32_t j = 0; j < n; ++j) columns[i][j] = float(block[j]) / float(kImpulse);
    }
}

template <int32_t n>
void setUpSize(void (*inverse)(int32_t*), float scale, float (*forward)[n], float* weight) {
    float columns[n][n];
    inverseColumns<n>(inverse, columns);
    float norm[n];
    for (int32_t i = 0; i < n; ++i) {
        norm[i] = 0;
        for (int32_t j = 0; j < n; ++j) norm[i] += columns[i][j] * columns[i][j];
        for (int32_t j = 0; j < n; ++j) forward[i][j] = columns[i][j] / norm[i];
    }
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t c = 0; c < n; ++c) weight[n * r + c] = norm[r] * norm[c] / (scale * scale);
    }
}

// d = scale * F R F^T, rows first.
template <int32_t n>
void forward(const float (*f)[n], float scale, const int32_t* residual, float* d) {
    float rows[n * n];
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t i = 0; i < n; ++i) {
            float sum = 0;
            for (int32_t j = 0; j < n; ++j) sum += f[i][j] * float(residual[n * r + j]);
            rows[n * r + i] = sum;
        }
    }
    for (int32_t c = 0; c < n; ++c) {
        for (int32_t i = 0; i < n; ++i) {
            float sum = 0;
            for (int32_t j = 0; j < n; ++j) sum += f[i][j] * rows[n * j + c];
            d[n * i + c] = scale * sum;
        }
    }
}

}  // namespace

void setUpTransformBasis(TransformBasis* basis) {
    setUpSize<4>(inverseTransform4x4, 64.0f, basis->forward4, basis->weight4x4);
    setUpSize<8>(inverseTransform8x8, 256.0f, basis->forward8, basis->weight8x8);
}

void forwardTransform4x4(const TransformBasis& basis, const int32_t* residual, float* d) {
    forward<4>(basis.forward4, 64.0f, residual, d);
}

void forwardTransform8x8(const TransformBasis& basis, const int32_t* residual, float* d) {
    forward<8>(basis.forward8, 256.0f, residual, d);
}

}  // namespace xqob
