// Shared pieces of the C interface: struct-size checks, the error record, and the decoder's
// failure reasons as statuses with messages.
#pragma once

#include <cstddef>
#include <cstring>

#include <xqob/xqob.h>
#include "xqob/base/failure.h"

namespace xqob {

// The enums are signed 32-bit, like the int32_t fields that hold them.
static_assert(sizeof(xqob_status) == sizeof(int32_t) && sizeof(xqob_format) == sizeof(int32_t));
static_assert(xqob_status(-1) < 0 && xqob_format(-1) < 0);

// The size of the first published version of each struct: callers built against that header
// pass at least this much, and every field up to it can be read and written.
constexpr size_t kErrorSize1 = sizeof(xqob_error);
constexpr size_t kInfoSize1 = sizeof(xqob_info);
constexpr size_t kImageSize1 = offsetof(xqob_image, rows_only);
constexpr size_t kDecodeOptionsSize1 = sizeof(xqob_decode_options);
constexpr size_t kEncodeOptionsSize1 = sizeof(xqob_encode_options);

// Records status and message in error (when it is usable) and returns status.
xqob_status report(xqob_error* error, xqob_status status, const char* message);
xqob_status reportFailure(xqob_error* error, const DecodeFailure& failure);
xqob_status reportSuccess(xqob_error* error);

// The status of a decoder failure.
xqob_status statusOf(FailureReason reason);

// Copies a caller's struct into a full-size local one, defaults in the fields it lacks.
// Returns false when the struct is missing or older than the first version.
template <typename Struct>
bool readSized(const Struct* from, size_t minimum, Struct* to) {
    if (from == nullptr || from->struct_size < minimum) return false;
    std::memcpy(static_cast<void*>(to), from,
                from->struct_size < sizeof(Struct) ? from->struct_size : sizeof(Struct));
    return true;
}

// Writes back the fields of a local struct that fit in the caller's.
template <typename Struct>
void writeSized(const Struct& from, Struct* to) {
    const size_t size = to->struct_size < sizeof(Struct) ? to->struct_size : sizeof(Struct);
    const size_t callerSize = to->struct_size;
    std::memcpy(static_cast<void*>(to), &from, size);
    to->struct_size = callerSize;
}

}  // namespace xqob
