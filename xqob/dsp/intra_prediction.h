// The nine intra prediction rules over an N x N block (N = 4 or 8), shared by the 4x4 and
// 8x8 luma predictors and the chroma predictor, and the smoothing of the 8x8 references.
#pragma once

#include <cstdint>

namespace xqob {

// t holds 2N samples above (and above-right), l holds N samples to the left, c the corner.
// Writes the prediction in raster order into out, or nothing when mode needs a neighbour
// that is absent. Returns true when it wrote.
bool formIntraPrediction(int32_t n, const int32_t* t, const int32_t* l, int32_t c, bool top,
                         bool left, int32_t mode, int32_t* out);

// The same, rule by rule and sample by sample: the reference the fast form is checked against.
bool formIntraPredictionReference(int32_t n, const int32_t* t, const int32_t* l, int32_t c,
                                  bool top, bool left, int32_t mode, int32_t* out);

// [1, 2, 1] smoothing of the 8x8 references: t (16), l (8), c into ts, ls, cs.
void smoothLumaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                          int32_t* ts, int32_t* ls, int32_t* cs);

// [9, 10, 9] / 28 smoothing of the references: t (16), l (8), c into ts, ls, cs.
void smoothChromaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                            int32_t* ts, int32_t* ls, int32_t* cs);

}  // namespace xqob
