// Chroma intra prediction of the Cr and Cb blocks at one position; presence by position only.
#pragma once

#include <cstdint>

#include "xqob/base/decoder_context.h"

namespace xqob {

void predictIntraChroma(DecoderContext* context, int32_t x, int32_t y, int32_t mode);

// [9, 10, 9] / 28 smoothing of the references: t (16), l (8), c into ts, ls, cs.
void smoothChromaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                            int32_t* ts, int32_t* ls, int32_t* cs);

}  // namespace xqob
