// The references of an 8x8 intra block, gathered from its plane for the prediction kernel.
#pragma once

#include <cstdint>
#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/dsp/dsp.h"

namespace xqob {

// block is the block's first sample in a plane of stride samples a row; aboveRight tells
// whether the 8 samples above-right are decoded (else the last sample above is repeated).
inline IntraEdge8x8 gatherIntraEdge8x8(const uint8_t* block, int32_t stride, bool top, bool left,
                                       bool aboveRight) {
    IntraEdge8x8 edge{};
    edge.hasTop = top;
    edge.hasLeft = left;
    if (top) {
        const uint8_t* above = block - stride;
        std::memcpy(edge.above, above, aboveRight ? 16 : 8);
        if (!aboveRight) std::memset(edge.above + 8, above[7], 8);
    }
    if (left) {
        for (int32_t i = 0; i < 8; ++i) edge.left[i] = block[planeOffset(-1, i, stride)];
    }
    if (top && left) edge.corner = block[-stride - 1];
    return edge;
}

}  // namespace xqob
