// The picture to be coded as the codec's planes: JFIF YCbCr, chroma downsampled when it is
// coded at half resolution, every plane padded to the coded size by edge replication.
#pragma once

#include <cstdint>
#include <vector>

#include "xqob/encoder/encode_picture.h"

namespace xqob {

struct SourcePlanes {
    std::vector<uint8_t> y;   // lumaStride x lumaRows
    std::vector<uint8_t> cb;  // chromaStride x chromaRows (empty for a gray picture)
    std::vector<uint8_t> cr;
    int32_t lumaStride = 0;
    int32_t lumaRows = 0;
    int32_t chromaStride = 0;
    int32_t chromaRows = 0;
};

// The JFIF conversion that the colour output inverts, rounded and clamped to 0..255.
void rgbToYCbCr(int32_t r, int32_t g, int32_t b, uint8_t* y, uint8_t* cb, uint8_t* cr);

// Builds the planes of image at the padded luma size (multiples of 16). A gray picture gets
// luma only: the source itself for one channel, the JFIF luma of R, G, B otherwise; a colour
// picture needs a three-channel source. Half-resolution chroma is filtered down from the
// padded full-resolution planes with each sample at the centre of its 2 x 2 luma samples,
// by the filter that the decoder's upsampler reproduces most closely.
void prepareSourcePlanes(const SourceImage& image, bool gray, bool fullChroma, int32_t paddedWidth,
                         int32_t paddedHeight, SourcePlanes* planes);

}  // namespace xqob
