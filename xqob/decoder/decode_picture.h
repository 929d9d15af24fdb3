// The picture decoder driver: one QOB file or buffer in, the rows of the picture out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/decoder/decoder_context.h"
#include "xqob/format/header.h"

namespace xqob {

struct DecodeRequest {
    const char* fileName = nullptr;  // read from this file, or else
    const uint8_t* data = nullptr;   // from this buffer of size bytes
    size_t size = 0;
    // When set, the header must give this width, height and gray flag: the pixel buffer was
    // sized from it, and a file that changed in between must not overrun it.
    const PictureHeader* expected = nullptr;
    uint64_t maxPixels = 0;  // refuse pictures of more pixels; 0 for no limit
    // When pixels is null: called once every stage has succeeded, right before the output is
    // written, to obtain the buffer; null from it fails the decode as out of memory. A failed
    // decode then never touches output memory at all.
    uint8_t* (*provideOutput)(void* opaque) = nullptr;
    void* opaque = nullptr;
    int64_t failAllocationAt = 0;  // test hook: make this chain allocation fail (from 1)
};

// Padded luma and chroma sizes from width, height and fullChroma (gray pictures too).
void setUpGeometry(DecoderContext* context);

// The planes (Y, Cb, Cr in one block of three padded luma planes), the block records and the
// cleared decodedMap, for the geometry set up.
void allocateWorkspace(DecoderContext* context);

// Decodes into pixels: height rows of width * (gray ? 1 : 3) bytes, top row first. Returns 0
// on success and 1 on failure, with the reason in failure (optional). On failure pixels is
// left untouched. The number of chain allocations made is stored in allocations (optional).
int32_t decodePicture(const DecodeRequest& request, uint8_t* pixels,
                      DecodeFailure* failure = nullptr, int64_t* allocations = nullptr);

}  // namespace xqob
