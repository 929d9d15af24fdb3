#include "xqob/entropy/luma_syntax.h"

#include "xqob/entropy/arith_decoder.h"

namespace xqob {

namespace {

// The block that holds one neighbouring luma sample: its record (the current one when the
// sample lies in the current macroblock), quadrant and 4x4 block, or nothing past the edge.
struct LumaNeighbour {
    const MacroblockInfo* record;  // null when unavailable
    int32_t q;
    int32_t k;
    int32_t type;
};

// The sample's block in record, the record of the macroblock that holds it (null: none).
LumaNeighbour neighbourIn(const MacroblockInfo* record, int32_t px, int32_t py) {
    if (record == nullptr) return LumaNeighbour{nullptr, 0, 0, 0};
    const int32_t q = quadrantIndex(px, py);
    return LumaNeighbour{record, q, blockIndex4x4(px, py), record->blockType[q]};
}

LumaNeighbour neighbourAt(const DecoderContext* context, int32_t px, int32_t py) {
    if (px < 0 || py < 0) return LumaNeighbour{nullptr, 0, 0, 0};
    return neighbourIn(&context->macroblockInfo[macroblockIndex(px, py, context->paddedWidth)], px,
                       py);
}

LumaNeighbour leftOf(const DecoderContext* context, int32_t x, int32_t y) {
    return neighbourAt(context, x - 1, y);
}
LumaNeighbour aboveOf(const DecoderContext* context, int32_t x, int32_t y) {
    return neighbourAt(context, x, y - 1);
}

MacroblockInfo* currentRecord(DecoderContext* context, int32_t x, int32_t y) {
    return &context->macroblockInfo[macroblockIndex(x, y, context->paddedWidth)];
}

bool isWeightedOrFlat(int32_t type) {
    return type == Intra8x8Weighted || type == Flat;
}

bool quadrantCoded(const LumaNeighbour& n) {
    return (n.record->codedQuadrants >> n.q) & 1;
}

// A weighted or flat quadrant without a coded residual: the kind of neighbour that makes a
// quadrant Flat.
bool isQuiet(const LumaNeighbour& n) {
    return isWeightedOrFlat(n.type) && !quadrantCoded(n);
}

// Unavailable counts as weighted here.
int32_t weightedContext(const LumaNeighbour& n) {
    return n.record == nullptr || isWeightedOrFlat(n.type) ? 1 : 0;
}
int32_t smallBlockContext(const LumaNeighbour& n) {
    if (n.record == nullptr) return 0;
    if (n.type == Intra4x4) return 2;
    return n.type == Intra8x8 ? 1 : 0;
}

int32_t neighbourMode(const LumaNeighbour& n) {
    if (n.type == Intra4x4) return n.record->mode4x4[n.k];
    if (n.type == Intra8x8 || n.type == Intra8x8Weighted) return n.record->mode8x8[n.q];
    return IntraNone;
}

int32_t predicted8x8Flag(const LumaNeighbour& n) {
    if (n.record == nullptr || (n.type != Intra8x8 && n.type != Intra8x8Weighted)) return 0;
    return (n.record->mode8x8Predicted >> n.q) & 1;
}
int32_t predicted4x4Flag(const LumaNeighbour& n) {
    if (n.record == nullptr || n.type != Intra4x4) return 0;
    return (n.record->mode4x4Predicted >> n.k) & 1;
}

int32_t flatOffsetOf(const LumaNeighbour& n) {
    return n.record != nullptr && n.type == Flat ? n.record->flatOffset[n.q] : 3;
}

// An Intra4x4 neighbour of a quadrant counts as coded.
int32_t codedQuadrantFlag(const LumaNeighbour& n) {
    if (n.record == nullptr || n.type == Intra4x4) return 1;
    return quadrantCoded(n) ? 1 : 0;
}
// An 8x8 or Flat neighbour of a 4x4 block counts as not coded.
int32_t coded4x4Flag(const LumaNeighbour& n) {
    if (n.record == nullptr) return 1;
    if (n.type != Intra4x4) return 0;
    return (n.record->coded4x4 >> n.k) & 1;
}

// A neighbour's mode for the prediction; both neighbours exist when x > 0 and y > 0.
int32_t predictFromNeighbours(int32_t x, int32_t y, const LumaNeighbour& left,
                              const LumaNeighbour& above) {
    if (x == 0 || y == 0) return IntraDC;
    return predictedMode(neighbourMode(above), neighbourMode(left));
}

}  // namespace

uint16_t quadrantTraits(const MacroblockInfo* info, int32_t q) {
    const int32_t qx = 8 * (q & 1);
    const int32_t qy = 8 * (q >> 1);
    const int32_t type = info->blockType[q];
    const LumaNeighbour right{info, q, blockIndex4x4(qx + 4, qy), type};
    const LumaNeighbour below{info, q, blockIndex4x4(qx, qy + 4), type};
    uint32_t traits = uint32_t(weightedContext(right)) << kTraitWeighted;
    traits |= uint32_t(smallBlockContext(right)) << kTraitSmall;
    traits |= uint32_t(predicted8x8Flag(right)) << kTraitPredicted8x8;
    traits |= uint32_t(flatOffsetOf(right)) << kTraitFlatOffset;
    traits |= uint32_t(codedQuadrantFlag(right)) << kTraitCoded;
    traits |= uint32_t(isQuiet(right)) << kTraitQuiet;
    traits |= uint32_t(neighbourMode(right)) << kTraitModeRight;
    traits |= uint32_t(neighbourMode(below)) << kTraitModeBelow;
    return uint16_t(traits);
}

namespace {

Block4x4Contexts block4x4Contexts(int32_t x, int32_t y, const LumaNeighbour& left,
                                  const LumaNeighbour& above) {
    Block4x4Contexts c;
    c.predicted = predictFromNeighbours(x, y, left, above);
    c.modeFirst = predicted4x4Flag(left) + 2 * predicted4x4Flag(above);
    c.coded = coded4x4Flag(left) + 2 * coded4x4Flag(above);
    return c;
}

}  // namespace

Block4x4Contexts block4x4Contexts(DecoderContext* context, int32_t x, int32_t y) {
    return block4x4Contexts(x, y, leftOf(context, x, y), aboveOf(context, x, y));
}

Block4x4Contexts block4x4Contexts(const MacroblockInfo* info, const MacroblockInfo* left,
                                  const MacroblockInfo* above, int32_t x, int32_t y) {
    return block4x4Contexts(x, y, neighbourIn((x & 15) != 0 ? info : left, x - 1, y),
                            neighbourIn((y & 15) != 0 ? info : above, x, y - 1));
}

bool isFlatQuadrant(DecoderContext* context, int32_t x, int32_t y) {
    if (x < 8 || y < 8) return false;
    return isQuiet(leftOf(context, x, y)) && isQuiet(aboveOf(context, x, y));
}

void blockTypeContexts(DecoderContext* context, int32_t x, int32_t y, int32_t* first,
                       int32_t* second) {
    const LumaNeighbour left = leftOf(context, x, y);
    const LumaNeighbour above = aboveOf(context, x, y);
    *first = weightedContext(left) + 2 * weightedContext(above);
    *second = 4 + smallBlockContext(left) + 3 * smallBlockContext(above);
}

int32_t decodeBlockType(DecoderContext* context, int32_t x, int32_t y) {
    int32_t first;
    int32_t second;
    blockTypeContexts(context, x, y, &first, &second);
    if (decodeBit(context, context->blockTypeModels + first)) return Intra8x8Weighted;
    return decodeBit(context, context->blockTypeModels + second) ? Intra8x8 : Intra4x4;
}

int32_t predictLumaMode(DecoderContext* context, int32_t x, int32_t y) {
    if (x == 0 || y == 0) return IntraDC;
    return predictedMode(neighbourMode(aboveOf(context, x, y)),
                         neighbourMode(leftOf(context, x, y)));
}

int32_t modeFirstContext8x8(DecoderContext* context, int32_t x, int32_t y) {
    return predicted8x8Flag(leftOf(context, x, y)) + 2 * predicted8x8Flag(aboveOf(context, x, y));
}

int32_t modeFirstContext4x4(DecoderContext* context, int32_t x, int32_t y) {
    return predicted4x4Flag(leftOf(context, x, y)) + 2 * predicted4x4Flag(aboveOf(context, x, y));
}

int32_t decodeMode8x8(DecoderContext* context, int32_t x, int32_t y, int32_t q) {
    int32_t usedPrediction;
    const int32_t mode =
        decodeIntraMode(context, context->mode8x8Models, modeFirstContext8x8(context, x, y),
                        predictLumaMode(context, x, y), &usedPrediction);
    currentRecord(context, x, y)->mode8x8Predicted |= static_cast<uint8_t>(usedPrediction << q);
    return mode;
}

int32_t decodeMode4x4(DecoderContext* context, int32_t x, int32_t y, int32_t k) {
    int32_t usedPrediction;
    const int32_t mode =
        decodeIntraMode(context, context->mode4x4Models, modeFirstContext4x4(context, x, y),
                        predictLumaMode(context, x, y), &usedPrediction);
    currentRecord(context, x, y)->mode4x4Predicted |= static_cast<uint16_t>(usedPrediction << k);
    return mode;
}

int32_t flatOffsetContext(DecoderContext* context, int32_t x, int32_t y) {
    return flatOffsetOf(leftOf(context, x, y)) + 4 * flatOffsetOf(aboveOf(context, x, y));
}

int32_t decodeFlatOffset(DecoderContext* context, int32_t x, int32_t y) {
    const int32_t c = flatOffsetContext(context, x, y);
    if (decodeBit(context, context->flatOffsetModels + c)) return 0;
    return decodeBit(context, context->flatOffsetModels + 16 + c) ? 2 : 1;
}

int32_t codedQuadrantContext(DecoderContext* context, int32_t x, int32_t y) {
    return codedQuadrantFlag(leftOf(context, x, y)) + 2 * codedQuadrantFlag(aboveOf(context, x, y));
}

int32_t decodeCodedQuadrant(DecoderContext* context, int32_t x, int32_t y) {
    return decodeBit(context, context->codedQuadrantModels + codedQuadrantContext(context, x, y));
}

int32_t coded4x4Context(DecoderContext* context, int32_t x, int32_t y) {
    return coded4x4Flag(leftOf(context, x, y)) + 2 * coded4x4Flag(aboveOf(context, x, y));
}

int32_t decodeCoded4x4(DecoderContext* context, int32_t x, int32_t y) {
    return decodeBit(context, context->coded4x4Models + coded4x4Context(context, x, y));
}

}  // namespace xqob
