// The fixed QOB file header: magic "QOB", quality and chroma bytes, flags, an optional
// 10-byte block, big-endian width and height, and 4 reserved bytes before the payload.
#pragma once

#include <cstdint>

#include "xqob/base/byte_source.h"
#include "xqob/base/failure.h"

namespace xqob {

struct PictureHeader {
    int32_t width = 0;            // 0..65535
    int32_t height = 0;           // 0..65535
    int32_t gray = 0;             // quality byte bit 7
    int32_t fullChroma = 0;       // chroma byte bit 7
    int32_t lumaQuantiser = 0;    // qualityTable[qualityIndex], 16..97
    int32_t qualityIndex = 0;     // 0..100, 0 is the finest
    int32_t chromaQuantiser = 0;  // 0..80
};

// Maps qualityIndex to lumaQuantiser.
extern const int8_t qualityTable[101];

// Parses the header and leaves the source at the first payload byte. Returns 0 when the
// header is accepted and 1 when it is rejected; failure (optional) then says which check.
int32_t readPictureHeader(ByteSource* source, PictureHeader* header,
                          DecodeFailure* failure = nullptr);

}  // namespace xqob
