// Whole pictures decoded through the plain arithmetic decoder (a division per bin, one
// halving at a time) and through the register path of the plane loops: the same samples,
// and the same failure at the same point of the payload.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/payloads.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"
#include "xqob/decoder/decode_picture.h"
#include "xqob/encoder/encode_picture.h"
#include "xqob/entropy/block_syntax.h"

namespace xqob {
namespace {

struct Outcome {
    int32_t result = 0;
    DecodeFailure failure{};
    std::vector<uint8_t> pixels;
};

Outcome decodeWith(const std::vector<uint8_t>& file, size_t outputSize, EntropyPath path) {
    Outcome outcome;
    outcome.pixels.assign(outputSize + 1, 0x5A);
    DecodeRequest request;
    request.data = file.data();
    request.size = file.size();
    request.entropyPath = int32_t(path);
    outcome.result = decodePicture(request, outcome.pixels.data(), &outcome.failure);
    return outcome;
}

// The plain decoder against each register path this processor runs; returns whether the
// decode succeeded.
bool expectSamePaths(const std::vector<uint8_t>& file, size_t outputSize, const char* what) {
    const Outcome plain = decodeWith(file, outputSize, EntropyPath::plain);
    for (EntropyPath path : {EntropyPath::registers, EntropyPath::bitInstructions}) {
        if (!entropyPathRuns(path)) continue;
        const Outcome fast = decodeWith(file, outputSize, path);
        EXPECT_EQ(fast.result, plain.result) << what << " path " << int32_t(path);
        EXPECT_EQ(fast.failure.reason, plain.failure.reason) << what << " path " << int32_t(path);
        EXPECT_EQ(fast.failure.value, plain.failure.value) << what << " path " << int32_t(path);
        EXPECT_TRUE(fast.pixels == plain.pixels) << what << " path " << int32_t(path);
    }
    return plain.result == 0;
}

struct Layout {
    const char* name;
    int32_t width, height;
    bool gray, fullChroma;
};

constexpr Layout kLayouts[] = {
    {"gray 48x32", 48, 32, true, false},
    {"4:2:0 40x24", 40, 24, false, false},
    {"full chroma 32x17", 32, 17, false, true},
    {"4:2:0 16x16", 16, 16, false, false},
    {"gray 1x1", 1, 1, true, false},
    {"4:2:0 97x3", 97, 3, false, false},
};

size_t outputSizeOf(const Layout& layout) {
    return size_t(layout.width) * size_t(layout.height) * (layout.gray ? 1 : 3);
}

// Random payloads of every header kind, qualities on both sides of the significance-map
// switch, dense and sparse bytes, short enough that many run out early.
TEST(EntropyPaths, RandomPayloadsDecodeTheSameOnBothPaths) {
    int32_t succeeded = 0;
    int32_t failed = 0;
    for (const Layout& layout : kLayouts) {
        for (const int32_t quality : {0, 40, 60, 100}) {
            for (const uint32_t density : {0u, 1u, 3u, 16u}) {
                for (const size_t size : {size_t(2), size_t(37), size_t(900), size_t(9000)}) {
                    test::HeaderFields fields;
                    fields.width = layout.width;
                    fields.height = layout.height;
                    fields.gray = layout.gray;
                    fields.fullChroma = layout.fullChroma;
                    fields.qualityIndex = quality;
                    fields.chromaQuantiser = 40;
                    const std::vector<uint8_t> file = test::qobFile(
                        fields, test::fixedPayload(uint32_t(size) + density, size, density));
                    if (expectSamePaths(file, outputSizeOf(layout), layout.name)) {
                        ++succeeded;
                    } else {
                        ++failed;
                    }
                }
            }
        }
    }
    EXPECT_GT(succeeded, 20);
    EXPECT_GT(failed, 20);
}

std::vector<uint8_t> encodeSynthetic(const Layout& layout, test::Pattern pattern, int32_t quality,
                                     uint64_t randomSeed) {
    const test::Picture picture =
        test::makePicture(pattern, layout.width, layout.height, layout.gray ? 1 : 3);
    EncoderOptions options;
    options.quality = quality;
    options.gray = layout.gray;
    options.fullChroma = layout.fullChroma;
    options.randomSeed = randomSeed;
    EncodedPicture output;
    const SourceImage image{picture.pixels.data(), picture.width, picture.height, picture.channels};
    EXPECT_TRUE(encodePicture(image, options, &output));
    return output.file;
}

// Encoder output, and the same files cut short by up to 40 bytes: the last bins then come
// from the repeated first byte of the last refill, and the point of failure from the fourth
// empty refill.
TEST(EntropyPaths, EncodedAndTightPayloadsDecodeTheSameOnBothPaths) {
    const test::Pattern patterns[] = {test::Pattern::gradient, test::Pattern::noise,
                                      test::Pattern::mixed};
    for (const Layout& layout : kLayouts) {
        for (const test::Pattern pattern : patterns) {
            for (const uint64_t seed : {uint64_t(0), uint64_t(7)}) {
                const std::vector<uint8_t> file = encodeSynthetic(layout, pattern, 60, seed);
                EXPECT_TRUE(expectSamePaths(file, outputSizeOf(layout), layout.name))
                    << test::patternName(pattern);
                for (size_t cut = 1; cut <= 40 && cut + 16 < file.size(); ++cut) {
                    const std::vector<uint8_t> shorter(file.begin(), file.end() - long(cut));
                    expectSamePaths(shorter, outputSizeOf(layout), layout.name);
                }
            }
        }
    }
}

// Payloads longer than the input buffer, so that refills fall inside the register path.
TEST(EntropyPaths, PayloadsAcrossSeveralRefills) {
    const Layout layout{"4:2:0 384x256", 384, 256, false, false};
    for (const uint64_t seed : {uint64_t(0), uint64_t(3)}) {
        const std::vector<uint8_t> file = encodeSynthetic(layout, test::Pattern::noise, 100, seed);
        EXPECT_GT(file.size(), size_t(2 * 8192));
        EXPECT_TRUE(expectSamePaths(file, outputSizeOf(layout), "noise"));
    }
}

}  // namespace
}  // namespace xqob
