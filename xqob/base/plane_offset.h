// Offset of the sample at column x, row y of a plane. Planes can exceed 2^31 samples, so the
// product is formed in ptrdiff_t.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

inline ptrdiff_t planeOffset(int32_t x, int32_t y, int32_t stride) {
    return static_cast<ptrdiff_t>(y) * stride + x;
}

// Offset of luma sample (x, y) in planeY, which holds the rows from lumaTop on.
inline ptrdiff_t lumaOffset(const DecoderContext* context, int32_t x, int32_t y) {
    return planeOffset(x, y - context->lumaTop, context->paddedWidth);
}

// Offset of chroma sample (x, y) in planeCr and planeCb, which hold the rows from chromaTop on.
inline ptrdiff_t chromaOffset(const DecoderContext* context, int32_t x, int32_t y) {
    return planeOffset(x, y - context->chromaTop, context->chromaWidth);
}

}  // namespace xqob
