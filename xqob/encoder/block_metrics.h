// Block differences and error measures for the encoder's decisions.
#pragma once

#include <cstdint>

namespace xqob {

// residual = source - prediction over an n x n block; prediction is raster order.
void blockResidual(const uint8_t* source, int32_t stride, const int32_t* prediction, int32_t n,
                   int32_t* residual);

// Sum of squares of n * n residual values.
int64_t residualEnergy(const int32_t* residual, int32_t n);

// Sum of squared differences of two n x n blocks of samples.
int64_t blockSse(const uint8_t* a, int32_t strideA, const uint8_t* b, int32_t strideB, int32_t n);

// Sums of absolute Hadamard-transformed residuals, scaled to about the sum of absolute
// differences: a cheap estimate of how much a residual costs to code.
int32_t satd4x4(const int32_t* residual);
int32_t satd8x8(const int32_t* residual);

}  // namespace xqob
