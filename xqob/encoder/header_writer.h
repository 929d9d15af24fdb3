// The fixed file header in front of the payload.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "xqob/format/header.h"

namespace xqob {

// Appends "QOB", the quality byte (gray flag, qualityIndex), the chroma byte (full-chroma
// flag, chromaQuantiser), the flags byte, the optional 10-byte block when given, the
// big-endian width and height and 4 zero reserved bytes: 14 or 24 bytes.
void appendHeader(const PictureHeader& header, const std::array<uint8_t, 10>* block,
                  std::vector<uint8_t>* out);

}  // namespace xqob
