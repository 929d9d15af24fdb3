// The 22 arrays of adaptive models, one per syntax element, each chosen inside by context.
#pragma once

#include "xqob/base/decoder_context.h"

namespace xqob {

// Model counts of the arrays, in the order of their DecoderContext fields.
constexpr int32_t kModelArrayCount = 22;
extern const int32_t modelArraySizes[kModelArrayCount];

// The address of the field that holds array i (0..21).
BitModel** modelArrayField(DecoderContext* context, int32_t i);

// Allocates the 22 arrays and starts every model at total 2, ones 1.
void setUpModels(DecoderContext* context);

}  // namespace xqob
