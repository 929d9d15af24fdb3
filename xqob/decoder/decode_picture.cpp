#include "xqob/decoder/decode_picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "xqob/base/allocation_chain.h"
#include "xqob/decoder/syntax_thread.h"
#include "xqob/dsp/dsp.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/block_syntax.h"
#include "xqob/entropy/context_models.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/quantiser.h"
#include "xqob/recon/working_buffers.h"

namespace xqob {

namespace {

void takeHeader(DecoderContext* context, const PictureHeader& header) {
    context->width = header.width;
    context->height = header.height;
    context->gray = header.gray;
    context->fullChroma = header.fullChroma;
    context->lumaQuantiser = header.lumaQuantiser;
    context->qualityIndex = header.qualityIndex;
    context->chromaQuantiser = header.chromaQuantiser;
}

}  // namespace

void setUpGeometry(DecoderContext* context) {
    context->paddedWidth = (context->width + 15) & ~15;
    context->paddedHeight = (context->height + 15) & ~15;
    context->chromaWidth = context->fullChroma ? context->paddedWidth : context->paddedWidth / 2;
    context->chromaHeight = context->fullChroma ? context->paddedHeight : context->paddedHeight / 2;
}

namespace {

// The rows a plane of `rows` rows holds: all of them, or a window of `window` rows.
int32_t windowRows(int32_t rows, int32_t window) {
    return window > 0 && window < rows ? window : rows;
}

}  // namespace

// Each plane at its own size; Cr follows Cb in one block. A gray picture has no chroma.
// Nothing is cleared: every sample is reconstructed before anything reads it.
void allocateWorkspace(DecoderContext* context, int32_t chromaWindow, int32_t lumaWindow) {
    context->dsp = dspFunctions(bestDspLevel());
    context->lumaTop = 0;
    context->lumaRows = windowRows(context->paddedHeight, lumaWindow);
    context->planeY = chainAllocArray<uint8_t>(
        context, uint64_t(context->paddedWidth) * uint64_t(context->lumaRows));
    context->chromaTop = 0;
    context->chromaRows = windowRows(context->chromaHeight, chromaWindow);
    const uint64_t chromaSize = uint64_t(context->chromaWidth) * uint64_t(context->chromaRows);
    context->planeCb = nullptr;
    context->planeCr = nullptr;
    if (!context->gray) {
        context->planeCb =
            static_cast<uint8_t*>(chainAlloc(context, checkedSize(context, chromaSize, 2)));
        context->planeCr = context->planeCb + chromaSize;
    }
    const uint64_t macroblocks =
        uint64_t(context->paddedWidth / 16) * uint64_t(context->paddedHeight / 16);
    context->macroblockInfo = chainAllocArray<MacroblockInfo>(context, macroblocks);
    const uint64_t blocks = uint64_t(context->chromaWidth) * uint64_t(context->chromaHeight) / 64;
    context->chromaBlockInfo = chainAllocArray<ChromaBlockInfo>(context, blocks);
}

namespace {

// Rows of the chroma window: the rows that the block row being decoded, the filtering of
// the row above it and the output rows waiting for it can touch lie within kChromaKeep rows
// above that block row (the lowest is the third row above the previous block row, read by
// its top edge), and the window moves by kChromaWindow - kChromaKeep rows at a time.
constexpr int32_t kChromaWindow = 128;
constexpr int32_t kChromaKeep = 24;

// Rows of a gray picture's luma window, on the same reasoning with 16-row macroblocks: while
// macroblock row i is decoded, its prediction reads row 16i - 1, the filtering of row i - 1
// reads from row 16i - 19 (three above its top edge) and the rows still waiting to go out
// start at row 16i - 18. Nothing above row 16i - 19 is read again.
constexpr int32_t kLumaWindow = 128;
constexpr int32_t kLumaKeep = 19;

// Makes room in a window of rows rows from row *top on for rows y..y+blockRows-1, by moving
// the last keep rows above y to the window's top.
void slideWindow(std::initializer_list<uint8_t*> planes, int32_t stride, int32_t* top, int32_t rows,
                 int32_t y, int32_t blockRows, int32_t keep) {
    if (y + blockRows <= *top + rows) return;
    const int32_t newTop = y - keep;
    const size_t from = size_t(newTop - *top) * size_t(stride);
    for (uint8_t* plane : planes) std::memmove(plane, plane + from, size_t(keep) * size_t(stride));
    *top = newTop;
}

void slideLumaWindow(DecoderContext* context, int32_t y) {
    slideWindow({context->planeY}, context->paddedWidth, &context->lumaTop, context->lumaRows, y,
                16, kLumaKeep);
}

void slideChromaWindow(DecoderContext* context, int32_t y) {
    slideWindow({context->planeCb, context->planeCr}, context->chromaWidth, &context->chromaTop,
                context->chromaRows, y, 8, kChromaKeep);
}

// Rows decoded in place, syntax and reconstruction block by block.
struct OneThreadRows {
    DecoderContext* context;
    void luma(int32_t i) { decodeLumaRow(context, 16 * i); }
    void chroma(int32_t i) { decodeChromaRow(context, 8 * i); }
};

// Rows whose syntax the other thread has read: reconstruction from the records and levels.
struct TwoThreadRows {
    DecoderContext* context;
    SyntaxThread* syntax;
    void luma(int32_t i) {
        const void* levels = acquireSyntaxRow(context, syntax, i);
        reconstructLumaRow(context, 16 * i, static_cast<const MacroblockLevels*>(levels));
        releaseSyntaxRow(syntax, i);
    }
    void chroma(int32_t i) {
        const int32_t row = syntax->lumaRows + i;
        const void* levels = acquireSyntaxRow(context, syntax, row);
        reconstructChromaRow(context, 8 * i, static_cast<const ChromaLevels*>(levels));
        releaseSyntaxRow(syntax, row);
    }
};

// Joins the syntax thread on every way out of the decode, before the chain is freed.
struct SyntaxThreadGuard {
    SyntaxThread* syntax;
    ~SyntaxThreadGuard() { stopSyntaxThread(syntax); }
};

// Reconstruction, deblocking and output row after row. A macroblock row is deblocked once
// the row below it is reconstructed, since that row predicts from its unfiltered last
// samples; rows go out once no later filtering can change them. The luma plane is complete
// before the first chroma block, so a colour picture's rows go out during the chroma loop; a
// gray picture's go out during the luma loop, which lets its luma plane be a window.
// The same order of steps with either source of rows, so that a failure surfaces at the
// same row, after the same rows were delivered.
template <typename Rows>
void decodeRows(DecoderContext* context, RowOutput* output, Rows rows) {
    const int32_t lumaRows = context->paddedHeight / 16;
    for (int32_t i = 0; i < lumaRows; ++i) {
        slideLumaWindow(context, 16 * i);
        rows.luma(i);
        if (i == 0) continue;
        deblockLumaRow(context, 16 * (i - 1));
        if (context->gray) deliverRows(context, output, finalRows(i, context->paddedHeight, 16), 0);
    }
    if (lumaRows > 0) deblockLumaRow(context, 16 * (lumaRows - 1));
    if (context->gray) {
        deliverRows(context, output, context->paddedHeight, 0);
        return;
    }
    const int32_t chromaRows = context->chromaHeight / 8;
    for (int32_t i = 0; i < chromaRows; ++i) {
        slideChromaWindow(context, 8 * i);
        rows.chroma(i);
        if (i == 0) continue;
        deblockChromaRow(context, 8 * (i - 1));
        deliverRows(context, output, context->paddedHeight, finalRows(i, context->chromaHeight, 8));
    }
    if (chromaRows > 0) deblockChromaRow(context, 8 * (chromaRows - 1));
    deliverRows(context, output, context->paddedHeight, context->chromaHeight);
}

void runDecode(DecoderContext* context, ByteSource* source, const DecodeRequest& request,
               uint8_t* pixels) {
    PictureHeader header;
    if (request.header != nullptr) {
        header = *request.header;
    } else if (readPictureHeader(source, &header, &context->failure) != 0) {
        failDecode(context);
    }
    const PictureHeader* expected = request.expected;
    if (expected != nullptr &&
        (header.width != expected->width || header.height != expected->height ||
         header.gray != expected->gray)) {
        failDecode(context, FailureReason::fileChanged);
    }
    const uint64_t pixelCount = uint64_t(header.width) * uint64_t(header.height);
    if (request.maxPixels != 0 && pixelCount > request.maxPixels) {
        context->failure.value2 = header.height;
        context->failure.limit = static_cast<int64_t>(request.maxPixels);
        failDecode(context, FailureReason::tooLarge, header.width);
    }
    takeHeader(context, header);
    setUpQuantiser(context);
    setUpGeometry(context);
    allocateWorkspace(context, kChromaWindow, context->gray ? kLumaWindow : 0);
    setUpModels(context);
    allocateWorkingBuffers(context);
    RowOutput output;
    output.pixels = pixels;
    output.provide = request.provideOutput;
    output.provideOpaque = request.opaque;
    output.sink = request.sink;
    output.place = request.place;
    output.placeLayout = request.placeLayout;
    output.opaque = request.sinkOpaque;
    setUpRowOutput(context, &output);
    startArithDecoder(context, source);
    if (threadsToUse(request.threads, uint64_t(context->width) * uint64_t(context->height)) < 2) {
        decodeRows(context, &output, OneThreadRows{context});
        return;
    }
    SyntaxThread syntax;
    SyntaxThreadGuard guard{&syntax};
    if (!startSyntaxThread(context, &syntax)) {
        decodeRows(context, &output, OneThreadRows{context});
        return;
    }
    decodeRows(context, &output, TwoThreadRows{context, &syntax});
}

}  // namespace

int32_t threadsToUse(int32_t requested, uint64_t pixels) {
    if (requested == 1 || requested < 0) return 1;
    if (requested == 0) {
        if (std::thread::hardware_concurrency() < 2) return 1;
        if (pixels < kThreadedMinimumPixels) return 1;
    }
    return 2;
}

int32_t decodePicture(const DecodeRequest& request, uint8_t* pixels, DecodeFailure* failure,
                      int64_t* allocations) {
    DecodeFailure ignored;
    if (failure == nullptr) failure = &ignored;
    *failure = DecodeFailure{};
    // The caller's input, at its payload, or one opened here.
    ByteSource opened;
    if (request.source == nullptr && request.fileName != nullptr) {
        std::FILE* file = std::fopen(request.fileName, "rb");
        if (file == nullptr) {
            failure->reason = FailureReason::cannotOpen;
            failure->value = errno;
            return 1;
        }
        opened = fileSource(file);
    } else if (request.source == nullptr && request.reader != nullptr) {
        opened = readerSource(request.reader, request.readerOpaque);
    } else if (request.source == nullptr) {
        opened = memorySource(request.data, request.size);
    }
    ByteSource& source = request.source != nullptr ? *request.source : opened;

    DecoderContext context{};
    context.failAllocationAt = request.failAllocationAt;
    context.entropyPath =
        request.entropyPath < 0 ? bestEntropyPath() : EntropyPath(request.entropyPath);
    int32_t result = 0;
    try {
        runDecode(&context, &source, request, pixels);
    } catch (const DecodeError&) {
        result = 1;
    }
    freeChain(&context);
    if (opened.file != nullptr) std::fclose(opened.file);
    *failure = context.failure;
    if (allocations != nullptr) *allocations = context.allocationCount;
    return result;
}

}  // namespace xqob
