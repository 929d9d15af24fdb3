// The decoder's failure reasons as the public error codes and messages.
#pragma once

#include <xqob/xqob.hpp>
#include "xqob/base/failure.h"

namespace xqob {

ErrorCode errorCodeOf(FailureReason reason);

inline Error errorFrom(const DecodeFailure& failure) {
    return Error{errorCodeOf(failure.reason), describeFailure(failure)};
}

}  // namespace xqob
