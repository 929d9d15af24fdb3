#include "xqob/encoder/quantise.h"

#include <cmath>
#include <cstdlib>

#include "xqob/encoder/rate_estimate.h"
#include "xqob/recon/quantiser.h"

namespace xqob {

namespace {

void setStep(StepTable* table, int32_t k, float step) {
    table->step[k] = step;
    table->inverse[k] = 1.0f / step;
}

int32_t lastSignificant(const ResidualKind& kind, const int32_t* levels) {
    int32_t pos = kind.size - 1;
    while (pos >= 0 && levels[kind.scan[pos]] == 0) --pos;
    return pos;
}

// About the bits saved by dropping a level of 1 at scan position last, whose significant
// predecessor is at previous (-1 for none): the significance bins from previous + 1 to last,
// its last bin, sign and magnitude bin, less the last bin that previous then needs. The
// shift of the other levels' magnitude contexts is ignored.
float droppedBits(const ResidualKind& kind, int32_t previous, int32_t last) {
    const int32_t size = kind.size;
    float bits = 1.0f + bitCost(kind.levelFirstModels, 0);
    for (int32_t pos = previous + 1; pos <= last && pos < size - 1; ++pos) {
        bits += bitCost(kind.sigModels + kind.sigMap[pos], pos == last);
    }
    if (last < size - 1) {
        bits += bitCost(kind.lastModels + kind.lastMap[last], 1);
    }
    if (previous >= 0) {
        const BitModel* model = kind.lastModels + kind.lastMap[previous];
        bits -= bitCost(model, 1) - bitCost(model, 0);
    }
    return bits;
}

}  // namespace

void setUpQuantiserSteps(const DecoderContext* context, QuantiserSteps* steps) {
    const int32_t luma = context->lumaQuantiser;
    const int32_t chroma = context->chromaQuantiser;
    const float lumaScale = float(1 << (luma / 12));
    const float chromaScale = float(1 << (chroma / 12));
    for (int32_t k = 0; k < 16; ++k) {
        setStep(&steps->luma4x4, k, float(dequantScale4x4[luma % 12][class4[k]]) * lumaScale / 2);
    }
    for (int32_t k = 0; k < 64; ++k) {
        setStep(&steps->uniform8x8, k, float(dequantScale8x8[luma % 12][class8[k]]) * lumaScale);
        setStep(&steps->weighted8x8, k, float(context->weightedDequant8x8[k]));
        setStep(&steps->chroma, k, float(dequantScale8x8[chroma % 12][class8[k]]) * chromaScale);
    }
}

bool quantiseLevels(const ResidualPlan& plan, const float* d, int32_t* levels) {
    const int32_t size = plan.kind.size;
    const StepTable& steps = *plan.steps;
    bool any = false;
    for (int32_t k = 0; k < size; ++k) {
        const float scaled = std::fabs(d[k]) * steps.inverse[k] + plan.rounding;
        int32_t level = scaled >= float(plan.kind.cap) ? plan.kind.cap : int32_t(scaled);
        any = any || level != 0;
        levels[k] = d[k] < 0 ? -level : level;
    }
    // The last level of the scan carries the bins of the zeros before it: a lone 1 there is
    // dropped while the distortion it saves is worth fewer bits than it costs.
    int32_t last = lastSignificant(plan.kind, levels);
    while (last >= 0) {
        const int32_t k = plan.kind.scan[last];
        if (std::abs(levels[k]) != 1) break;
        int32_t previous = last - 1;
        while (previous >= 0 && levels[plan.kind.scan[previous]] == 0) --previous;
        const float a = std::fabs(d[k]);
        const float saved = plan.weight[k] * steps.step[k] * (2 * a - steps.step[k]);
        if (saved >= plan.lambda * droppedBits(plan.kind, previous, last)) break;
        levels[k] = 0;
        last = previous;
    }
    any = last >= 0;
    return any;
}

}  // namespace xqob
