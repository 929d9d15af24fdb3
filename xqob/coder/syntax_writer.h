// Writers of the luma and chroma block syntax: each writes the bins that the matching reader
// reads, through the models the reader would choose from the same records, and updates the
// record fields that the reader updates (the predicted-mode masks and flags, the chroma flat
// offsets). context holds the writing side's models and block records, kept as a decoder
// keeps them; the caller stores the other record fields as the plane loops do.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/coder/binary_encoder.h"

namespace xqob {

// type: Intra8x8Weighted, Intra4x4 or Intra8x8 (never Flat, which is inferred).
void writeBlockType(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                    int32_t type);
void writeMode8x8(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y, int32_t q,
                  int32_t mode);
void writeMode4x4(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y, int32_t k,
                  int32_t mode);
void writeFlatOffset(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                     int32_t selector);
void writeCodedQuadrant(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                        int32_t coded);
void writeCoded4x4(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                   int32_t coded);

void writeChromaMode(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                     int32_t mode);
// Also stores both selectors in the record and clears its modePredicted.
void writeChromaFlatOffsets(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                            int32_t selectorCr, int32_t selectorCb);
void writeCodedCr(BinaryEncoder* encoder, DecoderContext* context, int32_t x, int32_t y,
                  int32_t coded);
void writeCodedCb(BinaryEncoder* encoder, DecoderContext* context, int32_t codedCr, int32_t coded);

}  // namespace xqob
