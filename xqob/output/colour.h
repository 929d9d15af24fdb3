// YCbCr to packed R, G, B rows, with triangular upsampling of half-resolution chroma.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

void setUpColourTables(DecoderContext* context);
void convertFullResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height);
void convertHalfResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height);

}  // namespace xqob
