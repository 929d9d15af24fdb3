#include "xqob/format/header.h"

namespace xqob {

const int8_t qualityTable[101] = {
    16, 17, 18, 18, 19, 20, 21, 22, 22, 23, 24, 25, 26, 26, 27, 28, 29, 30, 30, 31, 32,
    33, 34, 34, 35, 36, 37, 38, 38, 39, 40, 41, 42, 42, 43, 44, 45, 46, 46, 47, 48, 49,
    50, 50, 51, 52, 53, 54, 54, 55, 56, 57, 58, 58, 59, 60, 61, 62, 62, 63, 64, 65, 65,
    66, 66, 67, 68, 68, 69, 69, 70, 71, 72, 72, 73, 74, 75, 76, 76, 77, 78, 79, 80, 80,
    81, 82, 83, 84, 84, 85, 86, 87, 88, 88, 89, 90, 91, 93, 94, 96, 97};

namespace {

int32_t reject(DecodeFailure* failure, FailureReason reason, int64_t value) {
    if (failure != nullptr) {
        failure->reason = reason;
        failure->value = value;
    }
    return 1;
}

}  // namespace

int32_t readPictureHeader(ByteSource* source, PictureHeader* header, DecodeFailure* failure) {
    const int64_t start = source->consumed;
    const char magic[3] = {'Q', 'O', 'B'};
    for (char expected : magic) {
        const int byte = readSourceByte(source);
        if (byte < 0)
            return reject(failure, FailureReason::headerTruncated, source->consumed - start);
        if (byte != expected) return reject(failure, FailureReason::badSignature, byte);
    }

    // The end-of-file value -1 fails each of the next three checks by itself; it is told
    // apart only to give a better reason.
    const int quality = readSourceByte(source);
    if (quality < 0)
        return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    header->gray = quality >> 7;
    if ((quality & 127) > 100)
        return reject(failure, FailureReason::qualityOutOfRange, quality & 127);
    header->qualityIndex = quality & 127;
    header->lumaQuantiser = qualityTable[header->qualityIndex];

    const int chroma = readSourceByte(source);
    if (chroma < 0)
        return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    header->fullChroma = chroma >> 7;
    if ((chroma & 127) > 80) return reject(failure, FailureReason::chromaOutOfRange, chroma & 127);
    header->chromaQuantiser = chroma & 127;

    const int flags = readSourceByte(source);
    if (flags < 0) return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    if ((flags & ~3) != 0) return reject(failure, FailureReason::unknownFlags, flags);

    // Everything from here to the payload must be present: a header cut short here would
    // otherwise hand a meaningless size to the caller.
    uint8_t scratch[10];
    if ((flags & 1) != 0 && readSourceBlock(source, scratch, 10) != 10) {
        return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    }
    uint8_t size[4];
    if (readSourceBlock(source, size, 4) != 4) {
        return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    }
    header->width = size[0] * 256 + size[1];
    header->height = size[2] * 256 + size[3];
    if (readSourceBlock(source, scratch, 4) != 4) {
        return reject(failure, FailureReason::headerTruncated, source->consumed - start);
    }
    return 0;
}

}  // namespace xqob
