// The public reading side: header information and whole-picture decoding, from a file or a
// buffer, with the decoder's failure reasons turned into codes and messages.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include <xqob/xqob.hpp>
#include "xqob/api/api_errors.h"
#include "xqob/decoder/decode_picture.h"
#include "xqob/format/header.h"

namespace xqob {

namespace {

void fillInfo(const PictureHeader& header, uint64_t headerBytes, uint64_t totalBytes,
              PictureInfo* info) {
    info->width = header.width;
    info->height = header.height;
    info->gray = header.gray != 0;
    info->fullChroma = header.fullChroma != 0;
    info->quality = 100 - header.qualityIndex;
    info->chromaQuality = 80 - header.chromaQuantiser;
    info->headerBytes = headerBytes;
    info->optionalBlock = headerBytes == 24;
    info->payloadBytes = totalBytes - headerBytes;
}

Error checkLimit(const PictureHeader& header, const DecodeOptions& options) {
    if (options.threads < 0) return Error{ErrorCode::invalidArgument, "threads must be 0 or more"};
    const uint64_t pixels = uint64_t(header.width) * uint64_t(header.height);
    if (options.maxPixels == 0 || pixels <= options.maxPixels) return Error{};
    DecodeFailure failure;
    failure.reason = FailureReason::tooLarge;
    failure.value = header.width;
    failure.value2 = header.height;
    failure.limit = int64_t(options.maxPixels);
    return errorFrom(failure);
}

// Sizes the image once the picture has decoded, so that a failing picture never touches
// the memory its header claims. A refused allocation fails the decode; it is never thrown.
uint8_t* provideImage(void* opaque) {
    Image* image = static_cast<Image*>(opaque);
    const uint64_t bytes =
        uint64_t(image->width) * uint64_t(image->height) * uint64_t(image->channels);
    if (bytes > SIZE_MAX) return nullptr;
    try {
        image->pixels.resize(size_t(bytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    return image->pixels.data();
}

Error decode(const DecodeRequest& base, const PictureHeader& header, const DecodeOptions& options,
             Image* image) {
    if (Error error = checkLimit(header, options)) return error;
    Image decoded;
    decoded.width = header.width;
    decoded.height = header.height;
    decoded.channels = header.gray ? 1 : 3;
    DecodeRequest request = base;
    request.expected = &header;
    request.maxPixels = options.maxPixels;
    request.threads = options.threads;
    request.provideOutput = provideImage;
    request.opaque = &decoded;
    DecodeFailure failure;
    if (decodePicture(request, nullptr, &failure) != 0) return errorFrom(failure);
    *image = std::move(decoded);
    return Error{};
}

// Hands each row to the receiver; an exception from it is kept for the caller, since it must
// not unwind through the decoder (which frees its memory only on its own error exit).
struct RowForwarding {
    const RowReceiver* receiver;
    std::exception_ptr thrown;
};

bool forwardRow(void* opaque, int32_t row, const uint8_t* pixels) {
    RowForwarding* forwarding = static_cast<RowForwarding*>(opaque);
    try {
        return forwarding->receiver->row(row, pixels);
    } catch (...) {
        forwarding->thrown = std::current_exception();
        return false;
    }
}

Error decodeRows(const DecodeRequest& base, const PictureHeader& header, const PictureInfo& info,
                 const RowReceiver& receiver, const DecodeOptions& options) {
    if (Error error = checkLimit(header, options)) return error;
    if (!receiver.row) return Error{ErrorCode::invalidArgument, "no row callback given"};
    if (receiver.begin && !receiver.begin(info)) {
        return errorFrom(DecodeFailure{FailureReason::stoppedByCaller, 0});
    }
    RowForwarding forwarding{&receiver, nullptr};
    DecodeRequest request = base;
    request.expected = &header;
    request.maxPixels = options.maxPixels;
    request.threads = options.threads;
    request.sink = forwardRow;
    request.sinkOpaque = &forwarding;
    DecodeFailure failure;
    const int32_t result = decodePicture(request, nullptr, &failure);
    if (forwarding.thrown) std::rethrow_exception(forwarding.thrown);
    return result == 0 ? Error{} : errorFrom(failure);
}

Error readFileHeader(const std::string& path, PictureHeader* header, uint64_t* headerBytes,
                     uint64_t* totalBytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return errorFrom(DecodeFailure{FailureReason::cannotOpen, errno});
    ByteSource source = fileSource(file);
    DecodeFailure failure;
    const bool accepted = readPictureHeader(&source, header, &failure) == 0;
    *headerBytes = uint64_t(source.consumed);
    *totalBytes = *headerBytes;
    if (accepted && std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end >= 0) *totalBytes = uint64_t(end);
    }
    std::fclose(file);
    return accepted ? Error{} : errorFrom(failure);
}

}  // namespace

Error readInfo(const std::string& path, PictureInfo* info) {
    PictureHeader header;
    uint64_t headerBytes = 0, totalBytes = 0;
    if (Error error = readFileHeader(path, &header, &headerBytes, &totalBytes)) return error;
    fillInfo(header, headerBytes, totalBytes, info);
    return Error{};
}

Error readInfo(const uint8_t* data, size_t size, PictureInfo* info) {
    ByteSource source = memorySource(data, size);
    PictureHeader header;
    DecodeFailure failure;
    if (readPictureHeader(&source, &header, &failure) != 0) return errorFrom(failure);
    fillInfo(header, uint64_t(source.consumed), size, info);
    return Error{};
}

Error decodeFile(const std::string& path, Image* image, const DecodeOptions& options) {
    PictureHeader header;
    uint64_t headerBytes = 0, totalBytes = 0;
    if (Error error = readFileHeader(path, &header, &headerBytes, &totalBytes)) return error;
    DecodeRequest request;
    request.fileName = path.c_str();
    return decode(request, header, options, image);
}

Error decodeMemory(const uint8_t* data, size_t size, Image* image, const DecodeOptions& options) {
    ByteSource source = memorySource(data, size);
    PictureHeader header;
    DecodeFailure failure;
    if (readPictureHeader(&source, &header, &failure) != 0) return errorFrom(failure);
    DecodeRequest request;
    request.data = data;
    request.size = size;
    return decode(request, header, options, image);
}

Error decodeFileRows(const std::string& path, const RowReceiver& receiver,
                     const DecodeOptions& options) {
    PictureHeader header;
    uint64_t headerBytes = 0, totalBytes = 0;
    if (Error error = readFileHeader(path, &header, &headerBytes, &totalBytes)) return error;
    PictureInfo info;
    fillInfo(header, headerBytes, totalBytes, &info);
    DecodeRequest request;
    request.fileName = path.c_str();
    return decodeRows(request, header, info, receiver, options);
}

Error decodeMemoryRows(const uint8_t* data, size_t size, const RowReceiver& receiver,
                       const DecodeOptions& options) {
    ByteSource source = memorySource(data, size);
    PictureHeader header;
    DecodeFailure failure;
    if (readPictureHeader(&source, &header, &failure) != 0) return errorFrom(failure);
    PictureInfo info;
    fillInfo(header, uint64_t(source.consumed), size, &info);
    DecodeRequest request;
    request.data = data;
    request.size = size;
    return decodeRows(request, header, info, receiver, options);
}

const char* versionString() {
    return XQOB_VERSION;
}

}  // namespace xqob
