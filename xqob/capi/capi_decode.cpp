// Whole-picture decoding through the C interface, into the caller's buffer or one the library
// allocates, in any pixel format and at any stride.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "xqob/capi/capi_common.h"
#include "xqob/capi/capi_input.h"
#include "xqob/capi/pixel_formats.h"
#include "xqob/capi/read_callback.h"
#include "xqob/decoder/decode_picture.h"

using namespace xqob;

namespace {

// Rows are handed to the row callback in groups of one macroblock row.
constexpr int32_t kRowsPerCall = 16;

// Where the decoded rows go. The decoder writes packed gray or R, G, B rows; when the wanted
// format and stride are exactly that, it writes straight into the destination, otherwise
// into a packed scratch buffer that is converted afterwards.
struct Target {
    xqob_image image{};    // format resolved, stride set, pixels: the caller's or null
    int32_t channels = 0;  // of the decoder's rows: 1 or 3
    size_t required = 0;   // bytes the destination must hold
    bool direct = false;   // decoder rows are already in the wanted layout
    uint8_t* allocated = nullptr;
    uint8_t* scratch = nullptr;
};

uint8_t* allocateIfAny(size_t bytes) {
    return bytes == 0 ? nullptr : static_cast<uint8_t*>(std::malloc(bytes));
}

// Called by the decoder once every stage has succeeded, so that a failing picture never
// touches the memory its header claims.
uint8_t* provideOutput(void* opaque) {
    Target* target = static_cast<Target*>(opaque);
    if (!target->direct) {
        const size_t packed =
            size_t(target->image.width) * size_t(target->image.height) * size_t(target->channels);
        return target->scratch = allocateIfAny(packed);
    }
    if (target->image.pixels != nullptr) return target->image.pixels;
    return target->allocated = allocateIfAny(target->required);
}

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

// Resolves the format and checks the stride and the caller's buffer against the picture.
xqob_status planTarget(const PictureHeader& header, Target* target, xqob_error* error) {
    xqob_image& image = target->image;
    const int32_t native = header.gray ? XQOB_FORMAT_GRAY : XQOB_FORMAT_RGB;
    if (image.format == XQOB_FORMAT_AUTO) image.format = native;
    image.width = header.width;
    image.height = header.height;
    target->channels = header.gray ? 1 : 3;
    // width <= 65535 and 4 bytes per pixel: a row always fits in size_t.
    const size_t rowBytes = size_t(image.width) * size_t(bytesPerPixel(image.format));
    if (image.stride == 0) image.stride = rowBytes;
    char message[200];
    if (image.stride < rowBytes) {
        std::snprintf(message, sizeof message, "stride %zu is smaller than a row of %zu bytes",
                      image.stride, rowBytes);
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    const size_t rows = size_t(image.height);
    if (rows != 0 && rowBytes != 0) {
        if (image.stride > (SIZE_MAX - rowBytes) / rows) {
            return report(error, XQOB_ERROR_OUT_OF_MEMORY,
                          "height x stride does not fit in memory");
        }
        target->required = (rows - 1) * image.stride + rowBytes;
    }
    if (image.pixels != nullptr && image.buffer_size < target->required) {
        std::snprintf(message, sizeof message,
                      "buffer of %zu bytes is too small for %d rows at stride %zu (%zu needed)",
                      image.buffer_size, image.height, image.stride, target->required);
        return report(error, XQOB_ERROR_BUFFER_TOO_SMALL, message);
    }
    target->direct = image.format == native && image.stride == rowBytes;
    return XQOB_OK;
}

xqob_status deliverRows(const xqob_decode_options& options, const Target& target,
                        const uint8_t* pixels, xqob_error* error) {
    if (options.row_callback == nullptr) return XQOB_OK;
    const xqob_image& image = target.image;
    for (int32_t first = 0; first < image.height; first += kRowsPerCall) {
        const int32_t count = std::min(kRowsPerCall, image.height - first);
        if (options.row_callback(options.row_opaque, pixels + size_t(first) * image.stride,
                                 image.stride, first, count) != 0) {
            char message[80];
            std::snprintf(message, sizeof message, "the row callback stopped the decode at row %d",
                          first);
            return report(error, XQOB_ERROR_ABORTED, message);
        }
    }
    return XQOB_OK;
}

// Decodes into target once planned; frees everything but the delivered buffer.
xqob_status runDecode(DecodeRequest request, const HeaderRead& header,
                      const xqob_decode_options& options, Target* target, xqob_error* error) {
    request.expected = &header.header;
    request.maxPixels = options.max_pixels;
    request.threads = options.threads;
    request.provideOutput = provideOutput;
    request.opaque = target;
    DecodeFailure failure;
    if (decodePicture(request, nullptr, &failure) != 0) {
        std::free(target->scratch);
        std::free(target->allocated);
        return reportFailure(error, failure);
    }
    xqob_image& image = target->image;
    if (!target->direct) {
        if (image.pixels == nullptr) target->allocated = allocateIfAny(target->required);
        uint8_t* destination = image.pixels != nullptr ? image.pixels : target->allocated;
        if (destination == nullptr && target->required != 0) {
            std::free(target->scratch);
            return report(error, XQOB_ERROR_OUT_OF_MEMORY, "out of memory for the output rows");
        }
        convertRows(target->scratch, target->channels, image.width, 0, image.height, image.format,
                    destination, image.stride);
        std::free(target->scratch);
    }
    if (image.pixels == nullptr) {
        image.pixels = target->allocated;
        image.buffer_size = target->allocated != nullptr ? target->required : 0;
    }
    if (xqob_status status = deliverRows(options, *target, image.pixels, error)) {
        std::free(target->allocated);
        return status;
    }
    return XQOB_OK;
}

// The steps shared by every source, once the header has been read.
xqob_status decodeWithHeader(const DecodeRequest& request, const HeaderRead& header,
                             const xqob_decode_options& options, xqob_image* image,
                             xqob_error* error) {
    const uint64_t pixels = uint64_t(header.header.width) * uint64_t(header.header.height);
    if (options.max_pixels != 0 && pixels > options.max_pixels) {
        DecodeFailure failure{FailureReason::tooLarge, header.header.width, header.header.height,
                              int64_t(options.max_pixels)};
        return reportFailure(error, failure);
    }
    Target target;
    readSized(image, kImageSize1, &target.image);
    if (xqob_status status = planTarget(header.header, &target, error)) return status;
    if (xqob_status status = runDecode(request, header, options, &target, error)) return status;
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
    // buffering all of it.
    std::vector<uint8_t> bytes;
    xqob_status status = readHeaderBytes(read, opaque, &bytes);
    HeaderRead header;
    if (status == XQOB_OK && !readMemoryHeader(bytes.data(), bytes.size(), &header)) {
        return reportFailure(error, header.failure);
    }
    if (status == XQOB_OK) status = readToEnd(read, opaque, &bytes);
    if (status != XQOB_OK) return report(error, status, describeInputStatus(status));
    return decodeMemory(bytes.data(), bytes.size(), resolved, image, error);
}

}  // extern "C"
