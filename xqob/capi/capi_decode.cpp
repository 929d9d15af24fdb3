// Whole-picture decoding through the C interface, into the caller's buffer, one the library
// allocates or a reused band of rows, in any pixel format and at any stride. Every source is
// opened once and its header read once.
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

// Checks the arguments every decode takes; fills options and the local copy of the image.
xqob_status checkArguments(const xqob_decode_options* given, xqob_decode_options* options,
                           const xqob_image* image, xqob_image* local, xqob_error* error) {
    if (!readSized(image, kImageSize1, local)) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "image is NULL or its struct_size is smaller than xqob_image");
    }
    if (local->format != XQOB_FORMAT_AUTO && bytesPerPixel(local->format) == 0) {
        char message[80];
        std::snprintf(message, sizeof message, "unknown pixel format %d", int(local->format));
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    if (xqob_status status = readOptions(given, options, error)) return status;
    if (local->rows_only && local->pixels != nullptr) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "image.rows_only needs pixels NULL");
    }
    if (local->rows_only && options->row_callback == nullptr) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "image.rows_only needs options.row_callback");
    }
    return XQOB_OK;
}

// Decodes into the planned target; frees everything but the delivered buffer. A failure of
// the read callback (streamed input) outranks the decoder's view of an input that ended.
xqob_status runDecode(Input* input, const xqob_decode_options& options, DecodeTarget* target,
                      StreamedInput* streamed, xqob_error* error) {
    DecodeRequest request;
    request.source = &input->source;
    request.header = &input->header;
    request.maxPixels = options.max_pixels;
    request.threads = options.threads;
    request.sink = placeRow;
    if (rowsFitInPlace(*target, &request.placeLayout)) request.place = rowInPlace;
    request.sinkOpaque = target;
    target->callback = options.row_callback;
    target->callbackOpaque = options.row_opaque;
    DecodeFailure failure;
    const bool failed = decodePicture(request, nullptr, &failure) != 0;
    // A decode that succeeded reads the rest of the input; one that failed or was stopped
    // reads no further.
    xqob_status status = XQOB_OK;
    if (streamed != nullptr) status = failed ? streamed->status : finishStreamedInput(streamed);
    xqob_image& image = target->image;
    if (failed || status != XQOB_OK || target->band) std::free(target->allocated);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    if (failed && target->stopped != XQOB_OK) return reportStop(*target, error);
    if (failed) return reportFailure(error, failure);
    if (image.pixels == nullptr && !target->band) {
        image.pixels = target->allocated;
        image.buffer_size = target->allocated != nullptr ? target->required : 0;
    }
    return XQOB_OK;
}

// The steps shared by every source, once the header has been read.
xqob_status decodeInput(Input* input, const xqob_decode_options& options, const xqob_image& local,
                        xqob_image* image, xqob_error* error, StreamedInput* streamed = nullptr) {
    const PictureHeader& header = input->header;
    const uint64_t pixels = uint64_t(header.width) * uint64_t(header.height);
    if (options.max_pixels != 0 && pixels > options.max_pixels) {
        DecodeFailure failure{FailureReason::tooLarge, header.width, header.height,
                              int64_t(options.max_pixels)};
        return reportFailure(error, failure);
    }
    DecodeTarget target;
    target.image = local;
    if (xqob_status status = planTarget(header, &target, error)) return status;
    // The geometry reaches the caller before the first row does.
    writeSized(target.image, image);
    if (xqob_status status = runDecode(input, options, &target, streamed, error)) return status;
    writeSized(target.image, image);
    return reportSuccess(error);
}

}  // namespace

extern "C" {

xqob_status xqob_decode_memory(const void* data, size_t size, const xqob_decode_options* options,
                               xqob_image* image, xqob_error* error) {
    xqob_decode_options resolved;
    xqob_image local{};
    if (xqob_status status = checkArguments(options, &resolved, image, &local, error)) {
        return status;
    }
    if (data == nullptr && size != 0) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "data is NULL");
    }
    Input input;
    if (!readMemoryInput(static_cast<const uint8_t*>(data), size, &input)) {
        return reportFailure(error, input.failure);
    }
    return decodeInput(&input, resolved, local, image, error);
}

xqob_status xqob_decode_file(const char* path, const xqob_decode_options* options,
                             xqob_image* image, xqob_error* error) {
    xqob_decode_options resolved;
    xqob_image local{};
    if (xqob_status status = checkArguments(options, &resolved, image, &local, error)) {
        return status;
    }
    if (path == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "path is NULL");
    Input input;
    if (!openFileInput(path, &input)) return reportFailure(error, input.failure);
    return decodeInput(&input, resolved, local, image, error);
}

xqob_status xqob_decode_callback(xqob_read_callback read, void* opaque,
                                 const xqob_decode_options* options, xqob_image* image,
                                 xqob_error* error) {
    xqob_decode_options resolved;
    xqob_image local{};
    if (xqob_status status = checkArguments(options, &resolved, image, &local, error)) {
        return status;
    }
    if (read == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "read is NULL");
    // The header first, so that a stream that is not a QOB picture is refused without
    // reading all of it.
    StreamedInput streamed;
    streamed.read = read;
    streamed.opaque = opaque;
    xqob_status status = readHeaderBytes(read, opaque, &streamed.head);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    Input input;
    if (!readMemoryInput(streamed.head.data(), streamed.head.size(), &input)) {
        return reportFailure(error, input.failure);
    }
    const int64_t headerBytes = input.source.consumed;
    // On the calling thread alone the payload streams through the decoder as it is read.
    // A second thread would read it, and the callback is only ever called on this thread:
    // then the input is read whole first.
    if (threadsToUse(resolved.threads,
                     uint64_t(input.header.width) * uint64_t(input.header.height)) < 2) {
        streamed.headOffset = size_t(headerBytes);
        input.source = readerSource(readStreamedInput, &streamed);
        input.source.consumed = headerBytes;
        return decodeInput(&input, resolved, local, image, error, &streamed);
    }
    status = readToEnd(read, opaque, &streamed.head);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    input.source = memorySource(streamed.head.data(), streamed.head.size());
    input.source.offset = size_t(headerBytes);
    input.source.consumed = headerBytes;
    return decodeInput(&input, resolved, local, image, error);
}

}  // extern "C"
