#include "xqob/capi/read_callback.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace xqob {

namespace {

constexpr size_t kChunk = size_t{1} << 16;
constexpr size_t kFlagsOffset = 5;
constexpr size_t kShortHeader = 14;
constexpr size_t kLongHeader = 24;

// Calls read until count bytes arrived at destination or the input ended; delivered gets
// how many did, ended whether the callback reported the end.
xqob_status readInto(xqob_read_callback read, void* opaque, uint8_t* destination, size_t count,
                     size_t* delivered, bool* ended = nullptr) {
    *delivered = 0;
    while (*delivered < count) {
        const size_t wanted = count - *delivered;
        const size_t got = read(opaque, destination + *delivered, wanted);
        if (got == SIZE_MAX || got > wanted) return XQOB_ERROR_READ_FAILED;
        if (got == 0) {
            if (ended != nullptr) *ended = true;
            break;
        }
        *delivered += got;
    }
    return XQOB_OK;
}

}  // namespace

xqob_status readSome(xqob_read_callback read, void* opaque, size_t count,
                     std::vector<uint8_t>* buffer) {
    const size_t start = buffer->size();
    try {
        buffer->resize(start + count);
    } catch (const std::bad_alloc&) {
        return XQOB_ERROR_OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return XQOB_ERROR_OUT_OF_MEMORY;
    }
    size_t delivered = 0;
    const xqob_status status = readInto(read, opaque, buffer->data() + start, count, &delivered);
    buffer->resize(start + delivered);
    return status;
}

xqob_status readHeaderBytes(xqob_read_callback read, void* opaque, std::vector<uint8_t>* buffer) {
    if (xqob_status status = readSome(read, opaque, kFlagsOffset + 1, buffer)) return status;
    if (buffer->size() <= kFlagsOffset) return XQOB_OK;
    const size_t total = ((*buffer)[kFlagsOffset] & 1) ? kLongHeader : kShortHeader;
    return readSome(read, opaque, total - buffer->size(), buffer);
}

xqob_status readToEnd(xqob_read_callback read, void* opaque, std::vector<uint8_t>* buffer) {
    for (;;) {
        const size_t before = buffer->size();
        if (xqob_status status = readSome(read, opaque, kChunk, buffer)) return status;
        if (buffer->size() - before < kChunk) return XQOB_OK;
    }
}

size_t readStreamedInput(void* opaque, uint8_t* destination, size_t count) {
    StreamedInput* input = static_cast<StreamedInput*>(opaque);
    size_t delivered = 0;
    if (input->headOffset < input->head.size()) {
        const size_t left = input->head.size() - input->headOffset;
        delivered = count < left ? count : left;
        std::memcpy(destination, input->head.data() + input->headOffset, delivered);
        input->headOffset += delivered;
    }
    if (delivered == count || input->ended || input->status != XQOB_OK) return delivered;
    size_t got = 0;
    input->status = readInto(input->read, input->opaque, destination + delivered, count - delivered,
                             &got, &input->ended);
    return delivered + got;
}

xqob_status finishStreamedInput(StreamedInput* input) {
    uint8_t dropped[4096];
    while (!input->ended && input->status == XQOB_OK) {
        readStreamedInput(input, dropped, sizeof dropped);
    }
    return input->status;
}

}  // namespace xqob
