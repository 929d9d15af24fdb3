// The luma plane: macroblocks in raster order, each quadrant decided and then committed
// before the next one is weighed.
#include <cstring>

#include "xqob/encoder/block_commit.h"
#include "xqob/encoder/luma_decisions.h"
#include "xqob/encoder/random_decisions.h"
#include "xqob/entropy/luma_syntax.h"

namespace xqob {

namespace {

void commitChoice(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx, int32_t qy,
                  const QuadrantChoice& choice) {
    if (choice.type == Flat) {
        commitFlatQuadrant(state, info, q, qx, qy, choice.mode, choice.levels);
        return;
    }
    if (choice.type != Intra4x4) {
        commitIntra8x8Quadrant(state, info, q, qx, qy, choice.type, choice.mode, choice.levels);
        return;
    }
    commitIntra4x4Type(state, info, q, qx, qy);
    for (int32_t i = 0; i < 4; ++i) {
        commitIntra4x4Block(state, info, qx + 4 * (i & 1), qy + 4 * (i >> 1), choice.modes4x4[i],
                            choice.levels4x4[i]);
    }
}

void encodeQuadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx, int32_t qy) {
    if (state->randomDecisions) {
        randomLumaQuadrant(state, info, q, qx, qy);
        return;
    }
    if (isFlatQuadrant(&state->context, qx, qy)) {
        QuadrantChoice flat;
        chooseFlatQuadrant(state, qx, qy, &flat);
        commitChoice(state, info, q, qx, qy, flat);
        return;
    }
    QuadrantChoice uniform;
    QuadrantChoice weighted;
    chooseIntra8x8Quadrant(state, qx, qy, &uniform, &weighted);
    const QuadrantChoice* best = weighted.cost <= uniform.cost ? &weighted : &uniform;
    // An 8x8 prediction so good that no level survives quantisation leaves 4x4 blocks
    // nothing to gain but their extra mode bits.
    QuadrantChoice small;
    if (anyLevel(best->levels, 64)) {
        chooseIntra4x4Quadrant(state, info, q, qx, qy, best->cost, uniform.promisingModes, &small);
        if (small.cost < best->cost) best = &small;
    }
    commitChoice(state, info, q, qx, qy, *best);
}

}  // namespace

void encodeLumaPlane(EncoderState* state) {
    DecoderContext* context = &state->context;
    MacroblockInfo* info = context->macroblockInfo;
    for (int32_t y = 0; y < context->paddedHeight; y += 16) {
        for (int32_t x = 0; x < context->paddedWidth; x += 16, ++info) {
            info->mode4x4Predicted = 0;
            info->mode8x8Predicted = 0;
            info->coded4x4 = 0;
            info->codedQuadrants = 0;
            for (int32_t q = 0; q < 4; ++q) {
                encodeQuadrant(state, info, q, x + 8 * (q % 2), y + 8 * (q / 2));
            }
        }
    }
}

}  // namespace xqob
