#include "xqob/encoder/encode_statistics.h"

namespace xqob {

namespace {

// Visits every counter of both records in the same order, with its name.
template <typename Coverage, typename Visit>
void forEachCount(Coverage& c, Visit visit) {
    const char* kinds[3] = {"4x4", "luma8x8", "chroma"};
    const char* types[3] = {"Intra4x4", "Intra8x8", "Intra8x8Weighted"};
    const char* modeKinds[3] = {"8x8", "4x4", "chroma"};
    const char* magnitudes[3] = {"1", "2..cap-1", "cap"};
    const char* ends[2] = {"last bin", "final position"};
    for (int32_t i = 0; i < 3; ++i) visit("blockType=" + std::string(types[i]), c.blockType[i]);
    for (int32_t m = 0; m < 9; ++m) {
        visit("mode8x8=" + std::to_string(m), c.mode8x8[m]);
        visit("mode4x4=" + std::to_string(m), c.mode4x4[m]);
        visit("chromaMode=" + std::to_string(m), c.chromaMode[m]);
    }
    for (int32_t i = 0; i < 3; ++i) {
        for (int32_t b = 0; b < 2; ++b) {
            visit("modePredicted[" + std::string(modeKinds[i]) + "]=" + std::to_string(b),
                  c.modePredicted[i][b]);
        }
    }
    for (int32_t s = 0; s < 3; ++s) {
        visit("flatOffset=" + std::to_string(s), c.flatOffset[s]);
        visit("flatOffsetCr=" + std::to_string(s), c.flatOffsetCr[s]);
        visit("flatOffsetCb=" + std::to_string(s), c.flatOffsetCb[s]);
    }
    for (int32_t b = 0; b < 2; ++b) {
        visit("codedQuadrant=" + std::to_string(b), c.codedQuadrant[b]);
        visit("coded4x4=" + std::to_string(b), c.coded4x4[b]);
        visit("codedCr=" + std::to_string(b), c.codedCr[b]);
        for (int32_t cb = 0; cb < 2; ++cb) {
            visit("codedCb[codedCr=" + std::to_string(b) + "]=" + std::to_string(cb),
                  c.codedCb[b][cb]);
        }
    }
    for (int32_t k = 0; k < 3; ++k) {
        const std::string kind = "[" + std::string(kinds[k]) + "]";
        for (int32_t b = 0; b < 2; ++b) {
            visit("sign" + kind + "=" + std::to_string(b), c.sign[k][b]);
            visit("mapEnd" + kind + "=" + ends[b], c.mapEnd[k][b]);
        }
        for (int32_t m = 0; m < 3; ++m) {
            visit("magnitude" + kind + "=" + magnitudes[m], c.magnitude[k][m]);
        }
    }
    visit("lumaSignificance=mapped", c.lumaSignificanceKind[0]);
    visit("lumaSignificance=per position", c.lumaSignificanceKind[1]);
}

}  // namespace

void addCoverage(SyntaxCoverage* total, const SyntaxCoverage& more) {
    std::vector<int64_t> counts;
    forEachCount(more, [&](const std::string&, int64_t count) { counts.push_back(count); });
    size_t i = 0;
    forEachCount(*total, [&](const std::string&, int64_t& count) { count += counts[i++]; });
}

std::vector<std::pair<std::string, int64_t>> coverageEntries(const SyntaxCoverage& coverage) {
    std::vector<std::pair<std::string, int64_t>> entries;
    forEachCount(coverage, [&](const std::string& name, int64_t count) {
        entries.emplace_back(name, count);
    });
    return entries;
}

}  // namespace xqob
