// Decisions for the quadrant kinds coded as one 8x8 block: Intra8x8, Intra8x8Weighted, Flat.
#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/encoder/block_metrics.h"
#include "xqob/encoder/luma_decisions.h"
#include "xqob/encoder/mode_search.h"
#include "xqob/encoder/rate_estimate.h"
#include "xqob/entropy/residual.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

// Modes of the quick pre-selection that get a full trial.
constexpr int32_t kFullTrials8x8 = 2;
// Modes handed on to the 4x4 search, DC aside.
constexpr int32_t kPromisingModes = 4;
// Of those, how many the weighted kind is tried with: it wins far less often.
constexpr int32_t kWeightedTrials = 1;

const uint8_t* sourceAt(const EncoderState* state, int32_t x, int32_t y) {
    return state->source.y.data() + planeOffset(x, y, state->source.lumaStride);
}

// The residual of one formed prediction candidate, in samples and transformed.
struct Residual8x8 {
    int32_t samples[64];
    float d[64];
    float energy;
};

void prepareResidual(const EncoderState* state, int32_t qx, int32_t qy, int32_t candidate,
                     Residual8x8* residual) {
    blockResidual(sourceAt(state, qx, qy), state->source.lumaStride,
                  state->context.lumaPred8x8[candidate], 8, residual->samples);
    residual->energy = float(residualEnergy(residual->samples, 8));
    forwardTransform8x8(state->basis, residual->samples, residual->d);
}

// The residual of candidate coded or not, whichever costs less; sideBits are the bits of
// the type and the mode or selector. Takes it into choice when it beats choice->cost.
void trialResidual8x8(EncoderState* state, int32_t qx, int32_t qy, int32_t candidate, bool weighted,
                      float sideBits, const Residual8x8& residual, QuadrantChoice* choice) {
    DecoderContext* context = &state->context;
    const float lambda = state->lambdaLuma;
    const float uncoded =
        residual.energy + lambda * (sideBits + codedQuadrantBits(context, qx, qy, 0));
    if (uncoded < choice->cost) {
        choice->cost = uncoded;
        choice->mode = candidate;
        std::memset(choice->levels, 0, sizeof choice->levels);
    }
    const ResidualPlan plan{
        weighted ? &state->steps.weighted8x8 : &state->steps.uniform8x8, state->basis.weight8x8,
        residualKind8x8(context, context->lumaQuantiser), lambda, state->rounding};
    int32_t levels[64];
    if (!quantiseLevels(plan, residual.d, levels)) return;
    const float bits =
        sideBits + codedQuadrantBits(context, qx, qy, 1) + residualBits(plan.kind, levels);
    if (lambda * bits >= choice->cost) return;
    std::memcpy(context->coeff8x8, levels, sizeof levels);
    reconstructLuma8x8(context, qx, qy, candidate, weighted ? 1 : 0);
    const int64_t sse =
        blockSse(context->planeY + planeOffset(qx, qy, context->paddedWidth), context->paddedWidth,
                 sourceAt(state, qx, qy), state->source.lumaStride, 8);
    const float coded = float(sse) + lambda * bits;
    if (coded < choice->cost) {
        choice->cost = coded;
        choice->mode = candidate;
        std::memcpy(choice->levels, levels, sizeof levels);
    }
}

}  // namespace

void chooseFlatQuadrant(EncoderState* state, int32_t qx, int32_t qy, QuadrantChoice* choice) {
    DecoderContext* context = &state->context;
    // The same call the commit makes: it writes candidates 0..2 with the same values again.
    predictFlatLuma(context, qx, qy);
    const int32_t mean = context->lumaPred8x8[0][0];
    *choice = QuadrantChoice{};
    choice->type = Flat;
    choice->cost = 1e30f;
    for (int32_t selector = 0; selector < 3; ++selector) {
        // A candidate beyond 0..255 is not formed.
        if ((selector == 1 && mean == 0) || (selector == 2 && mean == 255)) continue;
        Residual8x8 residual;
        prepareResidual(state, qx, qy, selector, &residual);
        trialResidual8x8(state, qx, qy, selector, true, flatOffsetBits(context, qx, qy, selector),
                         residual, choice);
    }
}

void chooseIntra8x8Quadrant(EncoderState* state, int32_t qx, int32_t qy, QuadrantChoice* uniform,
                            QuadrantChoice* weighted) {
    DecoderContext* context = &state->context;
    TrialCandidates trial(state);
    const Presence presence = lumaPresence(context, qx, qy);
    float bits[9];
    mode8x8Bits(context, qx, qy, bits);
    float score[9];
    int32_t residual[64];
    for (int32_t mode = 0; mode < 9; ++mode) {
        if (!modeFormable(mode, presence)) continue;
        predictIntraLuma8x8(context, qx, qy, mode);
        blockResidual(sourceAt(state, qx, qy), state->source.lumaStride, context->lumaPred8x8[mode],
                      8, residual);
        score[mode] = float(satd8x8(residual)) + state->satdLambdaLuma * bits[mode];
    }
    int32_t modes[kPromisingModes];
    const int32_t promising = bestModes(score, presence, kPromisingModes, modes);
    uint16_t promisingMask = 1u << 2;
    for (int32_t i = 0; i < promising; ++i) promisingMask |= uint16_t(1u << modes[i]);
    const int32_t count = promising < kFullTrials8x8 ? promising : kFullTrials8x8;
    const float uniformType = blockTypeBits(context, qx, qy, Intra8x8);
    const float weightedType = blockTypeBits(context, qx, qy, Intra8x8Weighted);
    *uniform = QuadrantChoice{};
    uniform->type = Intra8x8;
    uniform->cost = 1e30f;
    *weighted = QuadrantChoice{};
    weighted->type = Intra8x8Weighted;
    weighted->cost = 1e30f;
    uniform->promisingModes = promisingMask;
    weighted->promisingModes = promisingMask;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t mode = modes[i];
        Residual8x8 residual;
        prepareResidual(state, qx, qy, mode, &residual);
        trialResidual8x8(state, qx, qy, mode, false, uniformType + bits[mode], residual, uniform);
        if (i < kWeightedTrials) {
            trialResidual8x8(state, qx, qy, mode, true, weightedType + bits[mode], residual,
                             weighted);
        }
    }
}

}  // namespace xqob
