// Reference colour conversion, upsampling and deblocking kernels.
#include "xqob/dsp/reference.h"

namespace xqob {

namespace {

int32_t clipRange(int32_t low, int32_t high, int32_t value) {
    return value < low ? low : (value > high ? high : value);
}

uint8_t clipSample(int32_t value) {
    return static_cast<uint8_t>(clipRange(0, 255, value));
}

int32_t absolute(int32_t value) {
    return value < 0 ? -value : value;
}

// a(j) = 3 * near(j) + far(j), 0..1020: the vertical blend of a chroma column.
int32_t blend(const uint8_t* near, const uint8_t* far, int32_t j) {
    return 3 * int32_t(near[j]) + int32_t(far[j]);
}

// 1.402, 0.34414, 0.71414 and 1.772 in 16-bit fixed point; the two green terms are summed
// before the shift, which rounds towards minus infinity. R, G, B of pixel x at out[0..2].
void convertPixel(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, int32_t x,
                  uint8_t* out, int32_t red, int32_t blue) {
    const int32_t y = luma[x];
    const int32_t u = cb[x] - 128;
    const int32_t v = cr[x] - 128;
    out[red] = clipSample(y + ((91881 * v + 32768) >> 16));
    out[1] = clipSample(y + ((-22554 * u + 32768 - 46802 * v) >> 16));
    out[blue] = clipSample(y + ((116130 * u + 32768) >> 16));
}

}  // namespace

void convertRowReference(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                         int32_t width) {
    for (int32_t x = 0; x < width; ++x) convertPixel(luma, cb, cr, x, out + 3 * x, 0, 2);
}

void convertRowQuadReference(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                             uint8_t* out, int32_t width, bool bgr) {
    for (int32_t x = 0; x < width; ++x) {
        convertPixel(luma, cb, cr, x, out + 4 * x, bgr ? 2 : 0, bgr ? 0 : 2);
        out[4 * x + 3] = 255;
    }
}

// Two output samples per chroma column j: (3 a(j) + a(j - 1) + 8) >> 4 at 2j and
// (3 a(j) + a(j + 1) + 7) >> 4 at 2j + 1, with a missing neighbour (before column 0, after
// column m - 1) replaced by a(j). The results stay within 0..255.
void upsampleColumnsReference(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t first,
                              int32_t end, int32_t m) {
    for (int32_t j = first; j < end; ++j) {
        const int32_t centre = blend(near, far, j);
        const int32_t left = j > 0 ? blend(near, far, j - 1) : centre;
        const int32_t right = j < m - 1 ? blend(near, far, j + 1) : centre;
        out[2 * j] = static_cast<uint8_t>((3 * centre + left + 8) >> 4);
        out[2 * j + 1] = static_cast<uint8_t>((3 * centre + right + 7) >> 4);
    }
}

void upsampleRowReference(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m) {
    upsampleColumnsReference(near, far, out, 0, m, m);
}

// One line p2 p1 p0 | q0 q1 q2 across the edge; s points at q0. Only p1..q1 change.
void filterLumaSegmentReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                const uint16_t* limits) {
    const int32_t stepLimit = limits[0];
    const int32_t outerLimit = limits[1];
    const int32_t outerClip = limits[3];
    for (int32_t line = 0; line < 8; ++line) {
        uint8_t* s = q0 + line * along;
        const int32_t p2 = s[-3 * across], p1 = s[-2 * across], p0 = s[-across];
        const int32_t q = s[0], q1 = s[across], q2 = s[2 * across];
        // Only the sides are tested, not the step across the edge.
        if (absolute(p1 - p0) >= stepLimit || absolute(q1 - q) >= stepLimit) continue;
        int32_t clip = limits[2];
        const int32_t mid = (p0 + q + 1) >> 1;
        // A smooth outer side widens the correction by 1 even when the outer clip is 0. p1
        // (q1) moves towards the mean of p2 (q2) and mid and never past it: within 0..255.
        if (absolute(p2 - p0) < outerLimit) {
            s[-2 * across] = static_cast<uint8_t>(
                p1 + clipRange(-outerClip, outerClip, (p2 + mid - 2 * p1) >> 1));
            ++clip;
        }
        if (absolute(q2 - q) < outerLimit) {
            s[across] = static_cast<uint8_t>(
                q1 + clipRange(-outerClip, outerClip, (q2 + mid - 2 * q1) >> 1));
            ++clip;
        }
        const int32_t delta = clipRange(-clip, clip, (3 * (p1 - q1) + 8 * (q - p0) + 8) >> 4);
        s[-across] = clipSample(p0 + delta);
        s[0] = clipSample(q - delta);
    }
}

void filterLumaSegmentPairReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                    const uint16_t* limits) {
    filterLumaSegmentReference(q0, along, across, limits);
    filterLumaSegmentReference(q0 + 8 * along, along, across, limits);
}

// A small step between flat sides becomes a ramp from p2 to q2; every other line gets a
// clipped correction of p0 and q0.
void filterChromaSegmentReference(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                  const uint8_t* limits) {
    const int32_t stepLimit = limits[0];
    const int32_t flatLimit = limits[1];
    const int32_t clip = limits[2];
    for (int32_t line = 0; line < 8; ++line) {
        uint8_t* s = q0 + line * along;
        const int32_t p2 = s[-3 * across], p1 = s[-2 * across], p0 = s[-across];
        const int32_t q = s[0], q1 = s[across], q2 = s[2 * across];
        if (absolute(p0 - q) < stepLimit && absolute(p0 - p2) < flatLimit &&
            absolute(p1 - p2) < flatLimit && absolute(q - q2) < flatLimit &&
            absolute(q1 - q2) < flatLimit) {
            // The ramp stays between p2 and q2, so within 0..255.
            const int32_t d = q2 - p2;
            s[-2 * across] = static_cast<uint8_t>(p2 + ((d + 2) >> 2));
            s[-across] = static_cast<uint8_t>(p2 + ((2 * d + 2) >> 2));
            s[0] = static_cast<uint8_t>(q2 - ((2 * d + 2) >> 2));
            s[across] = static_cast<uint8_t>(q2 - ((d + 2) >> 2));
            continue;
        }
        const int32_t delta = clipRange(-clip, clip, (16 * (q - p0) + 5 * (p1 - q1) + 16) >> 5);
        s[-across] = clipSample(p0 + delta);
        s[0] = clipSample(q - delta);
    }
}

void filterChromaSegmentsReference(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                                   const uint8_t* limits) {
    filterChromaSegmentReference(cr, along, across, limits);
    filterChromaSegmentReference(cb, along, across, limits);
}

}  // namespace xqob
