#include "xqob/recon/working_buffers.h"

#include "xqob/base/allocation_chain.h"

namespace xqob {

namespace {

// The candidates are cleared when allocated: a stream whose first use of a candidate comes
// from a prediction that could not form it then decodes the same on every run.
int32_t* allocateCandidate(DecoderContext* context, int32_t samples) {
    return static_cast<int32_t*>(chainAllocZeroed(context, uint64_t(samples) * 4));
}

}  // namespace

void allocateWorkingBuffers(DecoderContext* context) {
    for (int32_t i = 0; i < 10; ++i) {
        context->lumaPred8x8[i] = allocateCandidate(context, 64);
        context->lumaPred4x4[i] = allocateCandidate(context, 16);
    }
    for (int32_t i = 0; i < 9; ++i) {
        context->crPred[i] = allocateCandidate(context, 64);
        context->cbPred[i] = allocateCandidate(context, 64);
    }
    context->coeff8x8 = chainAllocArray<int32_t>(context, 64);
    context->coeff4x4 = chainAllocArray<int32_t>(context, 16);
    context->coeffCr = chainAllocArray<int32_t>(context, 64);
    context->coeffCb = chainAllocArray<int32_t>(context, 64);
}

}  // namespace xqob
