// Encoding through the C interface: rows in any pixel format and stride to a QOB file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "xqob/capi/capi_common.h"
#include "xqob/capi/pixel_formats.h"
#include "xqob/encoder/encode_picture.h"

using namespace xqob;

namespace {

constexpr int32_t kMaxDimension = 65535;

xqob_status checkImage(const xqob_image& image, size_t* stride, xqob_error* error) {
    char message[160];
    const int32_t bytes = bytesPerPixel(image.format);
    if (bytes == 0) {
        std::snprintf(message, sizeof message, "unknown source pixel format %d", int(image.format));
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    if (image.width < 0 || image.width > kMaxDimension || image.height < 0 ||
        image.height > kMaxDimension) {
        std::snprintf(message, sizeof message, "picture of %d x %d is outside 0..65535",
                      image.width, image.height);
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    const size_t rowBytes = size_t(image.width) * size_t(bytes);
    *stride = image.stride == 0 ? rowBytes : image.stride;
    if (*stride < rowBytes) {
        std::snprintf(message, sizeof message, "stride %zu is smaller than a row of %zu bytes",
                      *stride, rowBytes);
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, message);
    }
    if (image.pixels == nullptr && rowBytes != 0 && image.height != 0) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "image.pixels is NULL");
    }
    return XQOB_OK;
}

xqob_status readEncodeOptions(const xqob_encode_options* given, EncoderOptions* options,
                              xqob_error* error) {
    xqob_encode_options resolved;
    xqob_init_encode_options(&resolved, sizeof resolved);
    if (given != nullptr && !readSized(given, kEncodeOptionsSize1, &resolved)) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "options.struct_size is smaller than xqob_encode_options");
    }
    options->quality = resolved.quality;
    if (resolved.chroma_quality != -1) options->chromaQuality = resolved.chroma_quality;
    options->gray = resolved.gray != 0;
    options->fullChroma = resolved.full_chroma != 0;
    if (resolved.optional_block) options->headerBlock = std::array<uint8_t, 10>{};
    return XQOB_OK;
}

xqob_status encodePacked(const xqob_image& image, size_t stride, const EncoderOptions& options,
                         EncodedPicture* encoded, xqob_error* error) {
    SourceImage source;
    source.width = image.width;
    source.height = image.height;
    source.channels = image.format == XQOB_FORMAT_GRAY ? 1 : 3;
    std::vector<uint8_t> packed;
    packed.resize(size_t(image.width) * size_t(image.height) * size_t(source.channels));
    packRows(image.pixels, stride, image.format, image.width, image.height, packed.data());
    source.pixels = packed.data();
    std::string message;
    if (!encodePicture(source, options, encoded, false, &message)) {
        const bool memory = message.find("memory") != std::string::npos;
        return report(error, memory ? XQOB_ERROR_OUT_OF_MEMORY : XQOB_ERROR_INVALID_ARGUMENT,
                      message.c_str());
    }
    return XQOB_OK;
}

}  // namespace

extern "C" {

xqob_status xqob_encode(const xqob_image* image, const xqob_encode_options* options,
                        uint8_t** output, size_t* output_size, xqob_error* error) {
    xqob_image source{};
    if (!readSized(image, kImageSize1, &source)) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "image is NULL or its struct_size is smaller than xqob_image");
    }
    if (output == nullptr || output_size == nullptr) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "output or output_size is NULL");
    }
    size_t stride = 0;
    if (xqob_status status = checkImage(source, &stride, error)) return status;
    EncoderOptions encoderOptions;
    if (xqob_status status = readEncodeOptions(options, &encoderOptions, error)) return status;
    EncodedPicture encoded;
    try {
        if (xqob_status status = encodePacked(source, stride, encoderOptions, &encoded, error)) {
            return status;
        }
    } catch (const std::bad_alloc&) {
        return report(error, XQOB_ERROR_OUT_OF_MEMORY, "out of memory while encoding");
    } catch (const std::length_error&) {
        return report(error, XQOB_ERROR_OUT_OF_MEMORY, "out of memory while encoding");
    }
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(encoded.file.size()));
    if (bytes == nullptr) return report(error, XQOB_ERROR_OUT_OF_MEMORY, "out of memory");
    std::memcpy(bytes, encoded.file.data(), encoded.file.size());
    *output = bytes;
    *output_size = encoded.file.size();
    return reportSuccess(error);
}

}  // extern "C"
