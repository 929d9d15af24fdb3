// Whole pictures through the encoder and back through the decoder: the decoder must produce
// exactly the pixels the encoder predicted, and quality must buy fidelity.
#include <gtest/gtest.h>

#include "encoder/encode_picture.h"
#include "tests/support/synthetic_images.h"

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

}  // namespace
}  // namespace xqob::test
