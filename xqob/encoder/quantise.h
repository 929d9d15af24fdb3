// Quantisation matched to the decoder's dequantisation: a level is the dequantised value it
// should produce divided by the dequantisation step of its position, rounded with a bias
// toward zero, and trailing lone levels are dropped where their bits cost more than the
// distortion they save.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"
#include "xqob/entropy/residual.h"

namespace xqob {

// The dequantised value of level 1 at each raster position, and its reciprocal.
struct StepTable {
    float step[64];
    float inverse[64];
};

struct QuantiserSteps {
    StepTable luma4x4;      // (factor * 2^qDiv + 1) >> 1, without the rounding
    StepTable uniform8x8;   // factor * 2^qDiv
    StepTable weighted8x8;  // the picture's weighted table; also Flat quadrants
    StepTable chroma;       // uniform at the chroma quantiser
};

// From lumaQuantiser, chromaQuantiser and weightedDequant8x8 of context.
void setUpQuantiserSteps(const DecoderContext* context, QuantiserSteps* steps);

struct ResidualPlan {
    const StepTable* steps;
    const float* weight;  // squared sample error per squared unit of dequantised error
    ResidualKind kind;    // models for the bit estimates, scan order and cap
    float lambda;         // per bit, in squared sample error
    float rounding;       // added to |value| / step before truncation, below one half
};

// Levels (raster order) for the dequantised values d. Returns whether any level is non-zero.
bool quantiseLevels(const ResidualPlan& plan, const float* d, int32_t* levels);

}  // namespace xqob
