// YCbCr to packed R, G, B rows, with triangular upsampling of half-resolution chroma.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

// Allocates and fills crToR, cbToG, crToG, cbToB and clampTable.
void setUpColourTables(DecoderContext* context);

// Both conversions read planeCb at planeY + paddedWidth * paddedHeight and planeCr at twice
// that, and write height rows of width R, G, B pixels to out. The colour tables must be set up.
// Full resolution: all three planes at stride paddedWidth.
void convertFullResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height);
// Half resolution: chroma planes at stride paddedWidth / 2, upsampled into a chain block of
// 2 * paddedWidth * paddedHeight bytes before the conversion.
void convertHalfResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height);

// One output row of width pixels from co-sited luma, Cb and Cr samples.
void convertRow(const DecoderContext* context, const uint8_t* luma, const uint8_t* cb,
                const uint8_t* cr, uint8_t* out, int32_t width);

// Brings a half-resolution chroma plane (stride paddedWidth / 2) to full resolution (stride
// paddedWidth): rows 0..h2-1 and columns 0..2m-1 of upsampled, where h2 and w2 are height
// and width rounded up to even and m = max(2, w2 / 2). width and height must be positive.
void upsampleChroma(const uint8_t* chroma, uint8_t* upsampled, int32_t paddedWidth, int32_t width,
                    int32_t height);

}  // namespace xqob
