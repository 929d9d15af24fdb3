// xqob: read, decode and encode QOB pictures. The C++ interface (C++20): a header over the C
// interface of <xqob/xqob.h>, with the same capabilities and the same status codes.
//
//   xqob::Image image;                          // image.format = xqob::Format::rgba, ...
//   if (xqob::Error error = xqob::decodeFile("photo.qob", image)) {
//       std::fprintf(stderr, "photo.qob: %s\n", error.message.c_str());
//   } else {
//       use(image.data(), image.width, image.height, image.stride);
//   }                                           // the Image frees its rows
//
// Every function returns an Error that is false on success. Out-parameters are references;
// a null pointer or an empty callback where one is needed gets ErrorCode::invalidArgument.
// An exception thrown by a callback stops the call and reaches the caller once the library
// has cleaned up. Threads, struct versions and pixel formats are those of <xqob/xqob.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <xqob/xqob.h>

namespace xqob {

// The statuses of the C interface, with the same numbers.
enum class ErrorCode : int32_t {
    ok = XQOB_OK,
    cannotOpen = XQOB_ERROR_CANNOT_OPEN,            // the file cannot be opened or is no file
    notQob = XQOB_ERROR_NOT_QOB,                    // the input does not start with "QOB"
    badHeader = XQOB_ERROR_BAD_HEADER,              // a header field is out of range
    truncated = XQOB_ERROR_TRUNCATED,               // the input ends inside header or payload
    tooLarge = XQOB_ERROR_TOO_LARGE,                // width x height exceeds the pixel limit
    outOfMemory = XQOB_ERROR_OUT_OF_MEMORY,         // an allocation failed
    fileChanged = XQOB_ERROR_FILE_CHANGED,          // the file changed while it was read
    invalidArgument = XQOB_ERROR_INVALID_ARGUMENT,  // a bad pointer, size, format or option
    bufferTooSmall = XQOB_ERROR_BUFFER_TOO_SMALL,   // the caller's buffer cannot hold the rows
    readFailed = XQOB_ERROR_READ_FAILED,            // the read callback reported an error
    stopped = XQOB_ERROR_ABORTED,                   // the rows callback asked to stop
};

struct Error {
    ErrorCode code = ErrorCode::ok;
    std::string message;  // a sentence a person can act on; empty on success
    explicit operator bool() const { return code != ErrorCode::ok; }
};

// Pixel formats, in byte order (see xqob_format).
enum class Format : int32_t {
    automatic = XQOB_FORMAT_AUTO,  // decode: gray or rgb, as stored
    gray = XQOB_FORMAT_GRAY,
    rgb = XQOB_FORMAT_RGB,
    rgba = XQOB_FORMAT_RGBA,
    bgra = XQOB_FORMAT_BGRA,
    bgr = XQOB_FORMAT_BGR,
};

// 1, 3 or 4; 0 for automatic.
constexpr int32_t bytesPerPixel(Format format) {
    switch (format) {
        case Format::gray:
            return 1;
        case Format::rgb:
        case Format::bgr:
            return 3;
        case Format::rgba:
        case Format::bgra:
            return 4;
        default:
            return 0;
    }
}

// What the header says.
struct PictureInfo {
    int32_t width = 0;
    int32_t height = 0;
    bool gray = false;
    bool fullChroma = false;     // chroma stored at full resolution (else half in each direction)
    int32_t quality = 0;         // 0..100, higher is better
    int32_t chromaQuality = 0;   // 0..80, higher is better
    bool optionalBlock = false;  // the header carries the optional 10-byte block
    uint64_t headerBytes = 0;    // 14 or 24
    uint64_t payloadBytes = 0;   // bytes after the header; 0 when read through a Reader
};

// The default limit on width x height; 0 lifts it.
constexpr uint64_t kDefaultMaxPixels = XQOB_DEFAULT_MAX_PIXELS;

// A group of rows as soon as it is final, valid only during the call: count rows from first
// on, stride bytes apart, in the image's format; width, height and format of the picture.
struct Rows {
    int32_t width = 0;
    int32_t height = 0;
    Format format = Format::automatic;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    int32_t first = 0;
    int32_t count = 0;
    // Row y of the picture, first <= y < first + count.
    const uint8_t* row(int32_t y) const { return pixels + size_t(y - first) * stride; }
};

struct DecodeOptions {
    uint64_t maxPixels = kDefaultMaxPixels;  // checked before any large allocation
    // 1: the calling thread alone. 0: as many as help (two from 400000 pixels on, on two
    // cores or more, else one); 2 or more: a second thread reads the payload. The result
    // and any error are the same for every count; callbacks run on the calling thread.
    int32_t threads = 1;
    // Optional: every group of rows (16, the last one shorter) top to bottom while the
    // picture decodes, each in place once final. false stops the decode (ErrorCode::stopped).
    std::function<bool(const Rows& rows)> rows;
};

struct EncodeOptions {
    int32_t quality = 75;        // 0..100
    int32_t chromaQuality = -1;  // 0..80; -1 follows quality (52 at the default 75)
    bool gray = false;           // store luma only (also from a colour source)
    bool fullChroma = false;     // chroma at full resolution instead of half
    bool optionalBlock = false;  // write the optional 10-byte header block
};

// Rows in memory to encode: any format but automatic, stride bytes apart (0: packed).
struct ImageView {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    Format format = Format::rgb;
    size_t stride = 0;
};

namespace detail {
struct DecodeCall;
}

// The destination of a decode, and the picture once decoded.
// In: format (automatic: as stored), stride (0: packed rows) and, optionally, the caller's
// memory in buffer; with buffer empty the library allocates the rows and the Image owns
// them. rowsOnly keeps no whole picture: the rows reach DecodeOptions::rows (required) in a
// band of 16 rows that is reused, and data() stays null. Out: format, width, height, stride.
// A failed decode leaves the Image as it was.
struct Image {
    Format format = Format::automatic;
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    std::span<uint8_t> buffer;
    bool rowsOnly = false;

    uint8_t* data() { return owned_ ? owned_.get() : buffer.data(); }
    const uint8_t* data() const { return owned_ ? owned_.get() : buffer.data(); }
    int32_t channels() const { return bytesPerPixel(format); }
    // Bytes from the first row's start to the last row's end.
    size_t size() const {
        if (data() == nullptr || width == 0 || height == 0) return 0;
        return size_t(height - 1) * stride + size_t(width) * size_t(channels());
    }
    std::span<const uint8_t> bytes() const { return {data(), size()}; }
    const uint8_t* row(int32_t y) const { return data() + size_t(y) * stride; }
    ImageView view() const { return ImageView{data(), width, height, format, stride}; }

private:
    struct Free {
        void operator()(uint8_t* pixels) const { xqob_free(pixels); }
    };
    std::unique_ptr<uint8_t, Free> owned_;
    friend struct detail::DecodeCall;
};

// Reads up to size bytes into buffer and returns how many it placed there: fewer only at the
// end of the input, 0 once it is over, kReadError for a read error. Each byte is asked for
// once, in order: a pipe or a socket works.
using Reader = std::function<size_t(uint8_t* buffer, size_t size)>;
constexpr size_t kReadError = SIZE_MAX;

namespace detail {

// The pieces of a call into the C interface.
struct CallError {
    xqob_error error{sizeof(xqob_error), XQOB_OK, {}};
    Error result(xqob_status status) const {
        if (status == XQOB_OK) return Error{};
        return Error{ErrorCode(status), error.message};
    }
};

struct ReaderCall {
    const Reader* read = nullptr;
    std::exception_ptr thrown;
    static size_t call(void* opaque, void* buffer, size_t size) {
        ReaderCall* self = static_cast<ReaderCall*>(opaque);
        try {
            return (*self->read)(static_cast<uint8_t*>(buffer), size);
        } catch (...) {
            self->thrown = std::current_exception();
            return kReadError;
        }
    }
    xqob_read_callback callback() const { return *read ? &ReaderCall::call : nullptr; }
    void rethrow() const {
        if (thrown) std::rethrow_exception(thrown);
    }
};

struct DecodeCall {
    xqob_image image{};
    xqob_decode_options options{};
    detail::CallError error;
    const DecodeOptions* given = nullptr;
    std::exception_ptr thrown;

    DecodeCall(const Image& target, const DecodeOptions& decodeOptions) : given(&decodeOptions) {
        image.struct_size = sizeof image;
        image.format = xqob_format(target.format);
        image.stride = target.stride;
        image.pixels = target.buffer.data();
        image.buffer_size = target.buffer.size();
        image.rows_only = target.rowsOnly ? 1 : 0;
        xqob_init_decode_options(&options, sizeof options);
        options.max_pixels = decodeOptions.maxPixels;
        options.threads = decodeOptions.threads;
        if (decodeOptions.rows) {
            options.row_callback = &DecodeCall::rows;
            options.row_opaque = this;
        }
    }

    static int rows(void* opaque, const uint8_t* pixels, size_t stride, int32_t first,
                    int32_t count) {
        DecodeCall* self = static_cast<DecodeCall*>(opaque);
        try {
            const Rows group{self->image.width,
                             self->image.height,
                             Format(self->image.format),
                             pixels,
                             stride,
                             first,
                             count};
            return self->given->rows(group) ? 0 : 1;
        } catch (...) {
            self->thrown = std::current_exception();
            return 1;
        }
    }

    // Hands the outcome to target: the picture on success; nothing changes on failure.
    Error finish(xqob_status status, Image& target) {
        // A failed call has freed what it allocated.
        if (thrown) std::rethrow_exception(thrown);
        if (status != XQOB_OK) return error.result(status);
        target.format = Format(image.format);
        target.width = image.width;
        target.height = image.height;
        target.stride = image.stride;
        target.owned_.reset(target.buffer.data() == nullptr ? image.pixels : nullptr);
        return Error{};
    }
};

inline Error readInfoWith(xqob_status status, const xqob_info& found, const CallError& error,
                          PictureInfo& info) {
    if (status != XQOB_OK) return error.result(status);
    info = PictureInfo{
        found.width,        found.height,         found.gray != 0,           found.full_chroma != 0,
        found.quality,      found.chroma_quality, found.optional_block != 0, found.header_bytes,
        found.payload_bytes};
    return Error{};
}

}  // namespace detail

// Header information: reads only the header.
inline Error readInfo(const char* path, PictureInfo& info) {
    xqob_info found{};
    found.struct_size = sizeof found;
    detail::CallError error;
    return detail::readInfoWith(xqob_info_file(path, &found, &error.error), found, error, info);
}

inline Error readInfo(const std::string& path, PictureInfo& info) {
    return readInfo(path.c_str(), info);
}

inline Error readInfo(const uint8_t* data, size_t size, PictureInfo& info) {
    xqob_info found{};
    found.struct_size = sizeof found;
    detail::CallError error;
    return detail::readInfoWith(xqob_info_memory(data, size, &found, &error.error), found, error,
                                info);
}

inline Error readInfo(std::span<const uint8_t> data, PictureInfo& info) {
    return readInfo(data.data(), data.size(), info);
}

inline Error readInfo(const Reader& read, PictureInfo& info) {
    xqob_info found{};
    found.struct_size = sizeof found;
    detail::CallError error;
    detail::ReaderCall reader{&read, {}};
    const xqob_status status = xqob_info_callback(reader.callback(), &reader, &found, &error.error);
    reader.rethrow();
    return detail::readInfoWith(status, found, error, info);
}

// Decodes a whole picture into image (see Image).
inline Error decodeFile(const char* path, Image& image, const DecodeOptions& options = {}) {
    detail::DecodeCall call(image, options);
    return call.finish(xqob_decode_file(path, &call.options, &call.image, &call.error.error),
                       image);
}

inline Error decodeFile(const std::string& path, Image& image, const DecodeOptions& options = {}) {
    return decodeFile(path.c_str(), image, options);
}

inline Error decodeMemory(const uint8_t* data, size_t size, Image& image,
                          const DecodeOptions& options = {}) {
    detail::DecodeCall call(image, options);
    return call.finish(
        xqob_decode_memory(data, size, &call.options, &call.image, &call.error.error), image);
}

inline Error decodeMemory(std::span<const uint8_t> data, Image& image,
                          const DecodeOptions& options = {}) {
    return decodeMemory(data.data(), data.size(), image, options);
}

// Reads the input once, in order (see xqob_decode_callback).
inline Error decodeReader(const Reader& read, Image& image, const DecodeOptions& options = {}) {
    detail::DecodeCall call(image, options);
    detail::ReaderCall reader{&read, {}};
    const xqob_status status = xqob_decode_callback(reader.callback(), &reader, &call.options,
                                                    &call.image, &call.error.error);
    if (reader.thrown && !call.thrown) call.thrown = reader.thrown;
    return call.finish(status, image);
}

// Encodes image into the bytes of a QOB file, which replace the content of qob.
inline Error encode(const ImageView& image, const EncodeOptions& options,
                    std::vector<uint8_t>& qob) {
    xqob_image source{};
    source.struct_size = sizeof source;
    source.format = xqob_format(image.format);
    source.width = image.width;
    source.height = image.height;
    source.stride = image.stride;
    source.pixels = const_cast<uint8_t*>(image.pixels);  // only read
    xqob_encode_options settings{};
    xqob_init_encode_options(&settings, sizeof settings);
    settings.quality = options.quality;
    settings.chroma_quality = options.chromaQuality;
    settings.gray = options.gray ? 1 : 0;
    settings.full_chroma = options.fullChroma ? 1 : 0;
    settings.optional_block = options.optionalBlock ? 1 : 0;
    uint8_t* bytes = nullptr;
    size_t size = 0;
    detail::CallError error;
    const xqob_status status = xqob_encode(&source, &settings, &bytes, &size, &error.error);
    if (status != XQOB_OK) return error.result(status);
    const std::unique_ptr<uint8_t, void (*)(void*)> owned(bytes, xqob_free);
    qob.assign(bytes, bytes + size);
    return Error{};
}

inline Error encode(const Image& image, const EncodeOptions& options, std::vector<uint8_t>& qob) {
    return encode(image.view(), options, qob);
}

// The library's version: "major.minor.patch", and XQOB_VERSION's number.
inline const char* versionString() {
    return xqob_version_string();
}

inline uint32_t version() {
    return xqob_version();
}

}  // namespace xqob
