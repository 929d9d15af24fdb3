// The pixel kernels: reconstruction of transform blocks, chroma upsampling with colour
// conversion, and the deblocking line filters. Each kernel has a plain reference version and
// optimised ones beside it that give bit-identical results; one table of them is chosen per
// decode for the processor at hand.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xqob {

// The references of an n x n intra block (n = 4 or 8) as samples: the n samples above and
// the n above-right (the last one above repeated where those are absent), the n to the left
// from the top down, and the corner (0 unless both sides are present). Samples of an absent
// side, and those past n, are 0.
struct IntraEdge {
    uint8_t above[16];
    uint8_t left[8];
    uint8_t corner;
    bool hasTop;
    bool hasLeft;
};

struct DspFunctions {
    // Dequantise, inverse-transform, add the prediction with rounding, clip to 0..255 and
    // store. 4x4: d = (factor * level + 1) >> 1, result (64 p + d + 32) >> 6; 8x8: d = factor *
    // level, result (256 p + d + 128) >> 8. Every sum and product wraps modulo 2^32 and every
    // shift is arithmetic, so extreme levels give the same samples on every path.
    void (*reconstruct4x4)(const int32_t* levels, const int32_t* factors, const int32_t* prediction,
                           uint8_t* dst, ptrdiff_t stride);
    void (*reconstruct8x8)(const int32_t* levels, const int32_t* factors, const int32_t* prediction,
                           uint8_t* dst, ptrdiff_t stride);
    // A block without residual: the prediction (0..255) stored as it is.
    void (*putPrediction4x4)(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);
    void (*putPrediction8x8)(const int32_t* prediction, uint8_t* dst, ptrdiff_t stride);

    // width R, G, B pixels from co-sited luma, Cb and Cr samples.
    void (*convertRow)(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                       int32_t width);
    // One half-resolution chroma row pair to 2m upsampled samples (m >= 2).
    void (*upsampleRow)(const uint8_t* near, const uint8_t* far, uint8_t* out, int32_t m);

    // One 8-line edge segment: q0 is the first line's sample right of (below) the edge,
    // along the step to the next line, across the step from p0 to q0. limits: a row of the
    // luma or chroma strength table.
    void (*filterLumaSegment)(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                              const uint16_t* limits);
    void (*filterChromaSegment)(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                const uint8_t* limits);

    // The same conversion to width pixels of four bytes, R, G, B, 255 (B, G, R, 255 when
    // bgr is true), for callers that keep pixels of four bytes.
    void (*convertRowQuad)(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                           int32_t width, bool bgr);

    // The two segments of one luma edge, 16 lines: the same as filterLumaSegment at q0 and
    // then at q0 + 8 * along (the lines are independent). along or across is 1.
    void (*filterLumaSegmentPair)(uint8_t* q0, ptrdiff_t along, ptrdiff_t across,
                                  const uint16_t* limits);
    // The same chroma segment in both planes: filterChromaSegment at cr, then at cb.
    void (*filterChromaSegments)(uint8_t* cr, uint8_t* cb, ptrdiff_t along, ptrdiff_t across,
                                 const uint8_t* limits);

    // An 8x8 intra prediction: the references smoothed, by [1 2 1] / 4 for luma or by
    // [9 10 9] / 28 for chroma (an end without an outer neighbour lets its own sample stand
    // in), then the mode's rule over the smoothed references into out, in raster order.
    // Returns false, writing nothing, when the mode reads an absent side.
    bool (*predictIntra8x8)(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out);
    // A 4x4 luma intra prediction: the mode's rule over the references as they are.
    bool (*predictIntra4x4)(const IntraEdge* edge, int32_t mode, int32_t* out);
};

enum class DspLevel : int32_t { reference = 0, sse2 = 1, avx2 = 2, simd128 = 3 };

// The kernels of one level; kernels a level does not improve come from the level below. A
// level that this build or processor lacks gives null. simd128 is WebAssembly's, present in
// the modules that link it (xqob/dsp/wasm.h).
const DspFunctions* dspFunctions(DspLevel level);

// The highest level this processor runs.
DspLevel bestDspLevel();

// The reference kernels, for the tests that compare every level against them.
extern const DspFunctions referenceDsp;

}  // namespace xqob
