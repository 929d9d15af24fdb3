// The references of an intra block, gathered from its plane for the prediction kernels.
#pragma once

#include <cstdint>
#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/dsp/dsp.h"

namespace xqob {

// The references of the n x n block whose first sample is block, in a plane of stride
// samples a row; aboveRight tells whether the n samples above-right are decoded (else the last
// sample above is repeated).
template <int32_t n>
inline IntraEdge gatherIntraEdge(const uint8_t* block, int32_t stride, bool top, bool left,
                                 bool aboveRight) {
    IntraEdge edge{};
    edge.hasTop = top;
    edge.hasLeft = left;
    if (top) {
        const uint8_t* above = block - stride;
        std::memcpy(edge.above, above, aboveRight ? 2 * n : n);
        if (!aboveRight) std::memset(edge.above + n, above[n - 1], n);
    }
    if (left) {
        for (int32_t i = 0; i < n; ++i) edge.left[i] = block[planeOffset(-1, i, stride)];
    }
    if (top && left) edge.corner = block[-stride - 1];
    return edge;
}

}  // namespace xqob
