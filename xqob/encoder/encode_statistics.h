// What the encoder decided, for reports and for tests that must reach every syntax value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xqob {

// Residual kinds, as indices of the per-kind counts below.
enum ResidualKindIndex : int32_t { kResidual4x4 = 0, kResidualLuma8x8 = 1, kResidualChroma = 2 };

// How often each value of each syntax element was written.
struct SyntaxCoverage {
    int64_t blockType[3] = {};  // signalled Intra4x4, Intra8x8, Intra8x8Weighted
    int64_t mode8x8[9] = {};
    int64_t mode4x4[9] = {};
    int64_t chromaMode[9] = {};
    int64_t modePredicted[3][2] = {};  // 8x8, 4x4, chroma: first mode bin 0 or 1
    int64_t flatOffset[3] = {};
    int64_t flatOffsetCr[3] = {};
    int64_t flatOffsetCb[3] = {};
    int64_t codedQuadrant[2] = {};
    int64_t coded4x4[2] = {};
    int64_t codedCr[2] = {};
    int64_t codedCb[2][2] = {};  // by the block's Cr flag, then the Cb flag
    // Per residual kind:
    int64_t sign[3][2] = {};
    int64_t magnitude[3][3] = {};  // 1; 2 up to below the cap; the cap itself
    int64_t mapEnd[3][2] = {};     // map ended by a last bin; ran to the final position
    // Luma 8x8 significance models: mapped (lumaQuantiser up to 40) or one per position.
    int64_t lumaSignificanceKind[2] = {};
};

struct EncodeStatistics {
    int64_t quadrants[4] = {};     // Intra4x4, Intra8x8, Intra8x8Weighted, Flat (inferred)
    int64_t chromaBlocks[2] = {};  // Intra8x8, Flat (inferred); one per position for Cr and Cb
    int64_t headerBytes = 0;
    int64_t payloadBytes = 0;
    int64_t lumaBits = 0;  // payload bits of the luma syntax
    int64_t chromaBits = 0;
    SyntaxCoverage syntax;
};

// Adds the counts of more into total.
void addCoverage(SyntaxCoverage* total, const SyntaxCoverage& more);

// Every count with a name such as "mode4x4=7" or "magnitude[chroma]=cap", in a fixed order.
std::vector<std::pair<std::string, int64_t>> coverageEntries(const SyntaxCoverage& coverage);

}  // namespace xqob
