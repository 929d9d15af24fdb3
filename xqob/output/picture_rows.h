// The output rows of a picture, handed out top to bottom as soon as each is final: into the
// caller's whole-picture buffer, or one at a time to a callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

// Receives row `row` (width * channels bytes, valid only during the call). Returning false
// stops the decode: no further row is delivered and the decode fails.
using RowSink = bool (*)(void* opaque, int32_t row, const uint8_t* pixels);
// Where row `row` may be formed for the sink (which then receives that pointer), or null
// for the output's own row: a sink that keeps the rows as they are saves a copy.
using RowPlace = uint8_t* (*)(void* opaque, int32_t row);

// How a row formed in place is laid out: the decoder's own (gray, or R, G, B), or four bytes
// a pixel R, G, B, 255 or B, G, R, 255 (colour pictures only).
enum class RowLayout : int32_t { own = 0, rgba = 1, bgra = 2 };

struct RowOutput {
    uint8_t* pixels = nullptr;  // height rows of width * channels bytes, or null for the sink
    // When pixels is null: called for the buffer right before the first row is written.
    uint8_t* (*provide)(void* opaque) = nullptr;
    void* provideOpaque = nullptr;
    RowSink sink = nullptr;    // else rows go here
    RowPlace place = nullptr;  // optional, with the sink
    RowLayout placeLayout = RowLayout::own;
    void* opaque = nullptr;
    uint8_t* scratch = nullptr;    // one output row when rows go to the sink
    uint8_t* upsampled = nullptr;  // the upsampled Cb and Cr samples of one row (half resolution)
    int32_t next = 0;              // the first row not yet delivered
};

// Everything the delivery needs, allocated before the first row goes out, so that an
// allocation failure never leaves a partly delivered picture: a row for the sink, two
// upsampled chroma rows for half-resolution chroma.
void setUpRowOutput(DecoderContext* context, RowOutput* output);

// Delivers every row not yet delivered whose samples are final: luma rows below lumaFinal
// and (colour pictures) chroma rows below chromaFinal.
void deliverRows(DecoderContext* context, RowOutput* output, int32_t lumaFinal,
                 int32_t chromaFinal);

// Luma rows below the returned one are final once macroblock rows 0..rows-1 are deblocked:
// the next row's top edge still changes the two rows above it. The same for chroma with its
// 8-row blocks.
inline int32_t finalRows(int32_t deblockedRows, int32_t rowsInPlane, int32_t blockSize) {
    const int32_t end = deblockedRows * blockSize;
    return end >= rowsInPlane ? rowsInPlane : end - 2;
}

}  // namespace xqob
