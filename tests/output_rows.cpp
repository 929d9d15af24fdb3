// Rows as they finish: the driver's row-by-row reconstruction, deblocking and output against
// the whole-plane order (every plane reconstructed, then filtered, then converted), and the
// row callback's order and stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <xqob/xqob.hpp>
#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "xqob/base/allocation_chain.h"
#include "xqob/decoder/decode_picture.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/context_models.h"
#include "xqob/output/colour.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/plane_loops.h"
#include "xqob/recon/quantiser.h"

namespace xqob {
namespace {

// A real picture from the encoder: the three channels follow different waves with noise,
// so that chroma varies as much as luma, at qualities where both deblocking passes change
// samples (quality index 44 and up, chroma quantiser 36 and up). Gray pictures get the
// strongest luma filtering (quality index 88 and up), whose outer tests read the third
// sample from the edge.
std::vector<uint8_t> encodedPicture(int width, int height, bool gray, bool fullChroma,
                                    uint32_t seed) {
    test::Picture image;
    image.width = width;
    image.height = height;
    image.channels = gray ? 1 : 3;
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < image.channels; ++c) {
                const double wave = std::sin(0.21 * (c + 1) * x + 0.13 * (3 - c) * y + c);
                const int noise = int(random() % 41) - 20;
                image.pixels.push_back(uint8_t(std::clamp(int(128 + 100 * wave) + noise, 0, 255)));
            }
        }
    }
    EncodeOptions options;
    options.quality = gray ? int(seed % 13) : 30 + int(seed % 20);
    options.chromaQuality = 20 + int(seed % 24);
    options.fullChroma = fullChroma;
    return test::encodeRows(image, options);
}

// The whole-plane order with whole chroma planes: what the rows must equal.
std::vector<uint8_t> decodeWholePlanes(const std::vector<uint8_t>& bytes) {
    ByteSource source = memorySource(bytes.data(), bytes.size());
    PictureHeader header;
    DecodeFailure failure;
    EXPECT_EQ(readPictureHeader(&source, &header, &failure), 0);
    DecoderContext context{};
    context.width = header.width;
    context.height = header.height;
    context.gray = header.gray;
    context.fullChroma = header.fullChroma;
    context.lumaQuantiser = header.lumaQuantiser;
    context.qualityIndex = header.qualityIndex;
    context.chromaQuantiser = header.chromaQuantiser;
    const size_t rowBytes = size_t(header.width) * (header.gray ? 1 : 3);
    std::vector<uint8_t> pixels(rowBytes * size_t(header.height));
    setUpQuantiser(&context);
    setUpGeometry(&context);
    allocateWorkspace(&context);
    setUpModels(&context);
    startArithDecoder(&context, &source);
    decodeLumaPlane(&context);
    if (!context.gray) decodeChromaPlane(&context);
    deblockPicture(&context);
    if (context.gray) {
        for (int32_t r = 0; r < context.height; ++r) {
            std::memcpy(pixels.data() + r * rowBytes,
                        context.planeY + size_t(r) * size_t(context.paddedWidth), rowBytes);
        }
    } else {
        setUpColourTables(&context);
        convertPicture(&context, pixels.data());
    }
    freeChain(&context);
    return pixels;
}

struct Collected {
    std::vector<int32_t> rows;
    std::vector<uint8_t> pixels;
    size_t rowBytes = 0;
    int32_t stopAfter = -1;
};

bool collectRow(void* opaque, int32_t row, const uint8_t* pixels) {
    Collected* collected = static_cast<Collected*>(opaque);
    collected->rows.push_back(row);
    collected->pixels.insert(collected->pixels.end(), pixels, pixels + collected->rowBytes);
    return row != collected->stopAfter;
}

TEST(OutputRows, RowByRowEqualsTheWholePlaneOrder) {
    struct Case {
        int width, height;
        bool gray, fullChroma;
    } cases[] = {
        // Tall enough for the chroma window to slide several times, at both resolutions;
        // odd sizes for the upsampling edge rules.
        {40, 700, false, false},
        {24, 600, false, true},
        {33, 291, false, false},
        {17, 257, false, true},
        {5, 5, false, false},
        {1, 1, false, false},
        {31, 17, false, true},
        // Gray: the luma window around its size (128 rows) and its slides, one macroblock
        // row short of, at and past each boundary, at odd widths.
        {1, 1, true, false},
        {7, 15, true, false},
        {16, 16, true, false},
        {33, 17, true, false},
        {50, 127, true, false},
        {21, 128, true, false},
        {9, 129, true, false},
        {50, 300, true, false},
        {17, 733, true, false},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes =
            encodedPicture(c.width, c.height, c.gray, c.fullChroma, seed++);
        const std::vector<uint8_t> expected = decodeWholePlanes(bytes);
        for (int32_t threads : {1, 2}) {
            SCOPED_TRACE(testing::Message()
                         << c.width << "x" << c.height << (c.gray ? " gray" : "")
                         << (c.fullChroma ? " full" : "") << ", threads " << threads);
            std::vector<uint8_t> pixels(expected.size());
            DecodeRequest request;
            request.data = bytes.data();
            request.size = bytes.size();
            request.threads = threads;
            ASSERT_EQ(decodePicture(request, pixels.data()), 0);
            EXPECT_EQ(pixels, expected);

            Collected collected;
            collected.rowBytes = size_t(c.width) * (c.gray ? 1 : 3);
            request.sink = collectRow;
            request.sinkOpaque = &collected;
            ASSERT_EQ(decodePicture(request, nullptr), 0);
            std::vector<int32_t> order(size_t(c.height));
            for (int32_t r = 0; r < c.height; ++r) order[size_t(r)] = r;
            EXPECT_EQ(collected.rows, order);
            EXPECT_EQ(collected.pixels, expected);
        }
    }
}

TEST(OutputRows, ASinkThatStopsGetsNoFurtherRow) {
    const std::vector<uint8_t> bytes = encodedPicture(40, 300, false, false, 7);
    Collected collected;
    collected.rowBytes = 40 * 3;
    collected.stopAfter = 100;
    DecodeRequest request;
    request.data = bytes.data();
    request.size = bytes.size();
    request.sink = collectRow;
    request.sinkOpaque = &collected;
    DecodeFailure failure;
    EXPECT_EQ(decodePicture(request, nullptr, &failure), 1);
    EXPECT_EQ(failure.reason, FailureReason::stoppedByCaller);
    EXPECT_EQ(collected.rows.size(), 101u);
    EXPECT_EQ(collected.rows.back(), 100);
    EXPECT_EQ(describeFailure(failure), "stopped by the caller at row 100");
}

TEST(OutputRows, APayloadThatEndsEarlyStopsTheRows) {
    // Colour rows go out during the chroma loop, gray ones during the luma loop, through its
    // window; a payload cut there fails the decode after some rows, and no row comes after
    // the failure, on either thread count.
    struct Case {
        int width, height;
        bool gray;
        size_t firstCut;  // in eighths of the payload: where rows have started going out
    } cases[] = {{128, 1200, false, 4}, {99, 1000, true, 1}};
    uint32_t seed = 11;
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = encodedPicture(c.width, c.height, c.gray, true, seed++);
        Collected whole;
        whole.rowBytes = size_t(c.width) * (c.gray ? 1 : 3);
        DecodeRequest request;
        request.data = bytes.data();
        request.size = bytes.size();
        request.sink = collectRow;
        request.sinkOpaque = &whole;
        ASSERT_EQ(decodePicture(request, nullptr), 0);
        for (int32_t threads : {1, 2}) {
            SCOPED_TRACE(testing::Message()
                         << (c.gray ? "gray" : "colour") << ", threads " << threads);
            request.threads = threads;
            int32_t failedDuringRows = 0;
            const size_t step = bytes.size() / 16;
            for (size_t keep = bytes.size() * c.firstCut / 8; keep < bytes.size(); keep += step) {
                Collected cut;
                cut.rowBytes = whole.rowBytes;
                request.size = keep;
                request.sinkOpaque = &cut;
                DecodeFailure failure;
                if (decodePicture(request, nullptr, &failure) == 0) continue;  // enough was left
                EXPECT_EQ(failure.reason, FailureReason::payloadExhausted);
                ASSERT_LT(cut.rows.size(), whole.rows.size());
                if (!cut.rows.empty()) ++failedDuringRows;
                // What did go out is a prefix of the real picture, each row once, in order.
                for (size_t i = 0; i < cut.rows.size(); ++i) EXPECT_EQ(cut.rows[i], int32_t(i));
                EXPECT_TRUE(std::equal(cut.pixels.begin(), cut.pixels.end(), whole.pixels.begin()));
            }
            EXPECT_GT(failedDuringRows, 0) << bytes.size() << " bytes";
        }
    }
}

}  // namespace
}  // namespace xqob
