// Where the bytes of a picture come from: an open file stream or a buffer in memory.
// Both deliver exactly the same bytes, so a picture decodes the same from either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace xqob {

struct ByteSource {
    std::FILE* file = nullptr;      // read with the standard stream calls when set
    const uint8_t* data = nullptr;  // otherwise read from here
    size_t size = 0;
    size_t offset = 0;     // next byte of data
    int64_t consumed = 0;  // bytes delivered so far, from either kind
};

inline ByteSource fileSource(std::FILE* file) {
    ByteSource source;
    source.file = file;
    return source;
}

inline ByteSource memorySource(const uint8_t* data, size_t size) {
    ByteSource source;
    source.data = data;
    source.size = size;
    return source;
}

// One byte, or -1 at the end of the input (the standard single-character read).
int readSourceByte(ByteSource* source);

// Up to count bytes into destination; returns how many were delivered.
size_t readSourceBlock(ByteSource* source, uint8_t* destination, size_t count);

}  // namespace xqob
