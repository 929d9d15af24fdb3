// Writer of residual coefficient blocks: the significance map, then signs and unary
// magnitudes, through the models that the residual readers use.
#pragma once

#include <cstdint>

#include "xqob/coder/binary_encoder.h"
#include "xqob/entropy/residual.h"

namespace xqob {

// Writes the block of kind.size levels in raster order. A block the format cannot carry
// (all zero, or a magnitude above kind.cap) is refused before any bin is written: the
// result is false. A magnitude equal to the cap is written with its final ignored bin.
bool writeResidual(BinaryEncoder* encoder, const ResidualKind& kind, const int32_t* coefficients);

// Whether writeResidual accepts the block.
bool residualWritable(const ResidualKind& kind, const int32_t* coefficients);

}  // namespace xqob
