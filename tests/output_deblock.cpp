#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "xqob/output/deblock.h"

namespace xqob {
namespace {

using Line = std::array<int, 6>;  // p2 p1 p0 q0 q1 q2

constexpr int kGuardRows = 4;
constexpr uint8_t kGuard = 200;

// A plane with guard rows before and after it, so that a filter reaching past the outer
// border reads defined samples (and changes them or its own border samples visibly).
struct GuardedPlane {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> storage;

    void reset(int w, int h, uint8_t fill) {
        width = w;
        height = h;
        storage.assign(size_t(w) * size_t(h + 2 * kGuardRows), kGuard);
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) at(c, r) = fill;
        }
    }
    uint8_t* data() { return storage.data() + size_t(kGuardRows) * size_t(width); }
    uint8_t& at(int x, int y) { return data()[y * width + x]; }
    std::vector<uint8_t> samples() const {
        return std::vector<uint8_t>(storage.begin() + kGuardRows * width,
                                    storage.end() - kGuardRows * width);
    }
};

struct DeblockPicture {
    GuardedPlane luma, cr, cb;
    std::vector<MacroblockInfo> info;
    DecoderContext context{};

    DeblockPicture(int width, int height, int chromaWidth, int chromaHeight, int qualityIndex,
                   int chromaQuantiser) {
        luma.reset(width, height, 128);
        cr.reset(chromaWidth, chromaHeight, 128);
        cb.reset(chromaWidth, chromaHeight, 128);
        info.assign(size_t(width / 16) * size_t(height / 16), MacroblockInfo{});
        for (MacroblockInfo& record : info) {
            for (int8_t& type : record.blockType) type = Intra8x8;
        }
        context.width = context.paddedWidth = width;
        context.height = context.paddedHeight = height;
        context.chromaWidth = chromaWidth;
        context.chromaHeight = chromaHeight;
        context.planeY = luma.data();
        context.planeCr = cr.data();
        context.planeCb = cb.data();
        context.macroblockInfo = info.data();
        context.qualityIndex = qualityIndex;
        context.chromaQuantiser = chromaQuantiser;
    }
    DeblockPicture(const DeblockPicture&) = delete;
    DeblockPicture& operator=(const DeblockPicture&) = delete;
};

void fillRandom(GuardedPlane& plane, std::mt19937& random, int low, int high) {
    std::uniform_int_distribution<int> sample(low, high);
    for (int r = 0; r < plane.height; ++r) {
        for (int c = 0; c < plane.width; ++c) plane.at(c, r) = uint8_t(sample(random));
    }
}

// Writes line across the edge at column (row) e, at position `along` down (across) it.
void putLine(GuardedPlane& plane, int direction, int e, int along, const Line& line) {
    for (int k = 0; k < 6; ++k) {
        uint8_t& s = direction == 0 ? plane.at(e - 3 + k, along) : plane.at(along, e - 3 + k);
        s = uint8_t(line[k]);
    }
}

Line getLine(GuardedPlane& plane, int direction, int e, int along) {
    Line line{};
    for (int k = 0; k < 6; ++k) {
        line[k] = direction == 0 ? plane.at(e - 3 + k, along) : plane.at(along, e - 3 + k);
    }
    return line;
}

struct LineCase {
    int strength;  // qualityIndex or chromaQuantiser
    Line in;
    Line out;
};

TEST(LumaEdge, LinesAcrossBothDirections) {
    const LineCase cases[] = {
        {100, {10, 12, 14, 40, 42, 44}, {10, 14, 21, 33, 40, 44}},
        // Smooth sides, large step: corrected by at most c = 13 + 2.
        {100, {0, 0, 0, 255, 255, 255}, {0, 2, 15, 240, 253, 255}},
        // p0 and q0 are clipped to 0..255.
        {100, {250, 255, 250, 250, 0, 200}, {250, 253, 255, 236, 0, 200}},
        {100, {200, 0, 5, 5, 255, 250}, {200, 0, 0, 18, 255, 250}},
        // Below strength index 22 nothing happens.
        {43, {10, 12, 14, 40, 42, 44}, {10, 12, 14, 40, 42, 44}},
        {0, {0, 0, 0, 255, 255, 255}, {0, 0, 0, 255, 255, 255}},
        // Index 22: step limit 13 on either side, outer limit 0.
        {44, {0, 0, 12, 40, 40, 40}, {0, 0, 13, 39, 40, 40}},
        {44, {0, 0, 13, 40, 40, 40}, {0, 0, 13, 40, 40, 40}},
        {45, {0, 0, 0, 27, 40, 40}, {0, 0, 0, 27, 40, 40}},
        // Index 28: outer limit 0, so c stays 1.
        {56, {20, 30, 20, 60, 50, 60}, {20, 30, 21, 59, 50, 60}},
        // Indices 29..34: outer clip 0 leaves p1 and q1, but both passing outer tests still
        // widen the delta clip to K + 2.
        {58, {20, 30, 20, 60, 50, 60}, {20, 30, 23, 57, 50, 60}},
        {61, {20, 30, 20, 60, 50, 60}, {20, 30, 23, 57, 50, 60}},
        {62, {20, 30, 20, 60, 50, 60}, {20, 30, 23, 57, 50, 60}},
        {64, {20, 30, 20, 60, 50, 60}, {20, 30, 24, 56, 50, 60}},
        {67, {20, 30, 20, 60, 50, 60}, {20, 30, 24, 56, 50, 60}},
        {69, {20, 30, 20, 60, 50, 60}, {20, 30, 24, 56, 50, 60}},
        // Index 32 has a step limit of 37, lower than index 31's 47.
        {63, {20, 60, 20, 60, 50, 60}, {20, 60, 23, 57, 50, 60}},
        {64, {20, 60, 20, 60, 50, 60}, {20, 60, 20, 60, 50, 60}},
    };
    for (const LineCase& c : cases) {
        for (int direction = 0; direction < 2; ++direction) {
            SCOPED_TRACE(testing::Message()
                         << "strength " << c.strength << " line " << c.in[0] << "," << c.in[1]
                         << "," << c.in[2] << " direction " << direction);
            DeblockPicture picture(16, 16, 8, 8, c.strength, 0);
            // Vertical: corner (0, 8), edge 2 = column 8, rows 8..15. Horizontal: corner
            // (8, 0), edge 3 = row 12, columns 8..15.
            const int e = direction == 0 ? 8 : 12;
            for (int k = 0; k < 8; ++k) putLine(picture.luma, direction, e, 8 + k, c.in);
            std::vector<uint8_t> before = picture.luma.samples();
            if (direction == 0) {
                filterLumaEdge(&picture.context, 0, 8, 2, 0);
            } else {
                filterLumaEdge(&picture.context, 8, 0, 3, 1);
            }
            for (int k = 0; k < 8; ++k) {
                EXPECT_EQ(getLine(picture.luma, direction, e, 8 + k), c.out) << "line " << k;
            }
            // Nothing outside the segment changes.
            for (int k = 0; k < 8; ++k) putLine(picture.luma, direction, e, 8 + k, c.in);
            EXPECT_EQ(picture.luma.samples(), before);
        }
    }
}

TEST(ChromaEdge, LinesInBothPlanes) {
    const LineCase cases[] = {
        {80, {50, 60, 70, 100, 110, 120}, {50, 60, 77, 93, 110, 120}},
        // Ramp from p2 and q2 alone.
        {46, {10, 10, 10, 11, 11, 11}, {10, 10, 11, 10, 11, 11}},
        {80, {10, 10, 10, 20, 20, 20}, {10, 13, 15, 15, 17, 20}},
        // Step limit 22 at index 40.
        {80, {0, 0, 0, 21, 21, 21}, {0, 5, 11, 10, 16, 21}},
        {80, {0, 0, 0, 22, 22, 22}, {0, 0, 8, 14, 22, 22}},
        // Flatness limit 4: each of the four flatness tests can send a line to the correction.
        {80, {10, 13, 10, 20, 20, 20}, {10, 13, 15, 15, 17, 20}},
        {80, {10, 14, 10, 20, 20, 20}, {10, 14, 14, 16, 20, 20}},
        {80, {10, 10, 14, 20, 20, 20}, {10, 10, 15, 19, 20, 20}},
        {80, {10, 10, 10, 16, 20, 20}, {10, 10, 11, 15, 20, 20}},
        {80, {10, 10, 10, 20, 24, 20}, {10, 10, 13, 17, 24, 20}},
        // Step limit 0 (index 18): never a ramp, correction clipped to 1.
        {36, {10, 10, 10, 20, 20, 20}, {10, 10, 11, 19, 20, 20}},
        {37, {10, 10, 10, 11, 11, 11}, {10, 10, 10, 11, 11, 11}},
        // Index 17 and below: nothing.
        {35, {10, 10, 10, 20, 20, 20}, {10, 10, 10, 20, 20, 20}},
        {0, {50, 60, 70, 100, 110, 120}, {50, 60, 70, 100, 110, 120}},
        // p0 and q0 are clipped to 0..255.
        {80, {0, 255, 250, 250, 0, 0}, {0, 255, 255, 241, 0, 0}},
        {80, {0, 0, 5, 5, 255, 0}, {0, 0, 0, 14, 255, 0}},
    };
    for (const LineCase& c : cases) {
        for (int direction = 0; direction < 2; ++direction) {
            for (int plane = 0; plane < 2; ++plane) {
                SCOPED_TRACE(testing::Message()
                             << "strength " << c.strength << " line " << c.in[0] << "," << c.in[1]
                             << "," << c.in[2] << "," << c.in[3] << " direction " << direction
                             << (plane == 0 ? " Cr" : " Cb"));
                DeblockPicture picture(16, 16, 16, 16, 0, c.strength);
                GuardedPlane& target = plane == 0 ? picture.cr : picture.cb;
                GuardedPlane& other = plane == 0 ? picture.cb : picture.cr;
                // Segment at column (row) 8, lines 8..15.
                for (int k = 0; k < 8; ++k) putLine(target, direction, 8, 8 + k, c.in);
                std::vector<uint8_t> before = target.samples();
                filterChromaEdge(&picture.context, 8, 8, direction);
                for (int k = 0; k < 8; ++k) {
                    EXPECT_EQ(getLine(target, direction, 8, 8 + k), c.out) << "line " << k;
                }
                for (int k = 0; k < 8; ++k) putLine(target, direction, 8, 8 + k, c.in);
                EXPECT_EQ(target.samples(), before);
                // A flat plane stays flat.
                EXPECT_EQ(other.samples(), std::vector<uint8_t>(16 * 16, 128));
            }
        }
    }
}

TEST(DeblockPicture, StrengthThresholdsPerPlane) {
    struct Case {
        int qualityIndex;
        int chromaQuantiser;
        bool lumaChanges;
        bool chromaChanges;
    };
    const Case cases[] = {
        {43, 35, false, false}, {0, 0, false, false}, {43, 80, false, true},
        {100, 35, true, false}, {44, 36, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "qualityIndex " << c.qualityIndex << " chromaQuantiser "
                                        << c.chromaQuantiser);
        DeblockPicture picture(48, 32, 24, 16, c.qualityIndex, c.chromaQuantiser);
        std::mt19937 random(7);
        // Gentle texture: every segment passes the step tests at any strength.
        fillRandom(picture.luma, random, 100, 111);
        fillRandom(picture.cr, random, 100, 111);
        fillRandom(picture.cb, random, 60, 71);
        for (MacroblockInfo& record : picture.info) record.blockType[1] = Intra4x4;
        const std::vector<uint8_t> luma = picture.luma.samples();
        const std::vector<uint8_t> cr = picture.cr.samples();
        const std::vector<uint8_t> cb = picture.cb.samples();
        deblockPicture(&picture.context);
        EXPECT_EQ(picture.luma.samples() != luma, c.lumaChanges);
        EXPECT_EQ(picture.cr.samples() != cr, c.chromaChanges);
        EXPECT_EQ(picture.cb.samples() != cb, c.chromaChanges);
    }
}

// Segments of one macroblock by rule rather than by order of the pass.
bool segmentEnabled(const MacroblockInfo& info, int x, int y, int direction, int edge, int half) {
    if (edge == 0) return direction == 0 ? x > 0 : y > 0;
    if (edge == 2) return true;
    const int inner = edge == 3 ? 1 : 0;
    const int quadrant = direction == 0 ? inner + 2 * half : half + 2 * inner;
    return info.blockType[quadrant] == Intra4x4;
}

enum class LumaOrder { perMacroblock, horizontalFirst, pictureWideVerticalFirst };

void referenceLumaPass(DeblockPicture& picture, LumaOrder order) {
    DecoderContext* context = &picture.context;
    const int columns = context->paddedWidth / 16;
    auto filterMacroblock = [&](int x, int y, int direction) {
        const MacroblockInfo& info = picture.info[(y / 16) * columns + x / 16];
        for (int edge = 0; edge < 4; ++edge) {
            for (int half = 0; half < 2; ++half) {
                if (!segmentEnabled(info, x, y, direction, edge, half)) continue;
                const int sx = direction == 1 ? x + 8 * half : x;
                const int sy = direction == 0 ? y + 8 * half : y;
                filterLumaEdge(context, sx, sy, edge, direction);
            }
        }
    };
    auto eachMacroblock = [&](auto body) {
        for (int y = 0; y < context->paddedHeight; y += 16) {
            for (int x = 0; x < context->paddedWidth; x += 16) body(x, y);
        }
    };
    if (order == LumaOrder::pictureWideVerticalFirst) {
        eachMacroblock([&](int x, int y) { filterMacroblock(x, y, 0); });
        eachMacroblock([&](int x, int y) { filterMacroblock(x, y, 1); });
        return;
    }
    const bool verticalFirst = order == LumaOrder::perMacroblock;
    eachMacroblock([&](int x, int y) {
        filterMacroblock(x, y, verticalFirst ? 0 : 1);
        filterMacroblock(x, y, verticalFirst ? 1 : 0);
    });
}

TEST(DeblockPicture, LumaEdgeOrderMatchesReference) {
    for (int qualityIndex : {100, 84, 72}) {
        SCOPED_TRACE(testing::Message() << "qualityIndex " << qualityIndex);
        std::vector<uint8_t> results[3];
        const LumaOrder orders[3] = {LumaOrder::perMacroblock, LumaOrder::horizontalFirst,
                                     LumaOrder::pictureWideVerticalFirst};
        std::vector<uint8_t> passResult;
        for (int run = 0; run < 4; ++run) {
            DeblockPicture picture(64, 48, 32, 24, qualityIndex, 0);
            std::mt19937 random(11);
            fillRandom(picture.luma, random, 90, 130);
            std::uniform_int_distribution<int> type(0, 3);
            const int8_t types[4] = {Intra4x4, Intra8x8, Intra8x8Weighted, Flat};
            for (MacroblockInfo& record : picture.info) {
                for (int8_t& t : record.blockType) t = types[type(random)];
            }
            if (run == 3) {
                deblockPicture(&picture.context);
                passResult = picture.luma.samples();
            } else {
                referenceLumaPass(picture, orders[run]);
                results[run] = picture.luma.samples();
            }
        }
        EXPECT_EQ(passResult, results[0]);
        // The plane is sensitive to the order, so the comparison above means something.
        EXPECT_NE(results[0], results[1]);
        EXPECT_NE(results[0], results[2]);
    }
}

TEST(DeblockPicture, ChromaEdgeOrderMatchesReference) {
    auto makePicture = [](DeblockPicture& picture) {
        std::mt19937 random(5);
        fillRandom(picture.cr, random, 100, 112);
        fillRandom(picture.cb, random, 30, 42);
    };
    std::vector<uint8_t> reference[2][2];  // [order][plane]: 0 left-then-top, 1 reversed
    for (int order = 0; order < 2; ++order) {
        DeblockPicture picture(64, 48, 32, 24, 0, 80);
        makePicture(picture);
        for (int y = 0; y < 24; y += 8) {
            for (int x = 0; x < 32; x += 8) {
                const int first = order == 0 ? 0 : 1;
                for (int direction : {first, 1 - first}) {
                    if (direction == 0 && x > 0) filterChromaEdge(&picture.context, x, y, 0);
                    if (direction == 1 && y > 0) filterChromaEdge(&picture.context, x, y, 1);
                }
            }
        }
        reference[order][0] = picture.cr.samples();
        reference[order][1] = picture.cb.samples();
    }
    DeblockPicture picture(64, 48, 32, 24, 0, 80);
    makePicture(picture);
    deblockPicture(&picture.context);
    EXPECT_EQ(picture.cr.samples(), reference[0][0]);
    EXPECT_EQ(picture.cb.samples(), reference[0][1]);
    EXPECT_NE(reference[0][0], reference[1][0]);
}

// Samples of a 16x16 single-macroblock picture that may change, for stripes of width 4 (0, 40,
// 0, 40) across the direction: the four samples around each enabled edge.
std::vector<bool> changeBand(const MacroblockInfo& info, int direction, int half) {
    std::vector<bool> band(16, false);
    for (int edge = 0; edge < 4; ++edge) {
        if (!segmentEnabled(info, 0, 0, direction, edge, half)) continue;
        for (int k = 4 * edge - 2; k <= 4 * edge + 1; ++k) band[k] = true;
    }
    return band;
}

TEST(DeblockPicture, InnerEdgesOnlyInIntra4x4QuadrantsAndNeverOnTheBorder) {
    const std::array<bool, 4> patterns[] = {
        {false, false, false, false}, {true, true, true, true},    {false, true, false, false},
        {true, false, false, true},   {false, false, true, false}, {true, true, false, false},
    };
    for (const auto& pattern : patterns) {
        for (int direction = 0; direction < 2; ++direction) {
            SCOPED_TRACE(testing::Message() << "Intra4x4 " << pattern[0] << pattern[1] << pattern[2]
                                            << pattern[3] << " direction " << direction);
            DeblockPicture picture(16, 16, 8, 8, 100, 0);
            MacroblockInfo& info = picture.info[0];
            for (int q = 0; q < 4; ++q) info.blockType[q] = pattern[q] ? Intra4x4 : Flat;
            // Stripes across the tested direction; flat along it.
            for (int r = 0; r < 16; ++r) {
                for (int c = 0; c < 16; ++c) {
                    const int across = direction == 0 ? c : r;
                    picture.luma.at(c, r) = uint8_t(40 * ((across / 4) % 2));
                }
            }
            const std::vector<uint8_t> before = picture.luma.samples();
            deblockPicture(&picture.context);
            const std::vector<uint8_t> after = picture.luma.samples();
            for (int along = 0; along < 16; ++along) {
                const int half = along / 8;
                // Vertical stripes: the horizontal pass touches rows 6..10 where the halves
                // meet; elsewhere only the vertical edges act.
                if (direction == 0 && along >= 6 && along <= 10) continue;
                const std::vector<bool> band = changeBand(info, direction, half);
                for (int across = 0; across < 16; ++across) {
                    const int index = direction == 0 ? along * 16 + across : across * 16 + along;
                    EXPECT_EQ(after[index] != before[index], band[across])
                        << "along " << along << " across " << across;
                }
            }
        }
    }
}

TEST(DeblockPicture, ChromaBorderNeverFiltered) {
    for (int direction = 0; direction < 2; ++direction) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        DeblockPicture picture(32, 32, 16, 16, 0, 80);
        for (GuardedPlane* plane : {&picture.cr, &picture.cb}) {
            for (int r = 0; r < 16; ++r) {
                for (int c = 0; c < 16; ++c) {
                    plane->at(c, r) = uint8_t(40 * ((direction == 0 ? c : r) / 8));
                }
            }
        }
        const std::vector<uint8_t> before = picture.cr.samples();
        deblockPicture(&picture.context);
        for (GuardedPlane* plane : {&picture.cr, &picture.cb}) {
            const std::vector<uint8_t> after = plane->samples();
            for (int r = 0; r < 16; ++r) {
                for (int c = 0; c < 16; ++c) {
                    const int across = direction == 0 ? c : r;
                    EXPECT_EQ(after[r * 16 + c] != before[r * 16 + c], across == 7 || across == 8)
                        << "row " << r << " column " << c;
                }
            }
        }
    }
}

// The flatness limits follow a rule; a mistyped row breaks it.
TEST(DeblockTables, ChromaFlatnessLimitFollowsItsRule) {
    for (int i = 18; i <= 40; ++i) {
        const int expected = i <= 27 ? 1 : i <= 33 ? 2 : i <= 37 ? 3 : 4;
        EXPECT_EQ(chromaDeblockTable[i][1], expected) << i;
    }
}

}  // namespace
}  // namespace xqob
