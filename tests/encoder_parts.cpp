// The encoder's parts against the decoder's: header bytes, colour conversion, chroma
// siting and padding, forward transforms and quantisation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "xqob/base/allocation_chain.h"
#include "xqob/dsp/transform.h"
#include "xqob/encoder/encode_picture.h"
#include "xqob/encoder/forward_transform.h"
#include "xqob/encoder/quantise.h"
#include "xqob/encoder/source_planes.h"
#include "xqob/entropy/context_models.h"
#include "xqob/format/header.h"
#include "xqob/output/colour.h"

namespace xqob::test {
namespace {

struct HeaderCase {
    int32_t quality;
    std::optional<int32_t> chromaQuality;
    bool gray;
    bool fullChroma;
    bool block;
    int32_t width;
    int32_t height;
    int32_t qualityIndex;
    int32_t chromaQuantiser;
};

TEST(EncoderParts, HeaderCarriesTheOptions) {
    const HeaderCase cases[] = {
        {75, 60, false, false, false, 320, 240, 25, 20},
        {100, 80, true, false, true, 1, 65535, 0, 0},
        {0, 0, false, true, false, 256, 1, 100, 80},
        {75, std::nullopt, false, false, false, 5, 5, 25, 28},  // chroma follows quality
        {50, std::nullopt, false, false, false, 5, 5, 50, 48},
    };
    for (const HeaderCase& c : cases) {
        std::vector<uint8_t> pixels(size_t(c.width) * size_t(c.height) * 3, 100);
        EncoderOptions options;
        options.quality = c.quality;
        options.chromaQuality = c.chromaQuality;
        options.gray = c.gray;
        options.fullChroma = c.fullChroma;
        if (c.block) options.headerBlock = std::array<uint8_t, 10>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        EncodedPicture output;
        ASSERT_TRUE(
            encodePicture(SourceImage{pixels.data(), c.width, c.height, 3}, options, &output));
        const std::vector<uint8_t>& file = output.file;
        ASSERT_GE(file.size(), c.block ? 26u : 16u);
        EXPECT_EQ(file[5], c.block ? 1 : 0);
        if (c.block) {
            EXPECT_EQ(std::vector<uint8_t>(file.begin() + 6, file.begin() + 16),
                      std::vector<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        }
        EXPECT_EQ(output.statistics.headerBytes, c.block ? 24 : 14);
        ByteSource source = memorySource(file.data(), file.size());
        PictureHeader header;
        ASSERT_EQ(readPictureHeader(&source, &header), 0);
        EXPECT_EQ(header.width, c.width);
        EXPECT_EQ(header.height, c.height);
        EXPECT_EQ(header.gray, c.gray ? 1 : 0);
        EXPECT_EQ(header.fullChroma, c.fullChroma ? 1 : 0);
        EXPECT_EQ(header.qualityIndex, c.qualityIndex);
        EXPECT_EQ(header.chromaQuantiser, c.chromaQuantiser);
        EXPECT_EQ(source.consumed, output.statistics.headerBytes);
    }
}

TEST(EncoderParts, RefusesBadArguments) {
    const uint8_t pixel[3] = {1, 2, 3};
    struct Case {
        SourceImage image;
        int32_t quality;
        int32_t chromaQuality;
        const char* message;
    } cases[] = {
        {{pixel, 1, 1, 3}, 101, 40, "quality 101 out of range 0..100"},
        {{pixel, 1, 1, 3}, -1, 40, "quality -1 out of range 0..100"},
        {{pixel, 1, 1, 3}, 50, 81, "chroma quality 81 out of range 0..80"},
        {{pixel, 65536, 1, 3}, 50, 40, "width 65536 out of range 0..65535"},
        {{pixel, 1, -2, 3}, 50, 40, "height -2 out of range 0..65535"},
        {{pixel, 1, 1, 2}, 50, 40, "a picture has 1 or 3 channels, not 2"},
        {{nullptr, 1, 1, 1}, 50, 40, "no pixels given"},
    };
    for (const Case& c : cases) {
        EncoderOptions options;
        options.quality = c.quality;
        options.chromaQuality = c.chromaQuality;
        EncodedPicture output;
        std::string error;
        EXPECT_FALSE(encodePicture(c.image, options, &output, false, &error));
        EXPECT_EQ(error, c.message);
    }
}

// The decoder's colour output turns the encoder's conversion back into the same colour, up
// to the rounding of both.
TEST(EncoderParts, ColourConversionIsWhatTheOutputInverts) {
    DecoderContext context{};
    setUpColourTables(&context);
    int32_t worst = 0;
    for (int32_t r = 0; r < 256; r += 15) {
        for (int32_t g = 0; g < 256; g += 15) {
            for (int32_t b = 0; b < 256; b += 15) {
                uint8_t y, cb, cr;
                rgbToYCbCr(r, g, b, &y, &cb, &cr);
                uint8_t rgb[3];
                convertRow(&context, &y, &cb, &cr, rgb, 1);
                worst = std::max(
                    {worst, std::abs(rgb[0] - r), std::abs(rgb[1] - g), std::abs(rgb[2] - b)});
            }
        }
    }
    freeChain(&context);
    EXPECT_LE(worst, 2);
    for (const int32_t v : {0, 77, 255}) {
        uint8_t y, cb, cr;
        rgbToYCbCr(v, v, v, &y, &cb, &cr);
        EXPECT_EQ(y, v);
        EXPECT_EQ(cb, 128);
        EXPECT_EQ(cr, 128);
    }
}

// Luma and chroma are padded by repeating the last column and row, and flat colour stays
// exact at half resolution.
TEST(EncoderParts, SourcePlanesArePadded) {
    // 3 x 2 pixels: pure blue on the left column, gray elsewhere.
    const std::vector<uint8_t> pixels = {0, 0, 255, 100, 100, 100, 100, 100, 100,
                                         0, 0, 255, 100, 100, 100, 100, 100, 100};
    uint8_t blueY, blueCb, blueCr;
    rgbToYCbCr(0, 0, 255, &blueY, &blueCb, &blueCr);
    SourcePlanes full;
    prepareSourcePlanes(SourceImage{pixels.data(), 3, 2, 3}, false, true, 16, 16, &full);
    EXPECT_EQ(full.chromaStride, 16);
    EXPECT_EQ(full.y[0], blueY);
    EXPECT_EQ(full.y[15 * 16 + 15], 100);   // bottom-right padding repeats pixel (2, 1)
    EXPECT_EQ(full.y[15 * 16 + 0], blueY);  // bottom-left padding repeats pixel (0, 1)
    EXPECT_EQ(full.cb[5 * 16 + 0], blueCb);
    EXPECT_EQ(full.cr[5 * 16 + 9], 128);
    SourcePlanes gray;
    prepareSourcePlanes(SourceImage{pixels.data(), 3, 2, 3}, true, false, 16, 16, &gray);
    EXPECT_TRUE(gray.cb.empty());
    EXPECT_EQ(gray.y[0], blueY);
    const std::vector<uint8_t> flat(size_t(20 * 20 * 3), 0);
    SourcePlanes half;
    prepareSourcePlanes(SourceImage{flat.data(), 20, 20, 3}, false, false, 32, 32, &half);
    ASSERT_EQ(half.chromaStride, 16);
    ASSERT_EQ(half.chromaRows, 16);
    for (const uint8_t v : half.cb) ASSERT_EQ(v, 128);
}

// Half-resolution chroma is sited for the decoder's upsampler: upsampled again it follows
// smooth colour more closely than the plain 2 x 2 mean does.
TEST(EncoderParts, HalfResolutionChromaSuitsTheUpsampler) {
    const int32_t size = 32;
    std::vector<uint8_t> pixels(size_t(size * size * 3));
    for (int32_t y = 0; y < size; ++y) {
        for (int32_t x = 0; x < size; ++x) {
            uint8_t* p = &pixels[size_t(y * size + x) * 3];
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.45) * std::cos(y * 0.3));
            p[1] = 110;
            p[2] = uint8_t(128 + 90 * std::cos(y * 0.5));
        }
    }
    SourcePlanes full;
    prepareSourcePlanes(SourceImage{pixels.data(), size, size, 3}, false, true, size, size, &full);
    SourcePlanes half;
    prepareSourcePlanes(SourceImage{pixels.data(), size, size, 3}, false, false, size, size, &half);
    std::vector<uint8_t> mean(size_t(size * size / 4));
    for (int32_t y = 0; y < size / 2; ++y) {
        for (int32_t x = 0; x < size / 2; ++x) {
            const uint8_t* a = &full.cr[size_t(2 * y * size + 2 * x)];
            mean[size_t(y * size / 2 + x)] = uint8_t((a[0] + a[1] + a[size] + a[size + 1] + 2) / 4);
        }
    }
    auto error = [&](const std::vector<uint8_t>& plane) {
        std::vector<uint8_t> upsampled(size_t(size * size));
        upsampleChroma(plane.data(), upsampled.data(), size, size, size);
        int64_t sum = 0;
        for (size_t i = 0; i < upsampled.size(); ++i) {
            sum += (upsampled[i] - full.cr[i]) * (upsampled[i] - full.cr[i]);
        }
        return sum;
    };
    EXPECT_LT(2 * error(half.cr), error(mean));
}

// Forward transform, rounding to whole dequantised values, then the decoder's inverse
// transform and final rounding give back the residual.
TEST(EncoderParts, ForwardTransformsInvertTheDecoders) {
    TransformBasis basis;
    setUpTransformBasis(&basis);
    std::mt19937 random(3);
    struct Size {
        int32_t n;
        int32_t shift;
    };
    for (const Size size : {Size{4, 6}, Size{8, 8}}) {
        for (int32_t trial = 0; trial < 50; ++trial) {
            int32_t residual[64];
            for (int32_t i = 0; i < size.n * size.n; ++i)
                residual[i] = int32_t(random() % 511) - 255;
            float d[64];
            int32_t block[64];
            if (size.n == 4) {
                forwardTransform4x4(basis, residual, d);
            } else {
                forwardTransform8x8(basis, residual, d);
            }
            for (int32_t i = 0; i < size.n * size.n; ++i) block[i] = int32_t(std::lround(d[i]));
            if (size.n == 4) {
                inverseTransform4x4(block);
            } else {
                inverseTransform8x8(block);
            }
            for (int32_t i = 0; i < size.n * size.n; ++i) {
                const int32_t back = (block[i] + (1 << (size.shift - 1))) >> size.shift;
                ASSERT_LE(std::abs(back - residual[i]), 1) << size.n << "x" << size.n;
            }
        }
    }
}

struct ModelFixture {
    DecoderContext context{};
    ModelFixture() { setUpModels(&context); }
    ~ModelFixture() { freeChain(&context); }
};

TEST(EncoderParts, QuantisationRoundsTowardZeroAndDropsCostlyTrailingOnes) {
    ModelFixture fixture;
    DecoderContext* context = &fixture.context;
    context->lumaQuantiser = 36;
    context->chromaQuantiser = 0;
    context->weightedDequant8x8 = chainAllocArray<int32_t>(context, 64);
    for (int32_t k = 0; k < 64; ++k) context->weightedDequant8x8[k] = 10;
    QuantiserSteps steps;
    setUpQuantiserSteps(context, &steps);
    // Luma quantiser 36: qDiv 3, qMod 0, so a 4x4 class-0 step is 20 * 8 / 2.
    EXPECT_FLOAT_EQ(steps.luma4x4.step[0], 80.0f);
    EXPECT_FLOAT_EQ(steps.uniform8x8.step[1], 19.0f * 8.0f);  // class 3
    EXPECT_FLOAT_EQ(steps.chroma.step[9], 18.0f);             // class 1 at qMod 0, qDiv 0
    TransformBasis basis;
    setUpTransformBasis(&basis);
    struct Case {
        float value;  // in steps, at raster position 0 (first in every scan)
        float lambda;
        int32_t level;
    } cases[] = {
        {0.5f, 0, 0},
        {0.6f, 0, 1},
        {-1.55f, 0, -1},
        {2.6f, 0, 3},
        {1.0f, 0, 1},
        {1.0f, 1e9f, 0},  // a lone 1 whose bits cost too much is dropped
        {2.0f, 1e9f, 2},  // a larger level is kept
        {1e6f, 0, kLevelCap4x4},
    };
    for (const Case& c : cases) {
        float d[16] = {};
        d[0] = c.value * steps.luma4x4.step[0];
        const ResidualPlan plan{&steps.luma4x4, basis.weight4x4, residualKind4x4(context, 2),
                                c.lambda, 0.42f};
        int32_t levels[16];
        EXPECT_EQ(quantiseLevels(plan, d, levels), c.level != 0);
        EXPECT_EQ(levels[0], c.level) << c.value << " steps, lambda " << c.lambda;
    }
}

}  // namespace
}  // namespace xqob::test
