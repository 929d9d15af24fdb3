#include "xqob/encoder/encoder_state.h"

namespace xqob {

TrialCandidates::TrialCandidates(EncoderState* state) : context(&state->context) {
    for (int32_t i = 0; i < 10; ++i) {
        lumaPred8x8[i] = context->lumaPred8x8[i];
        lumaPred4x4[i] = context->lumaPred4x4[i];
        context->lumaPred8x8[i] = state->trial8x8[i];
        context->lumaPred4x4[i] = state->trial4x4[i];
    }
    for (int32_t i = 0; i < 9; ++i) {
        crPred[i] = context->crPred[i];
        cbPred[i] = context->cbPred[i];
        context->crPred[i] = state->trialCr[i];
        context->cbPred[i] = state->trialCb[i];
    }
}

TrialCandidates::~TrialCandidates() {
    for (int32_t i = 0; i < 10; ++i) {
        context->lumaPred8x8[i] = lumaPred8x8[i];
        context->lumaPred4x4[i] = lumaPred4x4[i];
    }
    for (int32_t i = 0; i < 9; ++i) {
        context->crPred[i] = crPred[i];
        context->cbPred[i] = cbPred[i];
    }
}

}  // namespace xqob
