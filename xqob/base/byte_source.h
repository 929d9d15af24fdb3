// Where the bytes of a picture come from: an open file stream, a buffer in memory or a
// caller's reader. All deliver exactly the same bytes, so a picture decodes the same from any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace xqob {

// Places up to count bytes at destination and returns how many; fewer only at the end of the
// input. Each byte is asked for once, in order, so the input may be a pipe.
using ByteReader = size_t (*)(void* opaque, uint8_t* destination, size_t count);

struct ByteSource {
    std::FILE* file = nullptr;    // read with the standard stream calls when set
    ByteReader reader = nullptr;  // else through this when set
    void* readerOpaque = nullptr;
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

inline ByteSource readerSource(ByteReader reader, void* opaque) {
    ByteSource source;
    source.reader = reader;
    source.readerOpaque = opaque;
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
