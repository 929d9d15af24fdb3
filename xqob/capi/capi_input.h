// The input of a C interface call: opened once, its header read once, and left at the first
// payload byte for the decode that follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <xqob/xqob.h>
#include "xqob/base/byte_source.h"
#include "xqob/base/failure.h"
#include "xqob/format/header.h"

namespace xqob {

struct Input {
    ByteSource source;  // at the first payload byte once the header is accepted
    PictureHeader header;
    uint64_t headerBytes = 0;  // 14 or 24
    uint64_t totalBytes = 0;   // the whole input when it is known, else headerBytes
    DecodeFailure failure;     // why the input was refused

    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();  // closes the file of takeFileInput and openFileInput
};

// Return false with input->failure set when the input is refused.
bool readMemoryInput(const uint8_t* data, size_t size, Input* input);
// Takes an open file (it is closed with input on every path): a regular file or a readable
// stream; anything else is refused, saying what it is.
bool takeFileInput(std::FILE* file, Input* input);
bool openFileInput(const char* path, Input* input);

// The message for a failure of the read callback or of buffering its input.
const char* describeInputStatus(xqob_status status);

}  // namespace xqob
