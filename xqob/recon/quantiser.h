// Dequantisation constants and the per-picture weighted 8x8 table.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

extern const int32_t jpegLuma[64];
extern const int32_t octaveScale[12];
extern const int32_t dequantScale4x4[12][3];
extern const int32_t dequantScale8x8[12][6];
extern const uint8_t class4[16];
extern const uint8_t class8[64];

// Allocates and fills quantMatrix8x8 and weightedDequant8x8 from qualityIndex, then sets up
// the dequantisation factors.
void setUpQuantiser(DecoderContext* context);

// lumaFactors4x4, lumaFactors8x8 and chromaFactors8x8 from lumaQuantiser and chromaQuantiser.
// A factor times a level, wrapped to 32 bits, equals the level times the scale shifted left
// by qDiv, wrapped: multiplication modulo 2^32 does not care about the order.
void setUpDequantFactors(DecoderContext* context);

}  // namespace xqob
