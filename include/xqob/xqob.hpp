// xqob: read, decode and encode QOB pictures.
//
//   xqob::Image image;
//   if (xqob::Error error = xqob::decodeFile("photo.qob", &image)) {
//       std::fprintf(stderr, "%s\n", error.message.c_str());
//   }
//
// Every function returns an Error that is false on success. Decoded images are packed rows,
// top row first, 1 channel (gray) or 3 (R, G, B), bit-identical to what the plug-in delivers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace xqob {

enum class ErrorCode {
    ok = 0,
    cannotOpen,       // the file cannot be opened or read
    notQob,           // the file does not start with "QOB"
    badHeader,        // a header field is out of range
    truncated,        // the file ends inside the header or the payload
    tooLarge,         // the picture exceeds the pixel limit
    outOfMemory,      // an allocation failed or a size does not fit
    fileChanged,      // the file changed while it was being read
    invalidArgument,  // a bad image or option was passed in
    stopped,          // the row callback asked to stop
};

struct Error {
    ErrorCode code = ErrorCode::ok;
    std::string message;  // a sentence a person can act on; empty on success
    explicit operator bool() const { return code != ErrorCode::ok; }
};

// What the header says.
struct PictureInfo {
    int32_t width = 0;
    int32_t height = 0;
    bool gray = false;
    bool fullChroma = false;     // chroma stored at full resolution (else half in each direction)
    int32_t quality = 0;         // 0..100, higher is better (100 minus the quality index)
    int32_t chromaQuality = 0;   // 0..80, higher is better
    bool optionalBlock = false;  // the header carries the optional 10-byte block
    uint64_t headerBytes = 0;    // 14 or 24
    uint64_t payloadBytes = 0;   // bytes after the header
};

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;         // 1 gray, 3 R, G, B
    std::vector<uint8_t> pixels;  // height rows of width * channels bytes
};

// The default limit on width * height; 0 lifts it.
constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28;

struct DecodeOptions {
    uint64_t maxPixels = kDefaultMaxPixels;  // checked before any large allocation
    // 1: decode on the calling thread alone. 0: as many as help, which is two on a machine
    // of two cores or more for a picture of 400000 pixels or more (below that a second
    // thread costs more than it gains), else one: a second thread reads the payload ahead of
    // the calling thread,
    // which reconstructs and delivers the rows (callbacks run on the calling thread). Larger
    // counts decode on two. The result and any error are the same for every count. One by
    // default: a second thread costs CPU time and gains little while the payload's reading
    // dominates the decode.
    int32_t threads = 1;
};

struct EncodeOptions {
    int32_t quality = 75;        // 0..100
    int32_t chromaQuality = -1;  // 0..80; -1 follows quality (52 at the default 75)
    bool gray = false;           // store luma only (also for a 3-channel image)
    bool fullChroma = false;     // chroma at full resolution instead of half
    bool optionalBlock = false;  // write the optional 10-byte header block
};

Error readInfo(const std::string& path, PictureInfo* info);
Error readInfo(const uint8_t* data, size_t size, PictureInfo* info);

Error decodeFile(const std::string& path, Image* image, const DecodeOptions& options = {});
Error decodeMemory(const uint8_t* data, size_t size, Image* image,
                   const DecodeOptions& options = {});

// Rows as they finish, with no buffer for the whole picture: begin (optional) gets the header
// before anything is decoded, then row gets every row once, top to bottom, as soon as it is
// final: width * channels bytes (1 gray, 3 R, G, B), valid only during the call. Either
// returning false stops the decode with ErrorCode::stopped; no row follows a failure. An
// exception thrown by either stops the decode too and reaches the caller after clean-up.
struct RowReceiver {
    std::function<bool(const PictureInfo& info)> begin;
    std::function<bool(int32_t row, const uint8_t* pixels)> row;
};

Error decodeFileRows(const std::string& path, const RowReceiver& receiver,
                     const DecodeOptions& options = {});
Error decodeMemoryRows(const uint8_t* data, size_t size, const RowReceiver& receiver,
                       const DecodeOptions& options = {});

// image: 1 or 3 channels, 0..65535 pixels in each direction.
Error encode(const Image& image, const EncodeOptions& options, std::vector<uint8_t>* qob);

// The library's version, "major.minor.patch".
const char* versionString();

}  // namespace xqob
