// Which luma neighbours of a block are already reconstructed. Blocks are reconstructed in a
// fixed order: macroblocks in raster order, inside each the four 8x8 quadrants top-left,
// top-right, bottom-left, bottom-right, and inside an Intra4x4 quadrant its four 4x4 blocks
// in the same order. So the position alone tells whether a sample exists yet; no per-sample
// map is needed.
#pragma once

#include <cstdint>

namespace xqob {

// The rank of the 4x4 block holding luma sample (px, py) in its macroblock's decoding order:
// 4 * quadrant + the block's place in the quadrant.
inline int32_t decodingRank4x4(int32_t px, int32_t py) {
    const int32_t column = (px & 15) >> 2;
    const int32_t row = (py & 15) >> 2;
    return 4 * (2 * (row >> 1) + (column >> 1)) + 2 * (row & 1) + (column & 1);
}

// Whether the sample (x + n, y - 1), above-right of the n x n block at (x, y), is
// reconstructed before that block. y must be positive. The sample lies either in an earlier
// macroblock row (always decoded), in the macroblock to the right (never yet), or in the
// block's own macroblock, where the rank decides. The right edge of the plane is tested by
// the caller.
inline bool aboveRightDecoded(int32_t x, int32_t y, int32_t n) {
    // For a quadrant that leaves only the bottom right one of its macroblock without them.
    if (n == 8) return (x & 15) == 0 || (y & 15) == 0;
    const int32_t sx = x + n;
    const int32_t sy = y - 1;
    if ((sy >> 4) != (y >> 4)) return true;
    if ((sx >> 4) != (x >> 4)) return false;
    return decodingRank4x4(sx, sy) < decodingRank4x4(x, y);
}

}  // namespace xqob
