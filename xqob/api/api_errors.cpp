#include "xqob/api/api_errors.h"

namespace xqob {

ErrorCode errorCodeOf(FailureReason reason) {
    switch (reason) {
        case FailureReason::none:
            return ErrorCode::ok;
        case FailureReason::cannotOpen:
            return ErrorCode::cannotOpen;
        case FailureReason::badSignature:
            return ErrorCode::notQob;
        case FailureReason::qualityOutOfRange:
        case FailureReason::chromaOutOfRange:
        case FailureReason::unknownFlags:
            return ErrorCode::badHeader;
        case FailureReason::headerTruncated:
        case FailureReason::payloadTooShort:
        case FailureReason::payloadExhausted:
            return ErrorCode::truncated;
        case FailureReason::outOfMemory:
            return ErrorCode::outOfMemory;
        case FailureReason::tooLarge:
            return ErrorCode::tooLarge;
        case FailureReason::fileChanged:
            return ErrorCode::fileChanged;
        case FailureReason::stoppedByCaller:
            return ErrorCode::stopped;
    }
    return ErrorCode::outOfMemory;
}

}  // namespace xqob
