// Version, status texts, option defaults and error reporting of the C interface.
#include "xqob/capi/capi_common.h"

#include <cstdio>
#include <cstdlib>

namespace xqob {

xqob_status statusOf(FailureReason reason) {
    switch (reason) {
        case FailureReason::none:
            return XQOB_OK;
        case FailureReason::cannotOpen:
        case FailureReason::notAFile:
            return XQOB_ERROR_CANNOT_OPEN;
        case FailureReason::badSignature:
            return XQOB_ERROR_NOT_QOB;
        case FailureReason::qualityOutOfRange:
        case FailureReason::chromaOutOfRange:
        case FailureReason::unknownFlags:
            return XQOB_ERROR_BAD_HEADER;
        case FailureReason::headerTruncated:
        case FailureReason::payloadTooShort:
        case FailureReason::payloadExhausted:
            return XQOB_ERROR_TRUNCATED;
        case FailureReason::outOfMemory:
            return XQOB_ERROR_OUT_OF_MEMORY;
        case FailureReason::tooLarge:
            return XQOB_ERROR_TOO_LARGE;
        case FailureReason::fileChanged:
            return XQOB_ERROR_FILE_CHANGED;
        case FailureReason::stoppedByCaller:
            return XQOB_ERROR_ABORTED;
    }
    return XQOB_ERROR_OUT_OF_MEMORY;
}

xqob_status report(xqob_error* error, xqob_status status, const char* message) {
    if (error != nullptr && error->struct_size >= kErrorSize1) {
        error->status = status;
        std::snprintf(error->message, sizeof error->message, "%s", message);
    }
    return status;
}

xqob_status reportFailure(xqob_error* error, const DecodeFailure& failure) {
    return report(error, statusOf(failure.reason), describeFailure(failure).c_str());
}

xqob_status reportSuccess(xqob_error* error) {
    return report(error, XQOB_OK, "");
}

}  // namespace xqob

using namespace xqob;

extern "C" {

#define XQOB_TEXT(value) #value
#define XQOB_VERSION_TEXT(major, minor, patch) \
    XQOB_TEXT(major) "." XQOB_TEXT(minor) "." XQOB_TEXT(patch)

const char* xqob_version_string(void) {
    return XQOB_VERSION_TEXT(XQOB_VERSION_MAJOR, XQOB_VERSION_MINOR, XQOB_VERSION_PATCH);
}

uint32_t xqob_version(void) {
    return XQOB_VERSION;
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
