#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "xqob/base/allocation_chain.h"
#include "xqob/output/colour.h"

namespace xqob {
namespace {

using Rgb = std::array<int, 3>;

// The three planes as the driver lays them out (Y, Cb, Cr, each paddedWidth * paddedHeight)
// and a context with the colour tables set up.
struct ColourPicture {
    int paddedWidth;
    int paddedHeight;
    std::vector<uint8_t> planes;
    DecoderContext context{};

    ColourPicture(int width, int height)
        : paddedWidth((width + 15) & ~15),
          paddedHeight((height + 15) & ~15),
          planes(size_t(3) * size_t(paddedWidth) * size_t(paddedHeight), 0) {
        context.width = width;
        context.height = height;
        context.paddedWidth = paddedWidth;
        context.paddedHeight = paddedHeight;
        setUpColourTables(&context);
    }
    ~ColourPicture() { freeChain(&context); }
    ColourPicture(const ColourPicture&) = delete;
    ColourPicture& operator=(const ColourPicture&) = delete;

    uint8_t* luma() { return planes.data(); }
    uint8_t* cb() { return planes.data() + size_t(paddedWidth) * size_t(paddedHeight); }
    uint8_t* cr() { return planes.data() + 2 * size_t(paddedWidth) * size_t(paddedHeight); }

    // The chroma planes at full resolution, or the first quarter of each at half.
    void layOut(int fullChroma) {
        context.fullChroma = fullChroma;
        context.chromaWidth = fullChroma ? paddedWidth : paddedWidth / 2;
        context.chromaHeight = fullChroma ? paddedHeight : paddedHeight / 2;
        context.planeY = luma();
        context.planeCb = cb();
        context.planeCr = cr();
    }
    std::vector<uint8_t> convert(int fullChroma) {
        layOut(fullChroma);
        std::vector<uint8_t> out(size_t(context.width) * size_t(context.height) * 3);
        convertPicture(&context, out.data());
        return out;
    }
    std::vector<uint8_t> convertFull() { return convert(1); }
    std::vector<uint8_t> convertHalf() { return convert(0); }
};

Rgb convertOne(int y, int cb, int cr) {
    ColourPicture picture(1, 1);
    picture.luma()[0] = uint8_t(y);
    picture.cb()[0] = uint8_t(cb);
    picture.cr()[0] = uint8_t(cr);
    const std::vector<uint8_t> out = picture.convertFull();
    return {out[0], out[1], out[2]};
}

TEST(ColourConversion, PixelTriples) {
    struct Case {
        int y, cb, cr;
        Rgb rgb;
    };
    const Case cases[] = {
        {128, 128, 128, {128, 128, 128}},
        {0, 128, 255, {178, 0, 0}},  // G's sum is -91
        {255, 255, 128, {255, 211, 255}},
        // G rounds towards minus infinity: -90.2 becomes -91, -37.8 becomes -38.
        {100, 128, 255, {255, 9, 100}},
        {60, 90, 200, {161, 22, 0}},
        {100, 255, 0, {0, 148, 255}},
        {0, 0, 0, {0, 135, 0}},
        {255, 0, 255, {255, 208, 28}},
        {200, 30, 77, {128, 255, 26}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "y " << c.y << " cb " << c.cb << " cr " << c.cr);
        EXPECT_EQ(convertOne(c.y, c.cb, c.cr), c.rgb);
        // Uniform half-resolution chroma upsamples to itself, so both paths agree.
        ColourPicture picture(3, 3);
        std::fill(picture.luma(), picture.cb(), uint8_t(c.y));
        std::fill(picture.cb(), picture.cr(), uint8_t(c.cb));
        std::fill(picture.cr(), picture.cr() + 256, uint8_t(c.cr));
        const std::vector<uint8_t> out = picture.convertHalf();
        for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], c.rgb[i % 3]) << i;
    }
}

TEST(ColourConversion, FullResolutionUsesOnlyCoSitedSamples) {
    for (const auto& [width, height] : {std::pair{17, 3}, std::pair{1, 1}, std::pair{5, 18}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        ColourPicture picture(width, height);
        std::mt19937 random(3);
        for (uint8_t& s : picture.planes) s = uint8_t(random());
        const std::vector<uint8_t> out = picture.convertFull();
        const size_t stride = size_t(picture.paddedWidth);
        for (int r = 0; r < height; ++r) {
            for (int x = 0; x < width; ++x) {
                const size_t at = r * stride + x;
                const Rgb expected =
                    convertOne(picture.luma()[at], picture.cb()[at], picture.cr()[at]);
                const size_t pixel = (size_t(r) * width + x) * 3;
                EXPECT_EQ((Rgb{out[pixel], out[pixel + 1], out[pixel + 2]}), expected)
                    << "row " << r << " column " << x;
            }
        }
    }
}

TEST(ChromaUpsampling, TriangularFilterWithEdgeRules) {
    struct Case {
        int width, height;
        std::vector<std::vector<int>> chroma;     // rows of the half-resolution plane
        std::vector<std::vector<int>> upsampled;  // rows 0..h2-1, columns 0..2m-1
    };
    const Case cases[] = {
        // Two identical chroma rows holding 0 and 255 in their first two columns.
        {4, 2, {{0, 255, 0, 0}, {0, 255, 0, 0}}, {{0, 64, 191, 255}, {0, 64, 191, 255}}},
        // One pixel wide still blends two chroma columns; one row high uses chroma row 0 only.
        {1, 1, {{40, 200, 9}, {250, 250, 250}}, {{40, 80, 160, 200}, {40, 80, 160, 200}}},
        {2,
         5,
         {{10, 20, 0}, {30, 40, 0}, {200, 100, 0}},
         {{10, 12, 18, 20},
          {15, 17, 23, 25},
          {25, 27, 33, 35},
          {73, 68, 59, 55},
          {158, 139, 103, 85},
          {200, 175, 125, 100}}},
        // Five wide and high: column 4 and row 4 use the interior rules (a[1] as the
        // neighbour, chroma row 1 as the second row); column 5 and row 5 the edge rules.
        {5,
         5,
         {{0, 0, 64, 7}, {16, 32, 48, 7}, {255, 128, 1, 7}},
         {{0, 0, 0, 16, 48, 64},
          {4, 5, 7, 21, 47, 60},
          {12, 15, 21, 31, 45, 52},
          {76, 71, 61, 51, 41, 36},
          {195, 172, 127, 81, 36, 13},
          {255, 223, 160, 96, 33, 1}}},
        {5,
         1,
         {{3, 90, 180, 77}, {255, 255, 255, 255}},
         {{3, 25, 68, 112, 158, 180}, {3, 25, 68, 112, 158, 180}}},
    };
    constexpr int paddedWidth = 16;
    constexpr uint8_t kUnused = 0xEE;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        std::vector<uint8_t> chroma(8 * 8, kUnused);
        for (size_t r = 0; r < c.chroma.size(); ++r) {
            for (size_t j = 0; j < c.chroma[r].size(); ++j) {
                chroma[r * 8 + j] = uint8_t(c.chroma[r][j]);
            }
        }
        std::vector<uint8_t> upsampled(paddedWidth * 16, kUnused);
        upsampleChroma(chroma.data(), upsampled.data(), paddedWidth, c.width, c.height);
        for (int r = 0; r < 16; ++r) {
            for (int x = 0; x < paddedWidth; ++x) {
                const bool written =
                    size_t(r) < c.upsampled.size() && size_t(x) < c.upsampled[0].size();
                const int expected = written ? c.upsampled[r][x] : kUnused;
                EXPECT_EQ(upsampled[r * paddedWidth + x], expected) << "row " << r << " col " << x;
            }
        }
    }
}

TEST(ColourConversion, HalfResolutionConvertsUpsampledPlanes) {
    for (const auto& [width, height] : {std::pair{5, 5}, std::pair{1, 2}, std::pair{33, 17}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        ColourPicture half(width, height);
        std::mt19937 random(9);
        for (uint8_t& s : half.planes) s = uint8_t(random());
        // The same picture with its chroma planes upsampled, converted at full resolution.
        ColourPicture full(width, height);
        std::copy(half.luma(), half.cb(), full.luma());
        upsampleChroma(half.cb(), full.cb(), half.paddedWidth, width, height);
        upsampleChroma(half.cr(), full.cr(), half.paddedWidth, width, height);
        const int64_t allocationsBefore = half.context.allocationCount;
        EXPECT_EQ(half.convertHalf(), full.convertFull());
        EXPECT_EQ(half.context.allocationCount, allocationsBefore + 1);
    }
}

TEST(ColourConversion, EmptyPictureReadsAndWritesNothing) {
    for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        ColourPicture picture(1, 1);
        std::vector<uint8_t> out(16, 0x5A);
        // No plane at all: any read would fault.
        picture.context.width = width;
        picture.context.height = height;
        for (int fullChroma : {0, 1}) {
            picture.layOut(fullChroma);
            picture.context.planeY = picture.context.planeCb = picture.context.planeCr = nullptr;
            convertPicture(&picture.context, out.data());
        }
        EXPECT_EQ(out, std::vector<uint8_t>(16, 0x5A));
    }
}

TEST(ColourConversion, FailedUpsamplingAllocationWritesNothing) {
    ColourPicture picture(5, 5);
    picture.context.failAllocationAt = picture.context.allocationCount + 1;
    std::vector<uint8_t> out(5 * 5 * 3, 0x5A);
    picture.layOut(0);
    EXPECT_THROW(convertPicture(&picture.context, out.data()), DecodeError);
    EXPECT_EQ(out, std::vector<uint8_t>(5 * 5 * 3, 0x5A));
}

}  // namespace
}  // namespace xqob
