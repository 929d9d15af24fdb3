// Residual coefficient levels: a significance map in forward scan order, then signs and
// unary magnitudes in reverse scan order. The caller zeroes the coefficient block.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

extern const uint8_t scan4x4[9][16];
extern const uint8_t zigzag8x8[64];
extern const uint8_t sigContext8x8[63];
extern const uint8_t lastContext8x8[63];
extern const uint8_t identityMap[64];

constexpr int32_t kLevelCap4x4 = 1800;
constexpr int32_t kLevelCap8x8 = 6000;

// Everything that tells the three block kinds apart. The significance model of scan
// position pos is sigModels[sigMap[pos]], the last model lastModels[lastMap[pos]]; a kind
// with a model per position maps through identityMap.
struct ResidualKind {
    int32_t size;         // 16 or 64 coefficients
    const uint8_t* scan;  // raster position of each scan position
    const uint8_t* sigMap;
    const uint8_t* lastMap;
    int32_t cap;  // largest magnitude
    BitModel* sigModels;
    BitModel* lastModels;
    BitModel* levelFirstModels;  // 5 models: eq1Count 0..3, then 4 once a magnitude > 1 is seen
    BitModel* levelRestModels;   // 5 models: gt1Count 0..4
};

// mode (0..8) selects the scan row of a 4x4 block.
inline ResidualKind residualKind4x4(DecoderContext* context, int32_t mode) {
    return ResidualKind{16,
                        scan4x4[mode],
                        identityMap,
                        identityMap,
                        kLevelCap4x4,
                        context->sig4x4Models,
                        context->last4x4Models,
                        context->levelFirst4x4Models,
                        context->levelRest4x4Models};
}

// Up to lumaQuantiser 40 the 63 significance positions share 15 mapped models; from 41 on
// each position has its own.
inline ResidualKind residualKind8x8(DecoderContext* context, int32_t lumaQuantiser) {
    return ResidualKind{64,
                        zigzag8x8,
                        lumaQuantiser <= 40 ? sigContext8x8 : identityMap,
                        lastContext8x8,
                        kLevelCap8x8,
                        context->sig8x8Models,
                        context->last8x8Models,
                        context->levelFirst8x8Models,
                        context->levelRest8x8Models};
}

// Shared by the Cr and the Cb plane.
inline ResidualKind residualKindChroma(DecoderContext* context) {
    return ResidualKind{64,
                        zigzag8x8,
                        identityMap,
                        lastContext8x8,
                        kLevelCap8x8,
                        context->sigChromaModels,
                        context->lastChromaModels,
                        context->levelFirstChromaModels,
                        context->levelRestChromaModels};
}

// Model choice of the first magnitude bin, and the running counts after one coefficient.
inline int32_t levelFirstIndex(int32_t eq1Count, int32_t gt1Count) {
    return gt1Count > 0 ? 4 : eq1Count;
}
inline void countLevel(int32_t level, int32_t* eq1Count, int32_t* gt1Count) {
    if (*gt1Count == 0 && *eq1Count < 3) ++*eq1Count;
    if (level > 1 && *gt1Count < 4) ++*gt1Count;
}

struct ArithState;

// Through the plain decoder when context->entropyPath is plain, else through the registers.
void decodeResidual(DecoderContext* context, const ResidualKind& kind, int32_t* coefficients);
// Through registers that a syntax loop keeps.
void decodeResidual(ArithState* state, const ResidualKind& kind, int32_t* coefficients);

void decodeResidual4x4(DecoderContext* context, int32_t* coefficients, int32_t mode);
void decodeResidual8x8(DecoderContext* context, int32_t lumaQuantiser, int32_t* coefficients);
void decodeResidualChroma(DecoderContext* context, int32_t* coefficients);

}  // namespace xqob
