#include "xqob/capi/decode_target.h"

#include <cstdio>
#include <cstdlib>

#include "xqob/capi/capi_common.h"
#include "xqob/capi/pixel_formats.h"

namespace xqob {

xqob_status planTarget(const PictureHeader& header, DecodeTarget* target, xqob_error* error) {
    xqob_image& image = target->image;
    const int32_t native = header.gray ? XQOB_FORMAT_GRAY : XQOB_FORMAT_RGB;
    if (image.format == XQOB_FORMAT_AUTO) image.format = xqob_format(native);
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
    target->band = image.rows_only != 0;
    const size_t rows =
        size_t(target->band && image.height > kRowsPerCall ? kRowsPerCall : image.height);
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
    return XQOB_OK;
}

namespace {

// The output is claimed only once a row exists: a picture that fails before its first row
// never touches the memory its header asks for.
bool claimDestination(DecodeTarget* target) {
    if (target->destination != nullptr) return true;
    target->destination = target->image.pixels;
    if (target->destination == nullptr) {
        target->destination = target->allocated =
            static_cast<uint8_t*>(std::malloc(target->required));
    }
    return target->destination != nullptr;
}

// A band holds each group of rows in turn; groups start at multiples of kRowsPerCall.
uint8_t* rowAddress(const DecodeTarget& target, int32_t row) {
    return target.destination +
           size_t(target.band ? row % kRowsPerCall : row) * target.image.stride;
}

}  // namespace

bool rowsFitInPlace(const DecodeTarget& target, RowLayout* layout) {
    const int32_t format = target.image.format;
    if (target.channels == 1) {
        *layout = RowLayout::own;
        return format == XQOB_FORMAT_GRAY;
    }
    *layout = format == XQOB_FORMAT_RGBA   ? RowLayout::rgba
              : format == XQOB_FORMAT_BGRA ? RowLayout::bgra
                                           : RowLayout::own;
    return format == XQOB_FORMAT_RGB || *layout != RowLayout::own;
}

uint8_t* rowInPlace(void* opaque, int32_t row) {
    DecodeTarget* target = static_cast<DecodeTarget*>(opaque);
    if (!claimDestination(target)) return nullptr;
    return rowAddress(*target, row);
}

bool placeRow(void* opaque, int32_t row, const uint8_t* pixels) {
    DecodeTarget* target = static_cast<DecodeTarget*>(opaque);
    const xqob_image& image = target->image;
    if (!claimDestination(target)) {
        target->stopped = XQOB_ERROR_OUT_OF_MEMORY;
        return false;
    }
    const auto place = [&](int32_t at) { return rowAddress(*target, at); };
    // A row the decoder formed in its place (rowInPlace) needs nothing more.
    if (pixels != place(row)) {
        convertRow(pixels, target->channels, image.width, image.format, place(row));
    }
    const int32_t end = row + 1;
    if (target->callback == nullptr) return true;
    if (end - target->pending < kRowsPerCall && end < image.height) return true;
    const int32_t first = target->pending;
    target->pending = end;
    if (target->callback(target->callbackOpaque, place(first), image.stride, first, end - first) ==
        0) {
        return true;
    }
    target->stopped = XQOB_ERROR_ABORTED;
    target->stoppedAt = first;
    return false;
}

xqob_status reportStop(const DecodeTarget& target, xqob_error* error) {
    char message[120];
    if (target.stopped == XQOB_ERROR_ABORTED) {
        std::snprintf(message, sizeof message, "the row callback stopped the decode at row %d",
                      target.stoppedAt);
    } else {
        std::snprintf(message, sizeof message,
                      "out of memory (a request of %zu bytes for the output rows failed)",
                      target.required);
    }
    return report(error, target.stopped, message);
}

}  // namespace xqob
