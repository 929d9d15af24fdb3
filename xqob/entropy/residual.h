// Residual coefficient levels: a significance map in forward scan order, then signs and
// unary magnitudes in reverse scan order. The caller zeroes the coefficient block.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

extern const uint8_t scan4x4[9][16];
extern const uint8_t zigzag8x8[64];
extern const uint8_t sigContext8x8[63];
extern const uint8_t lastContext8x8[63];

constexpr int32_t kLevelCap4x4 = 1800;
constexpr int32_t kLevelCap8x8 = 6000;

void decodeResidual4x4(DecoderContext* context, int32_t* coefficients, int32_t mode);
void decodeResidual8x8(DecoderContext* context, int32_t lumaQuantiser, int32_t* coefficients);
void decodeResidualChroma(DecoderContext* context, int32_t* coefficients);

}  // namespace xqob
