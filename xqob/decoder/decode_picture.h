// The picture decoder driver: one QOB file or buffer in, the rows of the picture out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/format/header.h"
#include "xqob/output/picture_rows.h"

namespace xqob {

struct DecodeRequest {
    // An input whose header the caller has read once, for every use: source stands at the
    // first payload byte and header holds what the header said. The caller owns the source
    // (and closes its file). Or else:
    ByteSource* source = nullptr;
    const PictureHeader* header = nullptr;
    const char* fileName = nullptr;  // read from this file, or else
    // through this reader, from the header on (called by whichever thread reads the payload:
    // the second one when there are two), or else
    ByteReader reader = nullptr;
    void* readerOpaque = nullptr;
    const uint8_t* data = nullptr;  // from this buffer of size bytes
    size_t size = 0;
    // When set, the header must give this width, height and gray flag: the pixel buffer was
    // sized from it, and a file that changed in between must not overrun it.
    const PictureHeader* expected = nullptr;
    uint64_t maxPixels = 0;  // refuse pictures of more pixels; 0 for no limit
    // When pixels is null: called right before the first row is written (rows are written as
    // soon as they are final, during the decode), to obtain the buffer; null from it fails
    // the decode as out of memory. A decode that fails before its first row never touches
    // output memory at all.
    uint8_t* (*provideOutput)(void* opaque) = nullptr;
    void* opaque = nullptr;
    // When pixels is null and sink is set: every row goes to sink, top to bottom, as soon as
    // it is final; no buffer for the whole picture exists. After a failure no further row is
    // delivered.
    RowSink sink = nullptr;
    RowPlace place = nullptr;                // optional: where a row may be formed for the sink
    RowLayout placeLayout = RowLayout::own;  // and how
    void* sinkOpaque = nullptr;
    // 1: everything on the calling thread. 2 or more: the syntax is read on a second thread
    // ahead of reconstruction and output (more do not help: two is all this decoder uses);
    // 0: two when the machine has two cores or more and the picture has at least
    // kThreadedMinimumPixels, else one. The result, and any failure, is the
    // same either way; callbacks run on the calling thread.
    int32_t threads = 1;
    int64_t failAllocationAt = 0;  // test hook: make this chain allocation fail (from 1)
    // Test hook: the entropy path, or -1 for the fastest this processor runs.
    int32_t entropyPath = -1;
};

// Padded luma and chroma sizes from width, height and fullChroma (gray pictures too).
void setUpGeometry(DecoderContext* context);

// The planes, each at its own size (no chroma planes for a gray picture), and the block
// records, for the geometry set up. chromaWindow > 0 holds only that many chroma rows at a
// time (a multiple of 8, at least 32), and lumaWindow > 0 that many luma rows (a multiple of
// 16, at least 48), for a caller that slides them down the picture.
void allocateWorkspace(DecoderContext* context, int32_t chromaWindow = 0, int32_t lumaWindow = 0);

// Decodes into pixels: height rows of width * (gray ? 1 : 3) bytes, top row first. Returns 0
// on success and 1 on failure, with the reason in failure (optional). Rows are written as
// soon as they are final, so a payload that fails part way may leave some rows written; a
// failure of any allocation or of the header leaves pixels untouched. The number of chain
// allocations made is stored in allocations (optional).
// Below this many pixels a second thread costs more than it overlaps (starting it and the
// hand-overs between the two take about as long as the rows of a picture of 640x480;
// from about 800x600 on it gains): a request for as many threads as help stays on one.
constexpr uint64_t kThreadedMinimumPixels = 400000;

// The threads a decode of request.threads runs on, for a picture of pixels: 1 or 2.
int32_t threadsToUse(int32_t requested, uint64_t pixels);

int32_t decodePicture(const DecodeRequest& request, uint8_t* pixels,
                      DecodeFailure* failure = nullptr, int64_t* allocations = nullptr);

}  // namespace xqob
