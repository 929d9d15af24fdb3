// Whole-picture decoding through the C interface, into the caller's buffer or one the library
// allocates, in any pixel format and at any stride.
#include <cstdio>
#include <cstdlib>

#include "xqob/capi/capi_common.h"
#include "xqob/capi/capi_input.h"
#include "xqob/capi/decode_target.h"
#include "xqob/capi/pixel_formats.h"
#include "xqob/capi/read_callback.h"
#include "xqob/decoder/decode_picture.h"

using namespace xqob;

namespace {

xqob_status readOptions(const xqob_decode_options* given, xqob_decode_options* options,
                        xqob_error* error) {
    xqob_init_decode_options(options, sizeof *options);
    if (given == nullptr) return XQOB_OK;
    if (!readSized(given, kDecodeOptionsSize1, options)) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "options.struct_size is smaller than xqob_decode_options");
    }
    if (options->threads < 0) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "options.threads must be 0 or more");
    }
    return XQOB_OK;
}

// Decodes into the planned target; frees everything but the delivered buffer. A failure of
// the read callback (streamed input) outranks the decoder's view of an input that ended.
xqob_status runDecode(DecodeRequest request, const HeaderRead& header,
                      const xqob_decode_options& options, DecodeTarget* target,
                      StreamedInput* streamed, xqob_error* error) {
    request.expected = &header.header;
    request.maxPixels = options.max_pixels;
    request.threads = options.threads;
    request.sink = placeRow;
    request.sinkOpaque = target;
    target->callback = options.row_callback;
    target->callbackOpaque = options.row_opaque;
    DecodeFailure failure;
    const bool failed = decodePicture(request, nullptr, &failure) != 0;
    // A decode that succeeded reads the rest of the input; one that failed or was stopped
    // reads no further.
    xqob_status input = XQOB_OK;
    if (streamed != nullptr) input = failed ? streamed->status : finishStreamedInput(streamed);
    if (failed || input != XQOB_OK) {
        std::free(target->allocated);
        if (input != XQOB_OK) return report(error, input, describeInputStatus(input));
        if (target->stopped != XQOB_OK) return reportStop(*target, error);
        return reportFailure(error, failure);
    }
    xqob_image& image = target->image;
    if (image.pixels == nullptr) {
        image.pixels = target->allocated;
        image.buffer_size = target->allocated != nullptr ? target->required : 0;
    }
    return XQOB_OK;
}

// The steps shared by every source, once the header has been read.
xqob_status decodeWithHeader(const DecodeRequest& request, const HeaderRead& header,
                             const xqob_decode_options& options, xqob_image* image,
                             xqob_error* error, StreamedInput* streamed = nullptr) {
    const uint64_t pixels = uint64_t(header.header.width) * uint64_t(header.header.height);
    if (options.max_pixels != 0 && pixels > options.max_pixels) {
        DecodeFailure failure{FailureReason::tooLarge, header.header.width, header.header.height,
                              int64_t(options.max_pixels)};
        return reportFailure(error, failure);
    }
    DecodeTarget target;
    readSized(image, kImageSize1, &target.image);
    if (xqob_status status = planTarget(header.header, &target, error)) return status;
    if (xqob_status status = runDecode(request, header, options, &target, streamed, error)) {
        return status;
    }
    writeSized(target.image, image);
    return reportSuccess(error);
}

// Checks the arguments every decode takes; fills options.
xqob_status checkArguments(const xqob_decode_options* given, xqob_decode_options* options,
                           const xqob_image* image, xqob_error* error) {
    if (image == nullptr || image->struct_size < kImageSize1) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "image is NULL or its struct_size is smaller than xqob_image");
    }
    if (image->format != XQOB_FORMAT_AUTO && bytesPerPixel(image->format) == 0) {
        char message[80];
        std::snprintf(message, sizeof message, "unknown pixel format %d", image->format);
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    return readOptions(given, options, error);
}

xqob_status decodeMemory(const uint8_t* data, size_t size, const xqob_decode_options& options,
                         xqob_image* image, xqob_error* error) {
    HeaderRead header;
    if (!readMemoryHeader(data, size, &header)) return reportFailure(error, header.failure);
    DecodeRequest request;
    request.data = data;
    request.size = size;
    return decodeWithHeader(request, header, options, image, error);
}

}  // namespace

extern "C" {

xqob_status xqob_decode_memory(const void* data, size_t size, const xqob_decode_options* options,
                               xqob_image* image, xqob_error* error) {
    xqob_decode_options resolved;
    if (xqob_status status = checkArguments(options, &resolved, image, error)) return status;
    if (data == nullptr && size != 0) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "data is NULL");
    }
    return decodeMemory(static_cast<const uint8_t*>(data), size, resolved, image, error);
}

xqob_status xqob_decode_file(const char* path, const xqob_decode_options* options,
                             xqob_image* image, xqob_error* error) {
    xqob_decode_options resolved;
    if (xqob_status status = checkArguments(options, &resolved, image, error)) return status;
    if (path == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "path is NULL");
    HeaderRead header;
    if (!readFileHeader(path, &header)) return reportFailure(error, header.failure);
    DecodeRequest request;
    request.fileName = path;
    return decodeWithHeader(request, header, resolved, image, error);
}

xqob_status xqob_decode_callback(xqob_read_callback read, void* opaque,
                                 const xqob_decode_options* options, xqob_image* image,
                                 xqob_error* error) {
    xqob_decode_options resolved;
    if (xqob_status status = checkArguments(options, &resolved, image, error)) return status;
    if (read == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "read is NULL");
    // The header first, so that a stream that is not a QOB picture is refused without
    // reading all of it.
    StreamedInput input;
    input.read = read;
    input.opaque = opaque;
    xqob_status status = readHeaderBytes(read, opaque, &input.head);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    HeaderRead header;
    if (!readMemoryHeader(input.head.data(), input.head.size(), &header)) {
        return reportFailure(error, header.failure);
    }
    // On the calling thread alone the payload streams through the decoder as it is read.
    // A second thread would read it, and the callback is only ever called on this thread:
    // then the input is read whole first.
    if (threadsToUse(resolved.threads,
                     uint64_t(header.header.width) * uint64_t(header.header.height)) < 2) {
        DecodeRequest request;
        request.reader = readStreamedInput;
        request.readerOpaque = &input;
        return decodeWithHeader(request, header, resolved, image, error, &input);
    }
    status = readToEnd(read, opaque, &input.head);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    return decodeMemory(input.head.data(), input.head.size(), resolved, image, error);
}

}  // extern "C"
