#include "xqob/encoder/header_writer.h"

namespace xqob {

void appendHeader(const PictureHeader& header, const std::array<uint8_t, 10>* block,
                  std::vector<uint8_t>* out) {
    out->insert(out->end(), {'Q', 'O', 'B'});
    out->push_back(uint8_t((header.gray ? 0x80 : 0) | header.qualityIndex));
    out->push_back(uint8_t((header.fullChroma ? 0x80 : 0) | header.chromaQuantiser));
    out->push_back(block != nullptr ? 1 : 0);
    if (block != nullptr) out->insert(out->end(), block->begin(), block->end());
    out->push_back(uint8_t(header.width >> 8));
    out->push_back(uint8_t(header.width & 0xFF));
    out->push_back(uint8_t(header.height >> 8));
    out->push_back(uint8_t(header.height & 0xFF));
    out->insert(out->end(), {0, 0, 0, 0});
}

}  // namespace xqob
