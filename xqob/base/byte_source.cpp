#include "xqob/base/byte_source.h"

#include <cstring>

namespace xqob {

int readSourceByte(ByteSource* source) {
    int byte = -1;
    if (source->file != nullptr) {
        byte = std::fgetc(source->file);
    } else if (source->reader != nullptr) {
        uint8_t value = 0;
        if (source->reader(source->readerOpaque, &value, 1) == 1) byte = value;
    } else if (source->offset < source->size) {
        byte = source->data[source->offset++];
    }
    if (byte >= 0) ++source->consumed;
    return byte;
}

size_t readSourceBlock(ByteSource* source, uint8_t* destination, size_t count) {
    size_t delivered = 0;
    if (source->file != nullptr) {
        delivered = std::fread(destination, 1, count, source->file);
    } else if (source->reader != nullptr) {
        delivered = source->reader(source->readerOpaque, destination, count);
    } else {
        const size_t available = source->size - source->offset;
        delivered = count < available ? count : available;
        if (delivered > 0) std::memcpy(destination, source->data + source->offset, delivered);
        source->offset += delivered;
    }
    source->consumed += static_cast<int64_t>(delivered);
    return delivered;
}

}  // namespace xqob
