#include "xqob/capi/capi_input.h"

#include <sys/stat.h>

#include <cerrno>

namespace xqob {

namespace {

bool readHeader(Input* input) {
    const bool accepted = readPictureHeader(&input->source, &input->header, &input->failure) == 0;
    input->headerBytes = uint64_t(input->source.consumed);
    if (input->totalBytes < input->headerBytes) input->totalBytes = input->headerBytes;
    return accepted;
}

// What a file that opened names, when it is neither a regular file nor a readable stream.
NotAFile kindOf(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return NotAFile::directory;
#ifdef S_ISBLK
    if (S_ISBLK(status.st_mode)) return NotAFile::blockDevice;
#endif
    return NotAFile::otherKind;
}

bool readable(const struct stat& status) {
#ifdef S_ISSOCK
    if (S_ISSOCK(status.st_mode)) return true;
#endif
    return S_ISREG(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
}

}  // namespace

Input::~Input() {
    if (source.file != nullptr) std::fclose(source.file);
}

bool readMemoryInput(const uint8_t* data, size_t size, Input* input) {
    input->source = memorySource(data, size);
    input->totalBytes = size;
    return readHeader(input);
}

bool takeFileInput(std::FILE* file, Input* input) {
    input->source = fileSource(file);
    struct stat status;
    if (fstat(fileno(file), &status) != 0) {
        input->failure = DecodeFailure{FailureReason::cannotOpen, errno};
        return false;
    }
    if (!readable(status)) {
        input->failure = DecodeFailure{FailureReason::notAFile, int64_t(kindOf(status))};
        return false;
    }
    if (S_ISREG(status.st_mode)) input->totalBytes = uint64_t(status.st_size);
    return readHeader(input);
}

bool openFileInput(const char* path, Input* input) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        input->failure = DecodeFailure{FailureReason::cannotOpen, errno};
        return false;
    }
    return takeFileInput(file, input);
}

const char* describeInputStatus(xqob_status status) {
    return status == XQOB_ERROR_OUT_OF_MEMORY
               ? "out of memory while buffering the input"
               : "the read callback reported an error or returned more bytes than asked for";
}

}  // namespace xqob
