// Everything one encode works with: the decoder-side state that the encoder keeps exactly as
// a decoder of its stream will, the arithmetic encoder, the source planes and the tables
// and weights of the decisions.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/coder/binary_encoder.h"
#include "xqob/encoder/encode_statistics.h"
#include "xqob/encoder/forward_transform.h"
#include "xqob/encoder/quantise.h"
#include "xqob/encoder/source_planes.h"

namespace xqob {

struct EncoderState {
    // Planes, block records, models, candidate buffers and tables, set up and
    // updated as the decoder does; the writers choose their models from it.
    DecoderContext context{};
    BinaryEncoder coder;
    SourcePlanes source;
    TransformBasis basis;
    QuantiserSteps steps;
    float lambdaLuma = 0;  // squared sample error per bit
    float lambdaChroma = 0;
    float satdLambdaLuma = 0;  // SATD per bit, for the quick mode pre-selection
    float satdLambdaChroma = 0;
    float rounding = 0;  // quantiser rounding offset
    bool randomDecisions = false;
    uint64_t random = 0;
    EncodeStatistics statistics;
    // Candidates that the predictors fill while alternatives are weighed (see
    // TrialCandidates), so that the real ones keep what the decoder's will hold.
    int32_t trial8x8[10][64] = {};
    int32_t trial4x4[10][16] = {};
    int32_t trialCr[9][64] = {};
    int32_t trialCb[9][64] = {};
};

// While it lives, the candidate buffers of the context are the state's trial buffers. A
// predictor that cannot form a mode leaves its buffer alone, and reconstruction then adds to
// whatever the buffer held: so trials must never write the real buffers, whose content the
// decoder's equal only when both have run exactly the same predictions.
struct TrialCandidates {
    explicit TrialCandidates(EncoderState* state);
    ~TrialCandidates();
    TrialCandidates(const TrialCandidates&) = delete;
    TrialCandidates& operator=(const TrialCandidates&) = delete;

    DecoderContext* context;
    int32_t* lumaPred8x8[10];
    int32_t* lumaPred4x4[10];
    int32_t* crPred[9];
    int32_t* cbPred[9];
};

}  // namespace xqob
