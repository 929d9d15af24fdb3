#include <cstddef>

#include "xqob/base/allocation_chain.h"
#include "xqob/output/colour.h"

namespace xqob {

namespace {

// a(j) = 3 * near(j) + far(j), 0..1020: the vertical blend of a chroma column.
inline int32_t blend(const uint8_t* near, const uint8_t* far, int32_t j) {
    return 3 * int32_t(near[j]) + int32_t(far[j]);
}

// Two output samples per chroma column j: (3 a(j) + a(j - 1) + 8) >> 4 at 2j and
// (3 a(j) + a(j + 1) + 7) >> 4 at 2j + 1, with a missing neighbour replaced by a(j).
// The results stay within 0..255. m >= 2, so the first and last columns differ.
}  // namespace

void upsampleRow(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m) {
    const int32_t first = blend(near, far, 0);
    out[0] = static_cast<uint8_t>((4 * first + 8) >> 4);
    out[1] = static_cast<uint8_t>((3 * first + blend(near, far, 1) + 7) >> 4);
    for (int32_t j = 1; j < m - 1; ++j) {
        const int32_t left = blend(near, far, j - 1);
        const int32_t centre = blend(near, far, j);
        const int32_t right = blend(near, far, j + 1);
        out[2 * j] = static_cast<uint8_t>((3 * centre + left + 8) >> 4);
        out[2 * j + 1] = static_cast<uint8_t>((3 * centre + right + 7) >> 4);
    }
    const int32_t last = blend(near, far, m - 1);
    out[2 * m - 2] = static_cast<uint8_t>((3 * last + blend(near, far, m - 2) + 8) >> 4);
    out[2 * m - 1] = static_cast<uint8_t>((4 * last + 7) >> 4);
}

void upsampleChroma(const uint8_t* chroma, uint8_t* upsampled, int32_t paddedWidth, int32_t width,
                    int32_t height) {
    const int32_t evenWidth = width + (width & 1);
    const int32_t evenHeight = height + (height & 1);
    // Even a picture one or two pixels wide blends two chroma columns.
    const int32_t m = evenWidth / 2 < 2 ? 2 : evenWidth / 2;
    const ptrdiff_t chromaStride = paddedWidth / 2;
    for (int32_t r = 0; r < evenHeight; ++r) {
        // The nearest chroma row and the one on the other side of the output row's centre;
        // the first and last output rows reuse the nearest one.
        const int32_t c = r / 2;
        int32_t n = (r & 1) ? c + 1 : c - 1;
        if (r == 0 || r == evenHeight - 1) n = c;
        upsampleRow(chroma + c * chromaStride, chroma + n * chromaStride,
                    upsampled + ptrdiff_t(r) * paddedWidth, m);
    }
}

}  // namespace xqob
