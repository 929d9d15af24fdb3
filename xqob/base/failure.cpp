#include "xqob/base/failure.h"

#include <cstdio>
#include <cstring>

namespace xqob {

std::string describeFailure(const DecodeFailure& failure) {
    char text[160];
    const long long value = static_cast<long long>(failure.value);
    switch (failure.reason) {
        case FailureReason::none:
            return "no error";
        case FailureReason::cannotOpen:
            return std::string("cannot open: ") + std::strerror(static_cast<int>(failure.value));
        case FailureReason::notAFile:
            if (failure.value == int64_t(NotAFile::directory))
                return "cannot open: is a directory, not a file";
            if (failure.value == int64_t(NotAFile::blockDevice))
                return "cannot open: is a block device, not a file";
            return "cannot open: is neither a regular file nor a readable stream";
        case FailureReason::badSignature:
            return "not a QOB file (signature is not \"QOB\")";
        case FailureReason::qualityOutOfRange:
            std::snprintf(text, sizeof text, "quality index %lld out of range 0..100", value);
            return text;
        case FailureReason::chromaOutOfRange:
            std::snprintf(text, sizeof text, "chroma quantiser %lld out of range 0..80", value);
            return text;
        case FailureReason::unknownFlags:
            std::snprintf(text, sizeof text, "unknown header flags 0x%02llx", value);
            return text;
        case FailureReason::headerTruncated:
            std::snprintf(text, sizeof text, "header ends after %lld byte%s", value,
                          value == 1 ? "" : "s");
            return text;
        case FailureReason::payloadTooShort:
        case FailureReason::payloadExhausted:
            std::snprintf(text, sizeof text, "payload ends after %lld byte%s", value,
                          value == 1 ? "" : "s");
            return text;
        case FailureReason::outOfMemory:
            std::snprintf(text, sizeof text, "out of memory (a request of %lld bytes failed)",
                          value);
            return text;
        case FailureReason::tooLarge:
            std::snprintf(
                text, sizeof text, "picture of %lld x %lld exceeds the limit of %lld pixels", value,
                static_cast<long long>(failure.value2), static_cast<long long>(failure.limit));
            return text;
        case FailureReason::fileChanged:
            return "file changed while it was being read";
        case FailureReason::stoppedByCaller:
            std::snprintf(text, sizeof text, "stopped by the caller at row %lld", value);
            return text;
    }
    return "unknown error";
}

}  // namespace xqob
