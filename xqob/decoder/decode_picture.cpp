#include "xqob/decoder/decode_picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "xqob/decoder/allocation_chain.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/context_models.h"
#include "xqob/output/colour.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/quantiser.h"

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

// Three planes in one block: Y, then Cb, then Cr, each paddedWidth * paddedHeight bytes
// whatever the chroma resolution.
void allocateWorkspace(DecoderContext* context) {
    const uint64_t size = uint64_t(context->paddedWidth) * uint64_t(context->paddedHeight);
    context->planeY = static_cast<uint8_t*>(chainAlloc(context, checkedSize(context, size, 3)));
    context->planeCb = context->planeY + size;
    context->planeCr = context->planeY + 2 * size;
    context->macroblockInfo = chainAllocArray<MacroblockInfo>(context, size / 256);
    const uint64_t chromaSize = uint64_t(context->chromaWidth) * uint64_t(context->chromaHeight);
    context->chromaBlockInfo = chainAllocArray<ChromaBlockInfo>(context, chromaSize / 64);
    context->decodedMap = static_cast<uint8_t*>(chainAllocZeroed(context, size));
}

namespace {

void writeOutput(DecoderContext* context, uint8_t* pixels) {
    // An empty picture writes nothing; its buffer may not even exist.
    if (context->width == 0 || context->height == 0) return;
    if (context->gray) {
        for (int32_t r = 0; r < context->height; ++r) {
            std::memcpy(pixels + size_t(r) * size_t(context->width),
                        context->planeY + size_t(r) * size_t(context->paddedWidth),
                        size_t(context->width));
        }
        return;
    }
    setUpColourTables(context);
    if (context->fullChroma) {
        convertFullResolution(context, context->planeY, pixels, context->paddedWidth,
                              context->paddedHeight, context->width, context->height);
    } else {
        convertHalfResolution(context, context->planeY, pixels, context->paddedWidth,
                              context->paddedHeight, context->width, context->height);
    }
}

void runDecode(DecoderContext* context, ByteSource* source, const DecodeRequest& request,
               uint8_t* pixels) {
    PictureHeader header;
    if (readPictureHeader(source, &header, &context->failure) != 0) failDecode(context);
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
    allocateWorkspace(context);
    setUpModels(context);
    startArithDecoder(context, source);
    decodeLumaPlane(context);
    if (!context->gray) decodeChromaPlane(context);
    deblockPicture(context);
    if (pixels == nullptr && request.provideOutput != nullptr) {
        pixels = request.provideOutput(request.opaque);
        if (pixels == nullptr && context->width != 0 && context->height != 0) {
            failDecode(context, FailureReason::outOfMemory,
                       int64_t(pixelCount) * (context->gray ? 1 : 3));
        }
    }
    writeOutput(context, pixels);
}

}  // namespace

int32_t decodePicture(const DecodeRequest& request, uint8_t* pixels, DecodeFailure* failure,
                      int64_t* allocations) {
    DecodeFailure ignored;
    if (failure == nullptr) failure = &ignored;
    *failure = DecodeFailure{};
    ByteSource source;
    if (request.fileName != nullptr) {
        std::FILE* file = std::fopen(request.fileName, "rb");
        if (file == nullptr) {
            failure->reason = FailureReason::cannotOpen;
            failure->value = errno;
            return 1;
        }
        source = fileSource(file);
    } else {
        source = memorySource(request.data, request.size);
    }

    DecoderContext context{};
    context.failAllocationAt = request.failAllocationAt;
    context.plainEntropy = request.plainEntropy ? 1 : 0;
    int32_t result = 0;
    try {
        runDecode(&context, &source, request, pixels);
    } catch (const DecodeError&) {
        result = 1;
    }
    freeChain(&context);
    if (source.file != nullptr) std::fclose(source.file);
    *failure = context.failure;
    if (allocations != nullptr) *allocations = context.allocationCount;
    return result;
}

}  // namespace xqob
