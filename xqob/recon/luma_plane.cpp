#include "xqob/entropy/block_syntax.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/reconstruct.h"
#include "xqob/recon/working_buffers.h"

namespace xqob {

namespace {

// The levels of a quadrant or 4x4 block with its coded bit set, read in place by the
// reconstruction; null for one without, whose levels were never written.
const int32_t* codedLevels(const int32_t* levels, uint32_t codedBits, int32_t bit) {
    return (codedBits >> bit) & 1 ? levels : nullptr;
}

void decodeFlatQuadrant(DecoderContext* context, const MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy, const int32_t* levels) {
    predictFlatLuma(context, qx, qy);
    reconstructLuma8x8(context, qx, qy, info->flatOffset[q], 1,
                       codedLevels(levels, info->codedQuadrants, q));
}

void decodeIntra8x8Quadrant(DecoderContext* context, const MacroblockInfo* info, int32_t q,
                            int32_t qx, int32_t qy, int32_t type, const int32_t* levels) {
    predictIntraLuma8x8(context, qx, qy, info->mode8x8[q]);
    reconstructLuma8x8(context, qx, qy, info->mode8x8[q], type == Intra8x8Weighted ? 1 : 0,
                       codedLevels(levels, info->codedQuadrants, q));
}

// Four 4x4 blocks, top-left, top-right, bottom-left, bottom-right, each reconstructed before
// the next one is predicted.
void decodeIntra4x4Quadrant(DecoderContext* context, const MacroblockInfo* info, int32_t qx,
                            int32_t qy, const int32_t* levels) {
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t bx = qx + 4 * (i & 1);
        const int32_t by = qy + 4 * (i >> 1);
        const int32_t k = blockIndex4x4(bx, by);
        predictIntraLuma4x4(context, bx, by, info->mode4x4[k]);
        reconstructLuma4x4(context, bx, by, info->mode4x4[k],
                           codedLevels(levels + 16 * i, info->coded4x4, k));
    }
}

// Each quadrant's prediction and reconstruction in the order of its bins, from the
// macroblock's record and levels.
void reconstructMacroblock(DecoderContext* context, const MacroblockInfo* info, int32_t x,
                           int32_t y, const MacroblockLevels& levels) {
    for (int32_t q = 0; q < 4; ++q) {
        const int32_t qx = x + 8 * (q % 2);
        const int32_t qy = y + 8 * (q / 2);
        const int32_t type = info->blockType[q];
        if (type == Flat) {
            decodeFlatQuadrant(context, info, q, qx, qy, levels.block[q]);
        } else if (type == Intra4x4) {
            decodeIntra4x4Quadrant(context, info, qx, qy, levels.block[q]);
        } else {
            decodeIntra8x8Quadrant(context, info, q, qx, qy, type, levels.block[q]);
        }
    }
}

// The macroblock's syntax first (it never depends on reconstructed samples), then its
// reconstruction.
void decodeMacroblock(DecoderContext* context, MacroblockInfo* info, int32_t x, int32_t y) {
    MacroblockLevels levels;
    decodeMacroblockSyntax(context, info, x, y, &levels);
    reconstructMacroblock(context, info, x, y, levels);
}

}  // namespace

void decodeLumaRow(DecoderContext* context, int32_t y) {
    MacroblockInfo* info = context->macroblockInfo + (y / 16) * (context->paddedWidth / 16);
    for (int32_t x = 0; x < context->paddedWidth; x += 16) decodeMacroblock(context, info++, x, y);
}

void decodeLumaRowSyntax(DecoderContext* context, int32_t y, MacroblockLevels* levels) {
    MacroblockInfo* info = context->macroblockInfo + (y / 16) * (context->paddedWidth / 16);
    for (int32_t x = 0; x < context->paddedWidth; x += 16)
        decodeMacroblockSyntax(context, info++, x, y, levels++);
}

void reconstructLumaRow(DecoderContext* context, int32_t y, const MacroblockLevels* levels) {
    const MacroblockInfo* info = context->macroblockInfo + (y / 16) * (context->paddedWidth / 16);
    for (int32_t x = 0; x < context->paddedWidth; x += 16)
        reconstructMacroblock(context, info++, x, y, *levels++);
}

void decodeLumaPlane(DecoderContext* context) {
    allocateWorkingBuffers(context);
    for (int32_t y = 0; y < context->paddedHeight; y += 16) decodeLumaRow(context, y);
}

}  // namespace xqob
