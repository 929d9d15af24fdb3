// Which intra modes can be formed at a block, and the quick pre-selection of the few modes
// that get a full rate-distortion trial.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

struct Presence {
    bool top;
    bool left;
};

// Neighbour presence of a luma block at (x, y), as the luma predictors decide it.
Presence lumaPresence(const DecoderContext* context, int32_t x, int32_t y);

// Whether the predictors form mode with these neighbours. A mode that they cannot form
// leaves its candidate buffer as it was, so the decisions never pick one.
bool modeFormable(int32_t mode, Presence presence);

// The up to count formable modes of lowest score, lowest first, into modes; returns how many.
int32_t bestModes(const float* score, Presence presence, int32_t count, int32_t* modes);

}  // namespace xqob
