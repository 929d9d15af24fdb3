// The prediction candidates and coefficient blocks that both plane loops and every
// prediction and reconstruction stage work in.
#pragma once

#include "xqob/base/decoder_context.h"

namespace xqob {

// Allocates, in this order, the pairs lumaPred8x8[i], lumaPred4x4[i] for i = 0..9, the pairs
// crPred[i], cbPred[i] for i = 0..8, then coeff8x8, coeff4x4, coeffCr and coeffCb. The
// candidates are cleared; the coefficient blocks are not (their users clear them per block).
void allocateWorkingBuffers(DecoderContext* context);

}  // namespace xqob
