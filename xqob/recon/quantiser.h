// Dequantisation constants and the per-picture weighted 8x8 table.
#pragma once

#include <cstdint>

#include "xqob/decoder/decoder_context.h"

namespace xqob {

extern const int32_t jpegLuma[64];
extern const int32_t octaveScale[12];
extern const int32_t dequantScale4x4[12][3];
extern const int32_t dequantScale8x8[12][6];
extern const uint8_t class4[16];
extern const uint8_t class8[64];

// Allocates and fills quantMatrix8x8 and weightedDequant8x8 from qualityIndex.
void setUpQuantiser(DecoderContext* context);

}  // namespace xqob
