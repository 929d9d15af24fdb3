// Offset of the sample at column x, row y of a plane. Planes can exceed 2^31 samples, so the
// product is formed in ptrdiff_t.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xqob {

inline ptrdiff_t planeOffset(int32_t x, int32_t y, int32_t stride) {
    return static_cast<ptrdiff_t>(y) * stride + x;
}

}  // namespace xqob
