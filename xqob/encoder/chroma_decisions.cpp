#include "xqob/encoder/chroma_decisions.h"

#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/encoder/block_metrics.h"
#include "xqob/encoder/mode_search.h"
#include "xqob/encoder/random_decisions.h"
#include "xqob/encoder/rate_estimate.h"
#include "xqob/entropy/residual.h"
#include "xqob/recon/chroma_prediction.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

constexpr int32_t kFullTrialsChroma = 2;

// One plane's residual against a formed candidate, and its quantised levels.
struct PlaneTrial {
    float energy = 0;  // squared error of the prediction alone
    bool codable = false;
    float bits = 0;  // residual bins when coded
    int32_t levels[64] = {};
};

const uint8_t* sourceAt(const EncoderState* state, bool cr, int32_t x, int32_t y) {
    const std::vector<uint8_t>& plane = cr ? state->source.cr : state->source.cb;
    return plane.data() + planeOffset(x, y, state->source.chromaStride);
}

uint8_t* planeAt(DecoderContext* context, bool cr, int32_t x, int32_t y) {
    return (cr ? context->planeCr : context->planeCb) + planeOffset(x, y, context->chromaWidth);
}

void prepareTrial(EncoderState* state, bool cr, int32_t x, int32_t y, const int32_t* prediction,
                  PlaneTrial* trial) {
    int32_t residual[64];
    blockResidual(sourceAt(state, cr, x, y), state->source.chromaStride, prediction, 8, residual);
    trial->energy = float(residualEnergy(residual, 8));
    float d[64];
    forwardTransform8x8(state->basis, residual, d);
    const ResidualPlan plan{&state->steps.chroma, state->basis.weight8x8,
                            residualKindChroma(&state->context), state->lambdaChroma,
                            state->rounding};
    trial->codable = quantiseLevels(plan, d, trial->levels);
    trial->bits = trial->codable ? residualBits(plan.kind, trial->levels) : 0.0f;
}

// Whether to code the plane's residual: the uncoded and the coded cost (sse: the coded
// reconstruction's error), with the coded-flag bits of each. Clears the levels when not.
float settleTrial(const EncoderState* state, PlaneTrial* trial, int64_t sse, float uncodedFlag,
                  float codedFlag) {
    const float lambda = state->lambdaChroma;
    const float uncoded = trial->energy + lambda * uncodedFlag;
    if (trial->codable) {
        const float coded = float(sse) + lambda * (codedFlag + trial->bits);
        if (coded < uncoded) return coded;
        trial->codable = false;
    }
    std::memset(trial->levels, 0, sizeof trial->levels);
    return uncoded;
}

int64_t codedSse(EncoderState* state, bool cr, int32_t x, int32_t y) {
    return blockSse(planeAt(&state->context, cr, x, y), state->context.chromaWidth,
                    sourceAt(state, cr, x, y), state->source.chromaStride, 8);
}

// One plane of a Flat block: the selector and residual of least cost.
void chooseFlatPlane(EncoderState* state, int32_t x, int32_t y, bool cr, int32_t codedCr,
                     int32_t* selector, int32_t* levels) {
    DecoderContext* context = &state->context;
    int32_t* const* candidates = cr ? context->crPred : context->cbPred;
    const int32_t mean = candidates[0][0];
    float best = 1e30f;
    for (int32_t s = 0; s < 3; ++s) {
        if ((s == 1 && mean == 0) || (s == 2 && mean == 255)) continue;
        PlaneTrial trial;
        prepareTrial(state, cr, x, y, candidates[s], &trial);
        int64_t sse = 0;
        if (trial.codable) {
            std::memcpy(cr ? context->coeffCr : context->coeffCb, trial.levels,
                        sizeof trial.levels);
            std::memset(cr ? context->coeffCb : context->coeffCr, 0, 64 * sizeof(int32_t));
            reconstructChroma(context, x, y, cr ? s : 0, cr ? 0 : s);
            sse = codedSse(state, cr, x, y);
        }
        const float uncodedFlag =
            cr ? codedCrBits(context, x, y, 0) : codedCbBits(context, codedCr, 0);
        const float codedFlag =
            cr ? codedCrBits(context, x, y, 1) : codedCbBits(context, codedCr, 1);
        const float cost = settleTrial(state, &trial, sse, uncodedFlag, codedFlag) +
                           state->lambdaChroma * chromaFlatOffsetBits(context, x, y, cr, s);
        if (cost < best) {
            best = cost;
            *selector = s;
            std::memcpy(levels, trial.levels, sizeof trial.levels);
        }
    }
}

void chooseFlatBlock(EncoderState* state, int32_t x, int32_t y, ChromaChoice* choice) {
    // The same call the commit makes; it rewrites candidates 0..2 with the same values.
    predictFlatChroma(&state->context, x, y);
    chooseFlatPlane(state, x, y, true, 0, &choice->selectorCr, choice->levelsCr);
    const int32_t codedCr = anyLevel(choice->levelsCr, 64) ? 1 : 0;
    chooseFlatPlane(state, x, y, false, codedCr, &choice->selectorCb, choice->levelsCb);
}

// Both planes with one formed mode; returns the cost without the mode bits.
float trialMode(EncoderState* state, int32_t x, int32_t y, int32_t mode, ChromaChoice* choice) {
    DecoderContext* context = &state->context;
    PlaneTrial cr;
    PlaneTrial cb;
    prepareTrial(state, true, x, y, context->crPred[mode], &cr);
    prepareTrial(state, false, x, y, context->cbPred[mode], &cb);
    int64_t sseCr = 0;
    int64_t sseCb = 0;
    if (cr.codable || cb.codable) {
        std::memcpy(context->coeffCr, cr.levels, sizeof cr.levels);
        std::memcpy(context->coeffCb, cb.levels, sizeof cb.levels);
        reconstructChroma(context, x, y, mode, mode);
        sseCr = codedSse(state, true, x, y);
        sseCb = codedSse(state, false, x, y);
    }
    float cost = settleTrial(state, &cr, sseCr, codedCrBits(context, x, y, 0),
                             codedCrBits(context, x, y, 1));
    const int32_t codedCr = cr.codable ? 1 : 0;
    cost += settleTrial(state, &cb, sseCb, codedCbBits(context, codedCr, 0),
                        codedCbBits(context, codedCr, 1));
    choice->mode = mode;
    std::memcpy(choice->levelsCr, cr.levels, sizeof cr.levels);
    std::memcpy(choice->levelsCb, cb.levels, sizeof cb.levels);
    return cost;
}

void chooseIntraBlock(EncoderState* state, int32_t x, int32_t y, ChromaChoice* choice) {
    DecoderContext* context = &state->context;
    TrialCandidates trial(state);
    const Presence presence{y > 0, x > 0};
    float bits[9];
    chromaModeBits(context, x, y, bits);
    float score[9];
    int32_t residual[64];
    for (int32_t mode = 0; mode < 9; ++mode) {
        if (!modeFormable(mode, presence)) continue;
        predictIntraChroma(context, x, y, mode);
        blockResidual(sourceAt(state, true, x, y), state->source.chromaStride,
                      context->crPred[mode], 8, residual);
        int32_t satd = satd8x8(residual);
        blockResidual(sourceAt(state, false, x, y), state->source.chromaStride,
                      context->cbPred[mode], 8, residual);
        satd += satd8x8(residual);
        score[mode] = float(satd) + state->satdLambdaChroma * bits[mode];
    }
    int32_t modes[kFullTrialsChroma];
    const int32_t count = bestModes(score, presence, kFullTrialsChroma, modes);
    float best = 1e30f;
    ChromaChoice candidate;
    for (int32_t i = 0; i < count; ++i) {
        const float cost =
            trialMode(state, x, y, modes[i], &candidate) + state->lambdaChroma * bits[modes[i]];
        if (cost < best) {
            best = cost;
            *choice = candidate;
        }
    }
}

}  // namespace

void chooseChromaBlock(EncoderState* state, int32_t x, int32_t y, ChromaChoice* choice) {
    *choice = ChromaChoice{};
    choice->flat = isFlatChromaBlock(&state->context, x, y);
    if (choice->flat) {
        chooseFlatBlock(state, x, y, choice);
    } else {
        chooseIntraBlock(state, x, y, choice);
    }
}

void encodeChromaPlane(EncoderState* state) {
    DecoderContext* context = &state->context;
    ChromaBlockInfo* info = context->chromaBlockInfo;
    for (int32_t y = 0; y < context->chromaHeight; y += 8) {
        for (int32_t x = 0; x < context->chromaWidth; x += 8, ++info) {
            if (state->randomDecisions) {
                randomChromaBlock(state, info, x, y);
                continue;
            }
            ChromaChoice choice;
            chooseChromaBlock(state, x, y, &choice);
            commitChromaBlock(state, info, x, y, choice);
        }
    }
}

}  // namespace xqob
