// Forward transforms matched to the decoder's inverse ones. The inverse transforms have
// orthogonal (not normalised) basis functions, so the coefficients that reproduce a residual
// are its projections onto them; the basis is taken from the decoder's own transforms.
#pragma once

#include <cstdint>

namespace xqob {

struct TransformBasis {
    // forward4[i][j]: weight of sample j in 1-D coefficient i, that is basis column i divided
    // by its squared norm; the same for 8 points.
    float forward4[4][4];
    float forward8[8][8];
    // Squared error in samples that one unit of error in a dequantised coefficient causes,
    // per raster position.
    float weight4x4[16];
    float weight8x8[64];
};

void setUpTransformBasis(TransformBasis* basis);

// The dequantised values d (raster order) whose inverse transform and final rounding give
// back residual (raster order samples) as closely as the transform allows: for 4x4 blocks
// the inverse transform output is 64 times the residual, for 8x8 blocks 256 times.
void forwardTransform4x4(const TransformBasis& basis, const int32_t* residual, float* d);
void forwardTransform8x8(const TransformBasis& basis, const int32_t* residual, float* d);

}  // namespace xqob
