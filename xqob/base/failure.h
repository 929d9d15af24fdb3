// Why a decode or a header read failed. The exports reduce every failure to a null handle;
// the C++ API and the tools turn the reason into a message a person can act on.
#pragma once

#include <cstdint>
#include <string>

namespace xqob {

enum class FailureReason : int32_t {
    none = 0,
    cannotOpen,         // value: errno of the failed open
    notAFile,           // value: what the path names instead, a NotAFile
    badSignature,       // the file does not start with "QOB"
    qualityOutOfRange,  // value: the quality index found
    chromaOutOfRange,   // value: the chroma quantiser found
    unknownFlags,       // value: the flags byte found
    headerTruncated,    // value: the number of bytes the file holds
    payloadTooShort,    // value: the number of payload bytes
    payloadExhausted,   // value: the number of payload bytes
    outOfMemory,        // value: the size of the refused request in bytes
    tooLarge,           // value, value2: width and height; limit: the pixel limit
    fileChanged,        // the header differs from the one the buffer was sized for
    stoppedByCaller,    // value: the row the caller's row callback refused
};

// What a path that can be opened but not read as a picture names.
enum class NotAFile : int32_t { directory = 1, blockDevice = 2, otherKind = 3 };

struct DecodeFailure {
    FailureReason reason = FailureReason::none;
    int64_t value = 0;
    int64_t value2 = 0;
    int64_t limit = 0;
};

// A sentence that names the problem, for instance "quality index 101 out of range 0..100".
std::string describeFailure(const DecodeFailure& failure);

}  // namespace xqob
