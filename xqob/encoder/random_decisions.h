// The test mode: every decision drawn from a seeded generator instead of weighed against the
// picture. The blocks are still written through the commits, closed-loop, so the stream
// decodes to the encoder's reconstruction whatever was drawn; the draws favour the choices
// that make neighbours inferred Flat, and now and then reach the level caps.
#pragma once

#include <cstdint>

#include "xqob/encoder/encoder_state.h"

namespace xqob {

// A draw of 0..bound-1 (bound > 0) from the state's generator.
uint32_t drawBelow(EncoderState* state, uint32_t bound);

void randomLumaQuadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy);
void randomChromaBlock(EncoderState* state, ChromaBlockInfo* info, int32_t x, int32_t y);

}  // namespace xqob
