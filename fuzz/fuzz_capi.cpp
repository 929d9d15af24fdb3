// Decodes arbitrary bytes through the C interface with a pixel format, a stride, a source
// (memory or a read callback in uneven pieces) and a destination (the caller's buffer of
// exactly the size needed, or the library's) that follow from a hash of the input, so that
// every seed stays a whole QOB file. The status must match the C++ interface's, the rows must
// match its pixels, and a small picture must encode again from the rows it decoded to.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xqob/xqob.h>
#include <xqob/xqob.hpp>

namespace {

struct Choices {
    int32_t format;
    size_t extraStride;
    bool callerBuffer;
    bool callback;
    size_t chunk;
    int32_t stopAtRow;  // -1: never
    bool reencode;
};

Choices choose(const uint8_t* data, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    Choices c;
    c.format = int32_t(hash % 6), hash /= 6;
    c.extraStride = (hash & 1) ? 0 : size_t(hash >> 1) % 61, hash >>= 7;
    c.callerBuffer = hash & 1, hash >>= 1;
    c.callback = hash & 1, hash >>= 1;
    c.chunk = 1 + size_t(hash % 37), hash /= 37;
    c.stopAtRow = (hash % 8) == 0 ? int32_t((hash >> 3) % 64) : -1, hash >>= 9;
    c.reencode = hash & 1;
    return c;
}

struct Reader {
    const uint8_t* data;
    size_t size, offset, chunk;
    static size_t read(void* opaque, void* buffer, size_t wanted) {
        Reader* r = static_cast<Reader*>(opaque);
        const size_t n = std::min({wanted, r->chunk, r->size - r->offset});
        if (n != 0) std::memcpy(buffer, r->data + r->offset, n);
        r->offset += n;
        return n;
    }
};

struct RowCheck {
    int32_t next = 0;
    int32_t stopAt = -1;
    static int call(void* opaque, const uint8_t*, size_t, int32_t first, int32_t count) {
        RowCheck* check = static_cast<RowCheck*>(opaque);
        if (first != check->next || count <= 0) std::abort();
        check->next = first + count;
        return check->stopAt >= 0 && first >= check->stopAt;
    }
};

int32_t bytesOf(int32_t format) {
    static const int32_t bytes[] = {0, 1, 3, 4, 4, 3};
    return bytes[format];
}

// The decoded rows against the C++ interface's rows, in the formats that copy them.
void compareRows(const xqob_image& image, const xqob::Image& reference) {
    const size_t row = size_t(image.width) * size_t(reference.channels());
    const bool native =
        image.format == (reference.channels() == 1 ? XQOB_FORMAT_GRAY : XQOB_FORMAT_RGB);
    if (!native || row == 0) return;
    for (int32_t y = 0; y < image.height; ++y) {
        if (std::memcmp(image.pixels + size_t(y) * image.stride, reference.row(y), row) != 0) {
            std::abort();
        }
    }
}

void reencode(const xqob_image& image) {
    // The encoder's mode search is slow next to decoding: small pictures only.
    if (image.width > 24 || image.height > 24) return;
    uint8_t* file = nullptr;
    size_t size = 0;
    if (xqob_encode(&image, nullptr, &file, &size, nullptr) != XQOB_OK) std::abort();
    xqob_info info{};
    info.struct_size = sizeof info;
    if (xqob_info_memory(file, size, &info, nullptr) != XQOB_OK || info.width != image.width ||
        info.height != image.height || info.gray != (image.format == XQOB_FORMAT_GRAY)) {
        std::abort();
    }
    xqob_free(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Choices c = choose(data, size);
    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    options.max_pixels = uint64_t{1} << 20;
    RowCheck rows;
    rows.stopAt = c.stopAtRow;
    options.row_callback = RowCheck::call;
    options.row_opaque = &rows;

    xqob_image image{};
    image.struct_size = sizeof image;
    image.format = xqob_format(c.format);
    std::unique_ptr<uint8_t[]> buffer;
    xqob_info info{};
    info.struct_size = sizeof info;
    if (xqob_info_memory(data, size, &info, nullptr) == XQOB_OK && c.callerBuffer &&
        uint64_t(info.width) * uint64_t(info.height) <= options.max_pixels) {
        const int32_t format = c.format != XQOB_FORMAT_AUTO ? c.format
                               : info.gray                  ? XQOB_FORMAT_GRAY
                                                            : XQOB_FORMAT_RGB;
        const size_t row = size_t(info.width) * size_t(bytesOf(format));
        image.stride = row + c.extraStride;
        // Exactly what the rows need: the last row ends at its last pixel.
        image.buffer_size = info.height == 0 ? 0 : (size_t(info.height) - 1) * image.stride + row;
        buffer.reset(new uint8_t[image.buffer_size + 1]);
        image.pixels = buffer.get();
    }

    xqob_error error{};
    error.struct_size = sizeof error;
    Reader reader{data, size, 0, c.chunk};
    const xqob_status status =
        c.callback ? xqob_decode_callback(Reader::read, &reader, &options, &image, &error)
                   : xqob_decode_memory(data, size, &options, &image, &error);
    if (error.status != status || (status == XQOB_OK) != (error.message[0] == 0)) std::abort();

    xqob::DecodeOptions cppOptions;
    cppOptions.maxPixels = options.max_pixels;
    xqob::Image reference;
    const xqob::Error cppError = xqob::decodeMemory(data, size, reference, cppOptions);
    if (status == XQOB_ERROR_ABORTED) {
        // Rows go out as they are final, so the callback can stop a payload that would
        // still fail further on; either way the library's buffer is gone.
        if (image.pixels != buffer.get()) std::abort();
        return 0;
    }
    if (int(cppError.code) != int(status) || cppError.message != error.message) std::abort();
    if (status != XQOB_OK) return 0;
    // A picture of width or height 0 has no rows to deliver.
    if (rows.next != (image.width == 0 ? 0 : image.height)) std::abort();
    compareRows(image, reference);
    if (c.reencode) reencode(image);
    if (!buffer) xqob_free(image.pixels);
    return 0;
}
