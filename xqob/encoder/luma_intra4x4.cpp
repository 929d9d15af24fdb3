// Decisions for Intra4x4 quadrants: each 4x4 block in coding order, reconstructed before
// the next one is weighed, since it is that block's neighbour.
#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/encoder/block_commit.h"
#include "xqob/encoder/block_metrics.h"
#include "xqob/encoder/luma_decisions.h"
#include "xqob/encoder/mode_search.h"
#include "xqob/encoder/rate_estimate.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/residual.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

constexpr int32_t kFullTrials4x4 = 2;

struct BlockChoice {
    int32_t mode = 2;
    int32_t levels[16] = {};
    float cost = 1e30f;
};

// Coded and uncoded residual of one formed mode; takes it into best when it costs less.
void trialBlock(EncoderState* state, int32_t bx, int32_t by, int32_t mode, float modeBits,
                BlockChoice* best) {
    DecoderContext* context = &state->context;
    const int32_t stride = state->source.lumaStride;
    const uint8_t* source = state->source.y.data() + planeOffset(bx, by, stride);
    const float lambda = state->lambdaLuma;
    int32_t residual[16];
    blockResidual(source, stride, context->lumaPred4x4[mode], 4, residual);
    const float uncoded =
        float(residualEnergy(residual, 4)) + lambda * (modeBits + coded4x4Bits(context, bx, by, 0));
    if (uncoded < best->cost) {
        best->cost = uncoded;
        best->mode = mode;
        std::memset(best->levels, 0, sizeof best->levels);
    }
    float d[16];
    forwardTransform4x4(state->basis, residual, d);
    const ResidualPlan plan{&state->steps.luma4x4, state->basis.weight4x4,
                            residualKind4x4(context, mode), lambda, state->rounding};
    int32_t levels[16];
    if (!quantiseLevels(plan, d, levels)) return;
    const float bits =
        modeBits + coded4x4Bits(context, bx, by, 1) + residualBits(plan.kind, levels);
    if (lambda * bits >= best->cost) return;
    std::memcpy(context->coeff4x4, levels, sizeof levels);
    reconstructLuma4x4(context, bx, by, mode);
    const int64_t sse = blockSse(context->planeY + planeOffset(bx, by, context->paddedWidth),
                                 context->paddedWidth, source, stride, 4);
    const float coded = float(sse) + lambda * bits;
    if (coded < best->cost) {
        best->cost = coded;
        best->mode = mode;
        std::memcpy(best->levels, levels, sizeof levels);
    }
}

// Weighs the block at (bx, by), then reconstructs the best coding into planeY and records
// it as the commit would, for the blocks after it.
void chooseBlock(EncoderState* state, MacroblockInfo* info, int32_t bx, int32_t by,
                 uint16_t promisingModes, BlockChoice* best) {
    DecoderContext* context = &state->context;
    const int32_t stride = state->source.lumaStride;
    const uint8_t* source = state->source.y.data() + planeOffset(bx, by, stride);
    const Presence presence = lumaPresence(context, bx, by);
    float bits[9];
    mode4x4Bits(context, bx, by, bits);
    const int32_t predicted = predictLumaMode(context, bx, by);
    float score[9];
    int32_t residual[16];
    for (int32_t mode = 0; mode < 9; ++mode) {
        score[mode] = 1e30f;
        if (!modeFormable(mode, presence)) continue;
        if (mode != predicted && ((promisingModes >> mode) & 1) == 0) continue;
        predictIntraLuma4x4(context, bx, by, mode);
        blockResidual(source, stride, context->lumaPred4x4[mode], 4, residual);
        score[mode] = float(satd4x4(residual)) + state->satdLambdaLuma * bits[mode];
    }
    int32_t modes[kFullTrials4x4];
    int32_t count = bestModes(score, presence, kFullTrials4x4, modes);
    while (count > 1 && score[modes[count - 1]] >= 1e30f) --count;  // not predicted
    for (int32_t i = 0; i < count; ++i) trialBlock(state, bx, by, modes[i], bits[modes[i]], best);
    // The best mode's candidate still holds its prediction: no later trial formed that mode.
    std::memcpy(context->coeff4x4, best->levels, sizeof best->levels);
    reconstructLuma4x4(context, bx, by, best->mode);
    const int32_t k = blockIndex4x4(bx, by);
    info->mode4x4[k] = int8_t(best->mode);
    if (best->mode == predicted) info->mode4x4Predicted |= uint16_t(1u << k);
    if (anyLevel(best->levels, 16)) info->coded4x4 |= uint16_t(1u << k);
}

}  // namespace

void chooseIntra4x4Quadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy, float bound, uint16_t promisingModes,
                            QuadrantChoice* choice) {
    DecoderContext* context = &state->context;
    const MacroblockInfo saved = *info;
    TrialCandidates trial(state);
    *choice = QuadrantChoice{};
    choice->type = Intra4x4;
    choice->cost = state->lambdaLuma * blockTypeBits(context, qx, qy, Intra4x4);
    info->blockType[q] = Intra4x4;
    for (int32_t i = 0; i < 4 && choice->cost < bound; ++i) {
        BlockChoice best;
        chooseBlock(state, info, qx + 4 * (i & 1), qy + 4 * (i >> 1), promisingModes, &best);
        choice->modes4x4[i] = best.mode;
        std::memcpy(choice->levels4x4[i], best.levels, sizeof best.levels);
        choice->cost += best.cost;
    }
    if (choice->cost >= bound) choice->cost = 1e30f;
    *info = saved;
}

}  // namespace xqob
