#include "xqob/encoder/random_decisions.h"

#include <cstring>

#include "xqob/encoder/block_commit.h"
#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/residual.h"

namespace xqob {

namespace {

// splitmix64: the same sequence on every platform.
uint64_t nextRandom(EncoderState* state) {
    uint64_t z = (state->random += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool chance(EncoderState* state, uint32_t percent) {
    return drawBelow(state, 100) < percent;
}

// Mostly 1, sometimes a few, rarely large, and now and then the cap itself.
int32_t randomMagnitude(EncoderState* state, int32_t cap) {
    const uint32_t kind = drawBelow(state, 1000);
    if (kind < 600) return 1;
    if (kind < 850) return 2 + int32_t(drawBelow(state, 3));
    if (kind < 985) return 5 + int32_t(drawBelow(state, 60));
    if (kind < 993) return 1 + int32_t(drawBelow(state, uint32_t(cap)));
    return cap - int32_t(drawBelow(state, 2));
}

// Levels of a block of size coefficients, raster order: none (not coded) about half the
// time, else a sparse or dense scatter.
void randomLevels(EncoderState* state, int32_t size, int32_t cap, int32_t* levels) {
    std::memset(levels, 0, size_t(size) * sizeof(int32_t));
    if (chance(state, 50)) return;
    const uint32_t density = chance(state, 30) ? 70 : 8;
    bool any = false;
    for (int32_t k = 0; k < size; ++k) {
        if (!chance(state, density)) continue;
        const int32_t level = randomMagnitude(state, cap);
        levels[k] = chance(state, 50) ? -level : level;
        any = true;
    }
    if (!any) levels[drawBelow(state, uint32_t(size))] = chance(state, 50) ? -1 : 1;
}

// Any of the nine modes, formable or not, with the predicted one drawn more often so that
// both values of the predicted-mode bin occur.
int32_t randomMode(EncoderState* state, int32_t predicted) {
    return chance(state, 30) ? predicted : int32_t(drawBelow(state, 9));
}

}  // namespace

uint32_t drawBelow(EncoderState* state, uint32_t bound) {
    return uint32_t(nextRandom(state) % bound);
}

void randomLumaQuadrant(EncoderState* state, MacroblockInfo* info, int32_t q, int32_t qx,
                        int32_t qy) {
    DecoderContext* context = &state->context;
    int32_t levels[64];
    if (isFlatQuadrant(context, qx, qy)) {
        // Every selector, also one whose candidate the flat prediction leaves unwritten.
        const int32_t selector = int32_t(drawBelow(state, 3));
        randomLevels(state, 64, kLevelCap8x8, levels);
        commitFlatQuadrant(state, info, q, qx, qy, selector, levels);
        return;
    }
    const uint32_t kind = drawBelow(state, 100);
    if (kind < 30) {
        commitIntra4x4Type(state, info, q, qx, qy);
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t bx = qx + 4 * (i & 1);
            const int32_t by = qy + 4 * (i >> 1);
            const int32_t mode = randomMode(state, predictLumaMode(context, bx, by));
            randomLevels(state, 16, kLevelCap4x4, levels);
            commitIntra4x4Block(state, info, bx, by, mode, levels);
        }
        return;
    }
    const int32_t type = kind < 55 ? Intra8x8 : Intra8x8Weighted;
    const int32_t mode = randomMode(state, predictLumaMode(context, qx, qy));
    randomLevels(state, 64, kLevelCap8x8, levels);
    commitIntra8x8Quadrant(state, info, q, qx, qy, type, mode, levels);
}

void randomChromaBlock(EncoderState* state, ChromaBlockInfo* info, int32_t x, int32_t y) {
    ChromaChoice choice;
    choice.flat = isFlatChromaBlock(&state->context, x, y);
    if (choice.flat) {
        choice.selectorCr = int32_t(drawBelow(state, 3));
        choice.selectorCb = int32_t(drawBelow(state, 3));
    } else {
        choice.mode = randomMode(state, predictChromaMode(&state->context, x, y));
    }
    randomLevels(state, 64, kLevelCap8x8, choice.levelsCr);
    randomLevels(state, 64, kLevelCap8x8, choice.levelsCb);
    commitChromaBlock(state, info, x, y, choice);
}

}  // namespace xqob
