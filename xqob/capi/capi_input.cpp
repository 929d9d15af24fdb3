#include "xqob/capi/capi_input.h"

#include <cerrno>
#include <cstdio>

namespace xqob {

bool readMemoryHeader(const uint8_t* data, size_t size, HeaderRead* read) {
    ByteSource source = memorySource(data, size);
    if (readPictureHeader(&source, &read->header, &read->failure) != 0) return false;
    read->headerBytes = uint64_t(source.consumed);
    read->totalBytes = size;
    return true;
}

bool readFileHeader(const char* path, HeaderRead* read) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        read->failure = DecodeFailure{FailureReason::cannotOpen, errno};
        return false;
    }
    ByteSource source = fileSource(file);
    const bool accepted = readPictureHeader(&source, &read->header, &read->failure) == 0;
    read->headerBytes = uint64_t(source.consumed);
    read->totalBytes = read->headerBytes;
    if (accepted && std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end >= 0) read->totalBytes = uint64_t(end);
    }
    std::fclose(file);
    return accepted;
}

const char* describeInputStatus(xqob_status status) {
    return status == XQOB_ERROR_OUT_OF_MEMORY
               ? "out of memory while buffering the input"
               : "the read callback reported an error or returned more bytes than asked for";
}

}  // namespace xqob
