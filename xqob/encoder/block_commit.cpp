#include "xqob/encoder/block_commit.h"

#include <cstdlib>
#include <cstring>

#include "xqob/base/plane_offset.h"
#include "xqob/coder/residual_writer.h"
#include "xqob/coder/syntax_writer.h"
#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/recon/chroma_prediction.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/reconstruct.h"

namespace xqob {

namespace {

void countResidual(SyntaxCoverage* coverage, int32_t kindIndex, const ResidualKind& kind,
                   const int32_t* levels) {
    int32_t lastPos = kind.size - 1;
    while (levels[kind.scan[lastPos]] == 0) --lastPos;
    ++coverage->mapEnd[kindIndex][lastPos == kind.size - 1 ? 1 : 0];
    for (int32_t k = 0; k < kind.size; ++k) {
        if (levels[k] == 0) continue;
        const int32_t level = std::abs(levels[k]);
        ++coverage->sign[kindIndex][levels[k] < 0 ? 1 : 0];
        ++coverage->magnitude[kindIndex][level == 1 ? 0 : (level < kind.cap ? 1 : 2)];
    }
}

// The coded flag and, when coded, the levels of an 8x8 luma quadrant; the levels go into
// coeff8x8 for the reconstruction.
void writeQuadrantResidual(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                           int32_t qy, const int32_t* levels) {
    DecoderContext* context = &state->context;
    SyntaxCoverage* coverage = &state->statistics.syntax;
    const int32_t coded = anyLevel(levels, 64) ? 1 : 0;
    writeCodedQuadrant(&state->coder, context, qx, qy, coded);
    ++coverage->codedQuadrant[coded];
    std::memcpy(context->coeff8x8, levels, 64 * sizeof(int32_t));
    if (!coded) return;
    info->codedQuadrants |= uint8_t(1u << q);
    const ResidualKind kind = residualKind8x8(context, context->lumaQuantiser);
    writeResidual(&state->coder, kind, levels);
    countResidual(coverage, kResidualLuma8x8, kind, levels);
    ++coverage->lumaSignificanceKind[context->lumaQuantiser <= 40 ? 0 : 1];
}

void writeChromaResiduals(EncoderState* state, ChromaBlockInfo* info, int32_t x, int32_t y,
                          const ChromaChoice& choice) {
    DecoderContext* context = &state->context;
    SyntaxCoverage* coverage = &state->statistics.syntax;
    info->codedCr = int8_t(anyLevel(choice.levelsCr, 64) ? 1 : 0);
    info->codedCb = int8_t(anyLevel(choice.levelsCb, 64) ? 1 : 0);
    writeCodedCr(&state->coder, context, x, y, info->codedCr);
    writeCodedCb(&state->coder, context, info->codedCr, info->codedCb);
    ++coverage->codedCr[info->codedCr];
    ++coverage->codedCb[info->codedCr][info->codedCb];
    const ResidualKind kind = residualKindChroma(context);
    if (info->codedCr) {
        writeResidual(&state->coder, kind, choice.levelsCr);
        countResidual(coverage, kResidualChroma, kind, choice.levelsCr);
    }
    if (info->codedCb) {
        writeResidual(&state->coder, kind, choice.levelsCb);
        countResidual(coverage, kResidualChroma, kind, choice.levelsCb);
    }
    std::memcpy(context->coeffCr, choice.levelsCr, 64 * sizeof(int32_t));
    std::memcpy(context->coeffCb, choice.levelsCb, 64 * sizeof(int32_t));
}

}  // namespace

bool anyLevel(const int32_t* levels, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (levels[i] != 0) return true;
    }
    return false;
}

void commitFlatQuadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy, int32_t selector, const int32_t* levels) {
    DecoderContext* context = &state->context;
    info->blockType[q] = Flat;
    info->flatOffset[q] = int8_t(selector);
    writeFlatOffset(&state->coder, context, qx, qy, selector);
    ++state->statistics.syntax.flatOffset[selector];
    writeQuadrantResidual(state, info, q, qx, qy, levels);
    predictFlatLuma(context, qx, qy);
    reconstructLuma8x8(context, qx, qy, selector, 1);
    ++state->statistics.quadrants[3];
}

void commitIntra8x8Quadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy, int32_t type, int32_t mode, const int32_t* levels) {
    DecoderContext* context = &state->context;
    SyntaxCoverage* coverage = &state->statistics.syntax;
    writeBlockType(&state->coder, context, qx, qy, type);
    info->blockType[q] = int8_t(type);
    const int32_t predicted = predictLumaMode(context, qx, qy);
    writeMode8x8(&state->coder, context, qx, qy, q, mode);
    info->mode8x8[q] = int8_t(mode);
    ++coverage->blockType[type == Intra8x8 ? 1 : 2];
    ++coverage->mode8x8[mode];
    ++coverage->modePredicted[0][mode == predicted ? 1 : 0];
    writeQuadrantResidual(state, info, q, qx, qy, levels);
    predictIntraLuma8x8(context, qx, qy, mode);
    reconstructLuma8x8(context, qx, qy, mode, type == Intra8x8Weighted ? 1 : 0);
    ++state->statistics.quadrants[type == Intra8x8 ? 1 : 2];
}

void commitIntra4x4Type(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy) {
    writeBlockType(&state->coder, &state->context, qx, qy, Intra4x4);
    info->blockType[q] = Intra4x4;
    ++state->statistics.syntax.blockType[0];
    ++state->statistics.quadrants[0];
}

void commitIntra4x4Block(EncoderState* state, MacroblockInfo* info, int32_t bx, int32_t by,
                         int32_t mode, const int32_t* levels) {
    DecoderContext* context = &state->context;
    SyntaxCoverage* coverage = &state->statistics.syntax;
    const int32_t k = blockIndex4x4(bx, by);
    const int32_t predicted = predictLumaMode(context, bx, by);
    writeMode4x4(&state->coder, context, bx, by, k, mode);
    info->mode4x4[k] = int8_t(mode);
    ++coverage->mode4x4[mode];
    ++coverage->modePredicted[1][mode == predicted ? 1 : 0];
    const int32_t coded = anyLevel(levels, 16) ? 1 : 0;
    writeCoded4x4(&state->coder, context, bx, by, coded);
    ++coverage->coded4x4[coded];
    std::memcpy(context->coeff4x4, levels, 16 * sizeof(int32_t));
    if (coded) {
        info->coded4x4 |= uint16_t(1u << k);
        const ResidualKind kind = residualKind4x4(context, mode);
        writeResidual(&state->coder, kind, levels);
        countResidual(coverage, kResidual4x4, kind, levels);
    }
    predictIntraLuma4x4(context, bx, by, mode);
    reconstructLuma4x4(context, bx, by, mode);
}

bool isFlatChromaBlock(const DecoderContext* context, int32_t x, int32_t y) {
    return isFlatChromaBlock(chromaNeighbours(context, x, y));
}

void commitChromaBlock(EncoderState* state, ChromaBlockInfo* info, int32_t x, int32_t y,
                       const ChromaChoice& choice) {
    DecoderContext* context = &state->context;
    SyntaxCoverage* coverage = &state->statistics.syntax;
    if (choice.flat) {
        info->blockType = Flat;
        writeChromaFlatOffsets(&state->coder, context, x, y, choice.selectorCr, choice.selectorCb);
        ++coverage->flatOffsetCr[choice.selectorCr];
        ++coverage->flatOffsetCb[choice.selectorCb];
        writeChromaResiduals(state, info, x, y, choice);
        predictFlatChroma(context, x, y);
        reconstructChroma(context, x, y, choice.selectorCr, choice.selectorCb);
        ++state->statistics.chromaBlocks[1];
        return;
    }
    info->blockType = Intra8x8;
    const int32_t predicted = predictChromaMode(context, x, y);
    writeChromaMode(&state->coder, context, x, y, choice.mode);
    info->mode = int8_t(choice.mode);
    ++coverage->chromaMode[choice.mode];
    ++coverage->modePredicted[2][choice.mode == predicted ? 1 : 0];
    writeChromaResiduals(state, info, x, y, choice);
    predictIntraChroma(context, x, y, choice.mode);
    reconstructChroma(context, x, y, choice.mode, choice.mode);
    ++state->statistics.chromaBlocks[0];
}

}  // namespace xqob
