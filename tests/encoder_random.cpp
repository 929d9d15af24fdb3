// Streams of random decisions: syntax that photographs rarely reach (every mode whether its
// neighbours exist or not, selectors naming unwritten flat candidates, levels at the caps)
// must still decode to exactly the encoder's reconstruction.
#include <gtest/gtest.h>

#include "tests/support/synthetic_images.h"
#include "xqob/encoder/encode_picture.h"

namespace xqob::test {
namespace {

struct RandomCase {
    int32_t width;
    int32_t height;
    int32_t channels;
    bool fullChroma;
    int32_t quality;  // 75 and up: luma quantiser 40 or less, mapped significance models
};

constexpr RandomCase kCases[] = {
    {48, 32, 3, false, 80}, {48, 32, 3, true, 30}, {40, 40, 1, false, 100},
    {17, 33, 3, false, 0},  {33, 17, 3, true, 75}, {64, 16, 1, false, 50},
};

constexpr uint64_t kSeedsPerCase = 40;

TEST(EncoderRandom, DecodesToPredictionAndReachesEverySyntaxValue) {
    SyntaxCoverage coverage;
    for (const RandomCase& c : kCases) {
        const Picture picture = makePicture(Pattern::mixed, c.width, c.height, c.channels);
        const SourceImage image{picture.pixels.data(), c.width, c.height, c.channels};
        for (uint64_t seed = 1; seed <= kSeedsPerCase; ++seed) {
            EncoderOptions options;
            options.quality = c.quality;
            options.chromaQuality = int32_t(seed * 7 % 81);
            options.fullChroma = c.fullChroma;
            options.randomSeed = seed * 1000 + uint64_t(c.width);
            EncodedPicture output;
            std::string error;
            ASSERT_TRUE(encodePicture(image, options, &output, true, &error)) << error;
            std::vector<uint8_t> decoded;
            ASSERT_TRUE(decodeBytes(output.file, c.width, c.height, c.channels == 1, &decoded));
            ASSERT_EQ(decoded, output.predicted)
                << c.width << "x" << c.height << " seed " << options.randomSeed;
            addCoverage(&coverage, output.statistics.syntax);
        }
    }
    for (const auto& [name, count] : coverageEntries(coverage)) {
        EXPECT_GT(count, 0) << name << " never written";
    }
}

TEST(EncoderRandom, SameSeedSameStreamOtherSeedOther) {
    const Picture picture = makePicture(Pattern::noise, 32, 32, 3);
    const SourceImage image{picture.pixels.data(), 32, 32, 3};
    auto encode = [&](uint64_t seed) {
        EncoderOptions options;
        options.randomSeed = seed;
        EncodedPicture output;
        EXPECT_TRUE(encodePicture(image, options, &output));
        return output.file;
    };
    EXPECT_EQ(encode(5), encode(5));
    EXPECT_NE(encode(5), encode(6));
}

}  // namespace
}  // namespace xqob::test
