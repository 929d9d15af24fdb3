// Whole pictures through the encoder and back through the decoder: the decoder must produce
// exactly the pixels the encoder predicted, and quality must buy fidelity.
#include <gtest/gtest.h>

#include "tests/support/synthetic_images.h"
#include "xqob/encoder/encode_picture.h"

namespace xqob::test {
namespace {

struct Layout {
    const char* name;
    int32_t channels;
    bool gray;
    bool fullChroma;
};

constexpr Layout kLayouts[] = {
    {"gray", 1, false, false},
    {"colour 4:2:0", 3, false, false},
    {"colour full chroma", 3, false, true},
    {"colour coded gray", 3, true, false},
};

constexpr Pattern kPatterns[] = {Pattern::gradient, Pattern::noise, Pattern::edges, Pattern::flat,
                                 Pattern::mixed};

struct Size {
    int32_t width;
    int32_t height;
};

constexpr Size kSizes[] = {{1, 1}, {2, 2}, {15, 17}, {16, 16}, {17, 1}, {64, 48}, {100, 75}};

EncodedPicture encodeOrFail(const Picture& picture, const EncoderOptions& options) {
    EncodedPicture output;
    std::string error;
    const SourceImage image{picture.pixels.data(), picture.width, picture.height, picture.channels};
    EXPECT_TRUE(encodePicture(image, options, &output, true, &error)) << error;
    return output;
}

TEST(EncoderRoundTrip, DecoderOutputEqualsPrediction) {
    for (const Size size : kSizes) {
        for (const Pattern pattern : kPatterns) {
            for (const Layout& layout : kLayouts) {
                for (const int32_t quality : {10, 75, 97}) {
                    const Picture picture =
                        makePicture(pattern, size.width, size.height, layout.channels);
                    EncoderOptions options;
                    options.quality = quality;
                    options.chromaQuality = 80 - quality * 4 / 5;
                    options.gray = layout.gray;
                    options.fullChroma = layout.fullChroma;
                    const EncodedPicture output = encodeOrFail(picture, options);
                    const bool gray = layout.gray || layout.channels == 1;
                    std::vector<uint8_t> decoded;
                    ASSERT_TRUE(decodeBytes(output.file, size.width, size.height, gray, &decoded));
                    ASSERT_EQ(decoded, output.predicted)
                        << size.width << "x" << size.height << " " << patternName(pattern) << " "
                        << layout.name << " quality " << quality;
                }
            }
        }
    }
}

// PSNR of the luma (the decoded gray picture against the source's own gray) or of R, G, B.
double fidelity(const Picture& picture, const EncodedPicture& output) {
    return psnr(picture.pixels, output.predicted);
}

TEST(EncoderRoundTrip, FidelityRisesWithQuality) {
    for (const Pattern pattern : {Pattern::mixed, Pattern::gradient, Pattern::edges}) {
        for (const int32_t channels : {1, 3}) {
            const Picture picture = makePicture(pattern, 64, 48, channels, 7);
            double previous = 0;
            size_t previousSize = 0;
            for (const int32_t quality : {0, 20, 40, 60, 80, 100}) {
                EncoderOptions options;
                options.quality = quality;
                const EncodedPicture output = encodeOrFail(picture, options);
                const double value = fidelity(picture, output);
                EXPECT_GT(value, previous) << patternName(pattern) << " quality " << quality;
                EXPECT_GT(output.file.size(), previousSize);
                previous = value;
                previousSize = output.file.size();
            }
        }
    }
}

TEST(EncoderRoundTrip, FidelityRisesWithChromaQuality) {
    const Picture picture = makePicture(Pattern::mixed, 64, 48, 3, 3);
    for (const bool fullChroma : {false, true}) {
        double previous = 0;
        for (const int32_t chromaQuality : {0, 30, 60, 80}) {
            EncoderOptions options;
            options.quality = 90;
            options.chromaQuality = chromaQuality;
            options.fullChroma = fullChroma;
            const double value = fidelity(picture, encodeOrFail(picture, options));
            EXPECT_GT(value, previous) << "chroma quality " << chromaQuality;
            previous = value;
        }
    }
}

// The payload ends with a flush that pins the last interval: whatever a reader finds after
// it, trailing bytes of a file or the decoder's repeats past its end, decodes the same.
TEST(EncoderRoundTrip, PayloadEndSurvivesWhateverFollows) {
    for (const Size size : {Size{1, 1}, Size{16, 16}, Size{17, 1}}) {
        for (const int32_t channels : {1, 3}) {
            const Picture picture = makePicture(Pattern::flat, size.width, size.height, channels);
            EncoderOptions options;
            options.quality = 0;
            const EncodedPicture output = encodeOrFail(picture, options);
            EXPECT_GE(output.statistics.payloadBytes, 2);
            for (const uint8_t tail : {0x00, 0xFF, 0x5A}) {
                std::vector<uint8_t> file = output.file;
                file.insert(file.end(), 5, tail);
                std::vector<uint8_t> decoded;
                ASSERT_TRUE(decodeBytes(file, size.width, size.height, channels == 1, &decoded));
                EXPECT_EQ(decoded, output.predicted) << "tail " << int(tail);
            }
        }
    }
}

TEST(EncoderRoundTrip, EmptyPicturesEncode) {
    for (const Size size : {Size{0, 0}, Size{0, 5}, Size{7, 0}}) {
        const Picture picture = makePicture(Pattern::flat, size.width, size.height, 3);
        const EncodedPicture output = encodeOrFail(picture, EncoderOptions{});
        EXPECT_TRUE(output.predicted.empty());
        EXPECT_EQ(output.statistics.payloadBytes, 2);
        std::vector<uint8_t> decoded;
        EXPECT_TRUE(decodeBytes(output.file, size.width, size.height, false, &decoded));
    }
}

}  // namespace
}  // namespace xqob::test
