// Input through the caller's read callback: each byte is asked for once, in order, so that
// pipes and sockets work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <xqob/xqob.h>

namespace xqob {

// Appends up to count bytes to buffer, fewer only at the end of the input. Returns
// XQOB_ERROR_READ_FAILED when the callback reports an error or more bytes than asked for,
// XQOB_ERROR_OUT_OF_MEMORY when the buffer cannot grow.
xqob_status readSome(xqob_read_callback read, void* opaque, size_t count,
                     std::vector<uint8_t>* buffer);

// Just the header: 14 bytes, or 24 when the flags byte announces the optional block.
xqob_status readHeaderBytes(xqob_read_callback read, void* opaque, std::vector<uint8_t>* buffer);

// Everything up to the end of the input.
xqob_status readToEnd(xqob_read_callback read, void* opaque, std::vector<uint8_t>* buffer);

// The input of a decode that streams: the bytes already read (the header) once more, then
// the rest of the input straight from the callback into the decoder's own buffer.
struct StreamedInput {
    xqob_read_callback read = nullptr;
    void* opaque = nullptr;
    std::vector<uint8_t> head;  // read before the decode started
    size_t headOffset = 0;      // next byte of head to hand out
    bool ended = false;         // the callback reported the end of the input
    // XQOB_ERROR_READ_FAILED once the callback failed; the callback is not called again and
    // the input reads as ended, so the decode stops on its own.
    xqob_status status = XQOB_OK;
};

// A ByteReader over a StreamedInput.
size_t readStreamedInput(void* opaque, uint8_t* destination, size_t count);

// Reads and drops what the decode left of the input, so that it is read to its end (and a
// failure there is seen) as when the whole input is read first. Returns input->status.
xqob_status finishStreamedInput(StreamedInput* input);

}  // namespace xqob
