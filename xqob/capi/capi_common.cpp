// Version, status texts, option defaults and error reporting of the C interface.
#include "xqob/capi/capi_common.h"

#include <cstdio>
#include <cstdlib>

#include <xqob/xqob.hpp>
#include "xqob/api/api_errors.h"

namespace xqob {

// The C statuses extend the C++ error codes with the same numbers.
static_assert(int(ErrorCode::cannotOpen) == XQOB_ERROR_CANNOT_OPEN);
static_assert(int(ErrorCode::notQob) == XQOB_ERROR_NOT_QOB);
static_assert(int(ErrorCode::badHeader) == XQOB_ERROR_BAD_HEADER);
static_assert(int(ErrorCode::truncated) == XQOB_ERROR_TRUNCATED);
static_assert(int(ErrorCode::tooLarge) == XQOB_ERROR_TOO_LARGE);
static_assert(int(ErrorCode::outOfMemory) == XQOB_ERROR_OUT_OF_MEMORY);
static_assert(int(ErrorCode::fileChanged) == XQOB_ERROR_FILE_CHANGED);
static_assert(int(ErrorCode::invalidArgument) == XQOB_ERROR_INVALID_ARGUMENT);

xqob_status report(xqob_error* error, xqob_status status, const char* message) {
    if (error != nullptr && error->struct_size >= kErrorSize1) {
        error->status = status;
        std::snprintf(error->message, sizeof error->message, "%s", message);
    }
    return status;
}

xqob_status reportFailure(xqob_error* error, const DecodeFailure& failure) {
    const auto status = static_cast<xqob_status>(errorCodeOf(failure.reason));
    return report(error, status, describeFailure(failure).c_str());
}

xqob_status reportSuccess(xqob_error* error) {
    return report(error, XQOB_OK, "");
}

}  // namespace xqob

using namespace xqob;

extern "C" {

const char* xqob_version_string(void) {
    return XQOB_VERSION;
}

uint32_t xqob_version(void) {
    return (uint32_t(XQOB_VERSION_MAJOR) << 16) | (uint32_t(XQOB_VERSION_MINOR) << 8) |
           uint32_t(XQOB_VERSION_PATCH);
}

const char* xqob_status_string(int32_t status) {
    switch (status) {
        case XQOB_OK:
            return "success";
        case XQOB_ERROR_CANNOT_OPEN:
            return "cannot open the file";
        case XQOB_ERROR_NOT_QOB:
            return "not a QOB file";
        case XQOB_ERROR_BAD_HEADER:
            return "bad header";
        case XQOB_ERROR_TRUNCATED:
            return "truncated input";
        case XQOB_ERROR_TOO_LARGE:
            return "picture exceeds the pixel limit";
        case XQOB_ERROR_OUT_OF_MEMORY:
            return "out of memory";
        case XQOB_ERROR_FILE_CHANGED:
            return "file changed while it was being read";
        case XQOB_ERROR_INVALID_ARGUMENT:
            return "invalid argument";
        case XQOB_ERROR_BUFFER_TOO_SMALL:
            return "buffer too small";
        case XQOB_ERROR_READ_FAILED:
            return "read failed";
        case XQOB_ERROR_ABORTED:
            return "aborted by the row callback";
    }
    return "unknown status";
}

xqob_status xqob_init_decode_options(xqob_decode_options* options, size_t struct_size) {
    if (options == nullptr || struct_size < kDecodeOptionsSize1) return XQOB_ERROR_INVALID_ARGUMENT;
    std::memset(options, 0, struct_size);
    options->struct_size = struct_size;
    options->max_pixels = XQOB_DEFAULT_MAX_PIXELS;
    options->threads = 1;
    return XQOB_OK;
}

xqob_status xqob_init_encode_options(xqob_encode_options* options, size_t struct_size) {
    if (options == nullptr || struct_size < kEncodeOptionsSize1) return XQOB_ERROR_INVALID_ARGUMENT;
    std::memset(options, 0, struct_size);
    options->struct_size = struct_size;
    options->quality = 75;
    options->chroma_quality = -1;
    return XQOB_OK;
}

void xqob_free(void* pointer) {
    std::free(pointer);
}

}  // extern "C"
