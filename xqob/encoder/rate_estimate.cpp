#include "xqob/encoder/rate_estimate.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/mode_bins.h"

namespace xqob {

namespace {

std::array<float, 101> makeLog2Counts() {
    std::array<float, 101> table{};
    for (int32_t i = 1; i <= 100; ++i) table[size_t(i)] = std::log2(float(i));
    return table;
}

float selectorBits(const BitModel* first, const BitModel* second, int32_t selector) {
    if (selector == 0) return bitCost(first, 1);
    return bitCost(first, 0) + bitCost(second, selector == 2 ? 1 : 0);
}

// The unary magnitude bins after the sign: a first bin, then further bins until the level
// or the cap is reached; the cap's final bin is written as the likelier value.
float magnitudeBits(int32_t level, int32_t cap, const BitModel* first, const BitModel* rest) {
    if (level == 1) return bitCost(first, 0);
    const float more = bitCost(rest, 1);
    float bits = bitCost(first, 1) + float(level - 2) * more;
    if (level < cap) return bits + bitCost(rest, 0);
    return bits + std::min(more, bitCost(rest, 0));
}

}  // namespace

const std::array<float, 101> kLog2Counts = makeLog2Counts();

float residualBits(const ResidualKind& kind, const int32_t* levels) {
    int32_t lastPos = kind.size - 1;
    while (lastPos >= 0 && levels[kind.scan[lastPos]] == 0) --lastPos;
    if (lastPos < 0) return 0;
    float bits = 0;
    for (int32_t pos = 0; pos <= lastPos && pos < kind.size - 1; ++pos) {
        const int32_t significant = levels[kind.scan[pos]] != 0 ? 1 : 0;
        bits += bitCost(kind.sigModels + kind.sigMap[pos], significant);
        if (significant) {
            const BitModel* last = kind.lastModels + kind.lastMap[pos];
            bits += bitCost(last, pos == lastPos ? 1 : 0);
        }
    }
    int32_t eq1Count = 0;
    int32_t gt1Count = 0;
    for (int32_t pos = lastPos; pos >= 0; --pos) {
        const int32_t value = levels[kind.scan[pos]];
        if (value == 0) continue;
        const int32_t level = std::abs(value);
        bits += 1.0f + magnitudeBits(level, kind.cap,
                                     kind.levelFirstModels + levelFirstIndex(eq1Count, gt1Count),
                                     kind.levelRestModels + gt1Count);
        countLevel(level, &eq1Count, &gt1Count);
    }
    return bits;
}

void modeBits(const BitModel* models, int32_t firstContext, int32_t predicted, float* bits) {
    const float other = bitCost(models + firstContext, 0);
    for (int32_t mode = 0; mode < 9; ++mode) {
        if (mode == predicted) {
            bits[mode] = bitCost(models + firstContext, 1);
            continue;
        }
        const int32_t r = remainderFromMode(mode, predicted);
        bits[mode] = other + bitCost(models + 4 + predicted, r & 1) +
                     bitCost(models + 13 + predicted, (r >> 1) & 1) +
                     bitCost(models + 22 + predicted, (r >> 2) & 1);
    }
}

float blockTypeBits(DecoderContext* context, int32_t x, int32_t y, int32_t type) {
    int32_t first;
    int32_t second;
    blockTypeContexts(context, x, y, &first, &second);
    const BitModel* models = context->blockTypeModels;
    if (type == Intra8x8Weighted) return bitCost(models + first, 1);
    return bitCost(models + first, 0) + bitCost(models + second, type == Intra8x8 ? 1 : 0);
}

void mode8x8Bits(DecoderContext* context, int32_t x, int32_t y, float* bits) {
    modeBits(context->mode8x8Models, modeFirstContext8x8(context, x, y),
             predictLumaMode(context, x, y), bits);
}

void mode4x4Bits(DecoderContext* context, int32_t x, int32_t y, float* bits) {
    modeBits(context->mode4x4Models, modeFirstContext4x4(context, x, y),
             predictLumaMode(context, x, y), bits);
}

float flatOffsetBits(DecoderContext* context, int32_t x, int32_t y, int32_t selector) {
    const int32_t c = flatOffsetContext(context, x, y);
    return selectorBits(context->flatOffsetModels + c, context->flatOffsetModels + 16 + c,
                        selector);
}

float codedQuadrantBits(DecoderContext* context, int32_t x, int32_t y, int32_t coded) {
    return bitCost(context->codedQuadrantModels + codedQuadrantContext(context, x, y), coded);
}

float coded4x4Bits(DecoderContext* context, int32_t x, int32_t y, int32_t coded) {
    return bitCost(context->coded4x4Models + coded4x4Context(context, x, y), coded);
}

void chromaModeBits(DecoderContext* context, int32_t x, int32_t y, float* bits) {
    modeBits(context->chromaModeModels, chromaModeFirstContext(context, x, y),
             predictChromaMode(context, x, y), bits);
}

float chromaFlatOffsetBits(DecoderContext* context, int32_t x, int32_t y, bool cr,
                           int32_t selector) {
    int32_t crContext;
    int32_t cbContext;
    chromaFlatOffsetContexts(context, x, y, &crContext, &cbContext);
    const BitModel* models = context->chromaFlatOffsetModels;
    if (cr) return selectorBits(models + crContext, models + 16 + crContext, selector);
    return selectorBits(models + 32 + cbContext, models + 48 + cbContext, selector);
}

float codedCrBits(DecoderContext* context, int32_t x, int32_t y, int32_t coded) {
    return bitCost(context->codedCrModels + codedCrContext(context, x, y), coded);
}

float codedCbBits(const DecoderContext* context, int32_t codedCr, int32_t coded) {
    return bitCost(context->codedCbModels + (codedCr != 0 ? 1 : 0), coded);
}

}  // namespace xqob
