#include <cstring>

#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/residual.h"
#include "xqob/recon/flat_prediction.h"
#include "xqob/recon/luma_prediction.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/reconstruct.h"
#include "xqob/recon/working_buffers.h"

namespace xqob {

namespace {

void decodeFlatQuadrant(DecoderContext* context, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy) {
    info->blockType[q] = Flat;
    info->flatOffset[q] = int8_t(decodeFlatOffset(context, qx, qy));
    std::memset(context->coeff8x8, 0, 64 * sizeof(int32_t));
    if (decodeCodedQuadrant(context, qx, qy)) {
        info->codedQuadrants |= uint8_t(1u << q);
        decodeResidual8x8(context, context->lumaQuantiser, context->coeff8x8);
    }
    predictFlatLuma(context, qx, qy);
    reconstructLuma8x8(context, qx, qy, info->flatOffset[q], 1, (info->codedQuadrants >> q) & 1);
}

void decodeIntra8x8Quadrant(DecoderContext* context, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy, int32_t type) {
    info->blockType[q] = int8_t(type);
    info->mode8x8[q] = int8_t(decodeMode8x8(context, qx, qy, q));
    std::memset(context->coeff8x8, 0, 64 * sizeof(int32_t));
    if (decodeCodedQuadrant(context, qx, qy)) {
        info->codedQuadrants |= uint8_t(1u << q);
        decodeResidual8x8(context, context->lumaQuantiser, context->coeff8x8);
    }
    predictIntraLuma8x8(qy, qx, context, info->mode8x8[q]);
    reconstructLuma8x8(context, qx, qy, info->mode8x8[q], type == Intra8x8Weighted ? 1 : 0,
                       (info->codedQuadrants >> q) & 1);
}

// Four 4x4 blocks, top-left, top-right, bottom-left, bottom-right, each reconstructed before
// the next one's first bin is read.
void decodeIntra4x4Quadrant(DecoderContext* context, MacroblockInfo* info, int32_t q, int32_t qx,
                            int32_t qy) {
    info->blockType[q] = Intra4x4;
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t bx = qx + 4 * (i & 1);
        const int32_t by = qy + 4 * (i >> 1);
        const int32_t k = blockIndex4x4(bx, by);
        info->mode4x4[k] = int8_t(decodeMode4x4(context, bx, by, k));
        std::memset(context->coeff4x4, 0, 16 * sizeof(int32_t));
        if (decodeCoded4x4(context, bx, by)) {
            info->coded4x4 |= uint16_t(1u << k);
            decodeResidual4x4(context, context->coeff4x4, info->mode4x4[k]);
        }
        predictIntraLuma4x4(bx, by, context, info->mode4x4[k]);
        reconstructLuma4x4(context, bx, by, info->mode4x4[k], (info->coded4x4 >> k) & 1);
    }
}

void decodeMacroblock(DecoderContext* context, MacroblockInfo* info, int32_t x, int32_t y) {
    info->mode4x4Predicted = 0;
    info->mode8x8Predicted = 0;
    info->coded4x4 = 0;
    info->codedQuadrants = 0;
    for (int32_t q = 0; q < 4; ++q) {
        const int32_t qx = x + 8 * (q % 2);
        const int32_t qy = y + 8 * (q / 2);
        if (isFlatQuadrant(context, qx, qy)) {
            decodeFlatQuadrant(context, info, q, qx, qy);
            continue;
        }
        const int32_t type = decodeBlockType(context, qx, qy);
        if (type == Intra4x4) {
            decodeIntra4x4Quadrant(context, info, q, qx, qy);
        } else {
            decodeIntra8x8Quadrant(context, info, q, qx, qy, type);
        }
    }
}

}  // namespace

void decodeLumaRow(DecoderContext* context, int32_t y) {
    MacroblockInfo* info = context->macroblockInfo + (y / 16) * (context->paddedWidth / 16);
    for (int32_t x = 0; x < context->paddedWidth; x += 16) decodeMacroblock(context, info++, x, y);
}

void decodeLumaPlane(DecoderContext* context) {
    allocateWorkingBuffers(context);
    for (int32_t y = 0; y < context->paddedHeight; y += 16) decodeLumaRow(context, y);
}

}  // namespace xqob
