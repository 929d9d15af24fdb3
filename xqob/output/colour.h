// YCbCr to packed R, G, B rows, with triangular upsampling of half-resolution chroma.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

// Allocates and fills crToR, cbToG, crToG, cbToB and clampTable, the table form of the
// conversion that convertRow uses; the decoder's kernels compute the same sums directly.
void setUpColourTables(DecoderContext* context);

// The whole picture into out: height rows of width R, G, B pixels, straight from planeY and
// the context's planeCb and planeCr, one row at a time; half-resolution chroma is upsampled
// row by row on the way. Allocates only two rows.
void convertPicture(DecoderContext* context, uint8_t* out);

// One output row of width pixels from co-sited luma, Cb and Cr samples.
void convertRow(const DecoderContext* context, const uint8_t* luma, const uint8_t* cb,
                const uint8_t* cr, uint8_t* out, int32_t width);

// One upsampled row of 2m samples from the chroma rows near and far (m >= 2 columns of
// each): horizontally and vertically interpolated, see upsampleChroma.
void upsampleRow(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m);

// Brings a half-resolution chroma plane (stride paddedWidth / 2) to full resolution (stride
// paddedWidth): rows 0..h2-1 and columns 0..2m-1 of upsampled, where h2 and w2 are height
// and width rounded up to even and m = max(2, w2 / 2). width and height must be positive.
void upsampleChroma(const uint8_t* chroma, uint8_t* upsampled, int32_t paddedWidth, int32_t width,
                    int32_t height);

}  // namespace xqob
