// The header of a picture in memory or in a file, read before decoding to size the output.
#pragma once

#include <cstddef>
#include <cstdint>

#include <xqob/xqob.h>
#include "xqob/base/failure.h"
#include "xqob/format/header.h"

namespace xqob {

struct HeaderRead {
    PictureHeader header;
    uint64_t headerBytes = 0;  // 14 or 24
    uint64_t totalBytes = 0;   // the whole input
    DecodeFailure failure;     // why the header was refused
};

// Return false with read->failure set when the header is refused.
bool readMemoryHeader(const uint8_t* data, size_t size, HeaderRead* read);
bool readFileHeader(const char* path, HeaderRead* read);

// The message for a failure of the read callback or of buffering its input.
const char* describeInputStatus(xqob_status status);

}  // namespace xqob
