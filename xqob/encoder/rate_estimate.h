// Estimated bits of syntax elements from the current model states, for rate-distortion
// decisions. Nothing here writes a bin or changes a model.
#pragma once

#include <array>
#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/entropy/residual.h"

namespace xqob {

// log2 of 0..100: a model's total stays below 100 between decisions.
extern const std::array<float, 101> kLog2Counts;

// -log2 of the probability that model gives bin.
inline float bitCost(const BitModel* model, int32_t bin) {
    const uint32_t count = bin != 0 ? model->ones : model->total - model->ones;
    return kLog2Counts[model->total] - kLog2Counts[count];
}

// The bins that the residual writer would write for levels (raster order, not all zero).
float residualBits(const ResidualKind& kind, const int32_t* levels);

// Bits of each of the nine modes with the first-bin model models[firstContext] and the
// predicted mode; the layout of the mode model arrays.
void modeBits(const BitModel* models, int32_t firstContext, int32_t predicted, float* bits);

// Luma syntax at quadrant or 4x4 block (x, y), as the writers would code it now.
float blockTypeBits(DecoderContext* context, int32_t x, int32_t y, int32_t type);
void mode8x8Bits(DecoderContext* context, int32_t x, int32_t y, float* bits);
void mode4x4Bits(DecoderContext* context, int32_t x, int32_t y, float* bits);
float flatOffsetBits(DecoderContext* context, int32_t x, int32_t y, int32_t selector);
float codedQuadrantBits(DecoderContext* context, int32_t x, int32_t y, int32_t coded);
float coded4x4Bits(DecoderContext* context, int32_t x, int32_t y, int32_t coded);

// Chroma syntax at chroma block (x, y).
void chromaModeBits(DecoderContext* context, int32_t x, int32_t y, float* bits);
// Selector bits of one plane: cr false for Cb.
float chromaFlatOffsetBits(DecoderContext* context, int32_t x, int32_t y, bool cr,
                           int32_t selector);
float codedCrBits(DecoderContext* context, int32_t x, int32_t y, int32_t coded);
float codedCbBits(const DecoderContext* context, int32_t codedCr, int32_t coded);

}  // namespace xqob
