// Where an edge segment lies in its plane, for the luma and chroma edge filters.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xqob {

// The first sample q0 of an 8-line segment, and the steps from one line to the next and from
// p0 to q0 (1 or the row stride).
struct EdgeSegment {
    uint8_t* first;
    ptrdiff_t along;
    ptrdiff_t across;
};

// direction 0: vertical edge at column x, rows y..y+7; 1: horizontal edge at row y.
inline EdgeSegment edgeSegment(uint8_t* plane, int32_t stride, int32_t x, int32_t y,
                               int32_t direction) {
    uint8_t* first = plane + ptrdiff_t(y) * stride + x;
    if (direction == 0) return EdgeSegment{first, stride, 1};
    return EdgeSegment{first, 1, stride};
}

}  // namespace xqob
