// Recorded checksums of whole pictures decoded from fixed payloads. They were recorded once
// the worked examples of every stage passed, and must never change: any change in a decoded
// bin, sample or rounding shows here.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>

#include "tests/support/payloads.h"
#include "tests/support/qob_files.h"
#include "xqob/decoder/decode_picture.h"

namespace xqob {
namespace {

struct RegressionCase {
    const char* name;
    int width, height;
    bool gray, fullChroma;
    int qualityIndex, chromaQuantiser, flags;
    uint32_t seed, density;
    uint64_t expected;
};

const RegressionCase kCases[] = {
#include "tests/decoder_regression_cases.inc"
};

TEST(Regression, DecodedPicturesKeepTheirChecksums) {
    for (const RegressionCase& c : kCases) {
        test::HeaderFields fields;
        fields.width = c.width;
        fields.height = c.height;
        fields.gray = c.gray;
        fields.fullChroma = c.fullChroma;
        fields.qualityIndex = c.qualityIndex;
        fields.chromaQuantiser = c.chromaQuantiser;
        fields.flags = c.flags;
        const size_t payloadSize = 64 + size_t(c.width) * size_t(c.height) * (c.density ? 2 : 64);
        const std::vector<uint8_t> bytes =
            test::qobFile(fields, test::fixedPayload(c.seed, payloadSize, c.density));
        std::vector<uint8_t> pixels(size_t(c.width) * size_t(c.height) * (c.gray ? 1 : 3) + 1);
        DecodeRequest request;
        request.data = bytes.data();
        request.size = bytes.size();
        DecodeFailure failure;
        ASSERT_EQ(decodePicture(request, pixels.data(), &failure), 0)
            << c.name << ": " << describeFailure(failure);
        pixels.pop_back();
        const uint64_t sum = test::checksum(pixels);
        EXPECT_EQ(sum, c.expected) << c.name;
        if (sum != c.expected) std::printf("%s 0x%016" PRIx64 "\n", c.name, sum);
    }
}

}  // namespace
}  // namespace xqob
