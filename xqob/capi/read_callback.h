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

}  // namespace xqob
