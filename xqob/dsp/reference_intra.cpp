// The reference intra predictions: the references widened, smoothed (8x8) and predicted by
// the scalar rules of the predictors.
#include "xqob/dsp/intra_prediction.h"
#include "xqob/dsp/reference.h"

namespace xqob {

bool predictIntra8x8Reference(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out) {
    int32_t t[16];
    int32_t l[8];
    for (int32_t i = 0; i < 16; ++i) t[i] = edge->above[i];
    for (int32_t i = 0; i < 8; ++i) l[i] = edge->left[i];
    int32_t ts[16];
    int32_t ls[8];
    int32_t cs;
    const auto smooth = chroma ? smoothChromaReferences : smoothLumaReferences;
    smooth(t, l, edge->corner, edge->hasTop, edge->hasLeft, ts, ls, &cs);
    return formIntraPrediction(8, ts, ls, cs, edge->hasTop, edge->hasLeft, mode, out);
}

bool predictIntra4x4Reference(const IntraEdge* edge, int32_t mode, int32_t* out) {
    int32_t t[8];
    int32_t l[4];
    for (int32_t i = 0; i < 8; ++i) t[i] = edge->above[i];
    for (int32_t i = 0; i < 4; ++i) l[i] = edge->left[i];
    return formIntraPrediction(4, t, l, edge->corner, edge->hasTop, edge->hasLeft, mode, out);
}

}  // namespace xqob
