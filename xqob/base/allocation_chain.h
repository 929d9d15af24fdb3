// Every working block of a decode is linked into one chain, freed in one walk at the end of
// the decode or at the error exit. No stage frees anything of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

// The error exit: unwinds from any depth to the driver, which frees the chain.
struct DecodeError {};

[[noreturn]] void failDecode(DecoderContext* context);
[[noreturn]] void failDecode(DecoderContext* context, FailureReason reason, int64_t value = 0);

// A new chain block of size usable bytes, not cleared. Takes the error exit on failure.
void* chainAlloc(DecoderContext* context, uint64_t size);

// The same, cleared to zero by the system allocator (pages a picture never reaches are
// never touched).
void* chainAllocZeroed(DecoderContext* context, uint64_t size);

// count * elementSize, or the error exit when the product does not fit.
uint64_t checkedSize(DecoderContext* context, uint64_t count, uint64_t elementSize);

template <typename T>
T* chainAllocArray(DecoderContext* context, uint64_t count) {
    return static_cast<T*>(chainAlloc(context, checkedSize(context, count, sizeof(T))));
}

// Frees every block from the newest to the oldest and empties the chain.
void freeChain(DecoderContext* context);

}  // namespace xqob
