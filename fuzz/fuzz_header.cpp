// Parses arbitrary bytes as a header, directly and through the public interface; both must
// agree on acceptance and the geometry must stay in range.
#include <cstdint>
#include <cstdlib>

#include <xqob/xqob.hpp>

#include "xqob/format/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xqob::ByteSource source = xqob::memorySource(data, size);
    xqob::PictureHeader header;
    xqob::DecodeFailure failure;
    const bool accepted = xqob::readPictureHeader(&source, &header, &failure) == 0;
    xqob::PictureInfo info;
    const xqob::Error error = xqob::readInfo(data, size, info);
    if (accepted == bool(error)) std::abort();
    if (accepted) {
        if (source.consumed != 14 && source.consumed != 24) std::abort();
        if (header.width > 65535 || header.height > 65535 || header.qualityIndex > 100 ||
            header.chromaQuantiser > 80 || header.lumaQuantiser < 16 || header.lumaQuantiser > 97) {
            std::abort();
        }
        if (info.width != header.width || info.payloadBytes + info.headerBytes != size)
            std::abort();
    } else if (failure.reason == xqob::FailureReason::none || error.message.empty()) {
        std::abort();
    }
    return 0;
}
