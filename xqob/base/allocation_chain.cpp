#include "xqob/base/allocation_chain.h"

#include <cstdlib>

namespace xqob {

// The header keeps the usable area at the allocator's 8-byte alignment on every platform.
struct ChainBlock {
    union {
        ChainBlock* previous;
        uint64_t padding;
    };
};
static_assert(sizeof(ChainBlock) == 8);

void failDecode(DecoderContext* context) {
    if (context->failure.reason == FailureReason::none) {
        context->failure.reason = FailureReason::outOfMemory;
    }
    throw DecodeError{};
}

void failDecode(DecoderContext* context, FailureReason reason, int64_t value) {
    context->failure.reason = reason;
    context->failure.value = value;
    throw DecodeError{};
}

uint64_t checkedSize(DecoderContext* context, uint64_t count, uint64_t elementSize) {
    if (elementSize != 0 && count > UINT64_MAX / elementSize) {
        failDecode(context, FailureReason::outOfMemory, INT64_MAX);
    }
    return count * elementSize;
}

namespace {

void* allocateBlock(DecoderContext* context, uint64_t size, bool zeroed) {
    const uint64_t rounded = (size + 7) & ~uint64_t{7};
    ++context->allocationCount;
    const bool injected =
        context->failAllocationAt != 0 && context->allocationCount == context->failAllocationAt;
    // A request that does not fit the address space is refused like any other.
    if (injected || size > UINT64_MAX - 16 || rounded + sizeof(ChainBlock) > SIZE_MAX) {
        failDecode(context, FailureReason::outOfMemory, static_cast<int64_t>(size & INT64_MAX));
    }
    const size_t total = static_cast<size_t>(rounded + sizeof(ChainBlock));
    void* memory = zeroed ? std::calloc(1, total) : std::malloc(total);
    if (memory == nullptr) {
        failDecode(context, FailureReason::outOfMemory, static_cast<int64_t>(size & INT64_MAX));
    }
    ChainBlock* block = static_cast<ChainBlock*>(memory);
    block->previous = context->chainHead;
    context->chainHead = block;
    return block + 1;
}

}  // namespace

void* chainAlloc(DecoderContext* context, uint64_t size) {
    return allocateBlock(context, size, false);
}

void* chainAllocZeroed(DecoderContext* context, uint64_t size) {
    return allocateBlock(context, size, true);
}

void freeChain(DecoderContext* context) {
    ChainBlock* block = context->chainHead;
    context->chainHead = nullptr;
    while (block != nullptr) {
        ChainBlock* previous = block->previous;
        std::free(block);
        block = previous;
    }
}

}  // namespace xqob
