// The driver: geometry, record addressing, and every way out of a failed decode.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/qob_files.h"
#include "xqob/decoder/decode_picture.h"

namespace xqob {
namespace {

TEST(Geometry, PaddedAndChromaSizes) {
    struct Case {
        int32_t width, height, fullChroma;
        int32_t paddedWidth, paddedHeight, chromaWidth, chromaHeight;
        int32_t macroblocks, chromaBlocks;
    } cases[] = {
        {17, 1, 0, 32, 16, 16, 8, 2, 2},   {16, 16, 1, 16, 16, 16, 16, 1, 4},
        {32, 32, 0, 32, 32, 16, 16, 4, 4}, {32, 32, 1, 32, 32, 32, 32, 4, 16},
        {0, 0, 0, 0, 0, 0, 0, 0, 0},       {65535, 1, 1, 65536, 16, 65536, 16, 4096, 16384},
    };
    for (const Case& c : cases) {
        DecoderContext context{};
        context.width = c.width;
        context.height = c.height;
        context.fullChroma = c.fullChroma;
        setUpGeometry(&context);
        EXPECT_EQ(context.paddedWidth, c.paddedWidth) << c.width;
        EXPECT_EQ(context.paddedHeight, c.paddedHeight) << c.height;
        EXPECT_EQ(context.chromaWidth, c.chromaWidth);
        EXPECT_EQ(context.chromaHeight, c.chromaHeight);
        EXPECT_EQ(context.paddedWidth * context.paddedHeight / 256, c.macroblocks);
        EXPECT_EQ(context.chromaWidth * context.chromaHeight / 64, c.chromaBlocks);
    }
}

TEST(BlockRecords, Addressing) {
    // Sample (16, 0) of a 17 x 1 picture: record 1, quadrant 0, 4x4 block 0.
    EXPECT_EQ(macroblockIndex(16, 0, 32), 1);
    EXPECT_EQ(quadrantIndex(16, 0), 0);
    EXPECT_EQ(blockIndex4x4(16, 0), 0);
    // Sample (13, 6): quadrant 1, 4x4 block 7.
    EXPECT_EQ(quadrantIndex(13, 6), 1);
    EXPECT_EQ(blockIndex4x4(13, 6), 7);
    EXPECT_EQ(macroblockIndex(40, 17, 48), 3 + 2);
    EXPECT_EQ(blockIndex4x4(15, 15), 15);
    EXPECT_EQ(quadrantIndex(8, 8), 3);
    // 32 x 32 half chroma: 2 records per row; full chroma: 4.
    EXPECT_EQ(chromaBlockIndex(8, 8, 16), 3);
    EXPECT_EQ(chromaBlockIndex(8, 8, 32), 5);
}

struct Decoded {
    int32_t result;
    DecodeFailure failure;
    int64_t allocations;
};

Decoded decodeBytes(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* pixels,
                    int64_t failAt = 0) {
    DecodeRequest request;
    request.data = bytes.data();
    request.size = bytes.size();
    request.failAllocationAt = failAt;
    Decoded out{};
    out.result = decodePicture(request, pixels->data(), &out.failure, &out.allocations);
    return out;
}

std::vector<uint8_t> colourPicture(int width, int height, int fullChroma) {
    test::HeaderFields fields;
    fields.width = width;
    fields.height = height;
    fields.fullChroma = fullChroma;
    std::vector<uint8_t> payload(4096);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 37 + 11);
    return test::qobFile(fields, payload);
}

TEST(Driver, AnInjectedAllocationFailureAnywhereFailsCleanly) {
    for (int fullChroma : {0, 1}) {
        const std::vector<uint8_t> bytes = colourPicture(33, 20, fullChroma);
        std::vector<uint8_t> pixels(33 * 20 * 3, 0xAB);
        const Decoded whole = decodeBytes(bytes, &pixels);
        ASSERT_EQ(whole.result, 0);
        ASSERT_GT(whole.allocations, 5);
        for (int64_t n = 1; n <= whole.allocations; ++n) {
            std::vector<uint8_t> untouched(pixels.size(), 0xCD);
            const Decoded failed = decodeBytes(bytes, &untouched, n);
            EXPECT_EQ(failed.result, 1) << "allocation " << n;
            EXPECT_EQ(failed.failure.reason, FailureReason::outOfMemory) << n;
            EXPECT_EQ(failed.allocations, n);
            for (uint8_t b : untouched) ASSERT_EQ(b, 0xCD) << "allocation " << n;
        }
    }
}

TEST(Driver, FileAndMemoryDecodeAlike) {
    const std::vector<uint8_t> bytes = colourPicture(40, 24, 0);
    std::vector<uint8_t> fromMemory(40 * 24 * 3), fromFile(40 * 24 * 3);
    ASSERT_EQ(decodeBytes(bytes, &fromMemory).result, 0);
    DecodeRequest request;
    const std::string path = test::writeTempFile("driver.qob", bytes);
    request.fileName = path.c_str();
    const int descriptors = test::openDescriptorCount();
    ASSERT_EQ(decodePicture(request, fromFile.data()), 0);
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
    EXPECT_EQ(fromMemory, fromFile);
}

TEST(Driver, FailureReasons) {
    test::HeaderFields gray;
    gray.gray = true;
    std::vector<uint8_t> changed = test::qobFile(gray, {1, 2, 3});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        FailureReason reason;
    } cases[] = {
        {"no payload", test::qobFile(gray, {}), FailureReason::payloadTooShort},
        {"one byte", test::qobFile(gray, {9}), FailureReason::payloadTooShort},
        {"not QOB",
         {'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
         FailureReason::badSignature},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels(16 * 16);
        const Decoded d = decodeBytes(c.bytes, &pixels);
        EXPECT_EQ(d.result, 1) << c.name;
        EXPECT_EQ(d.failure.reason, c.reason) << c.name;
    }

    DecodeRequest request;
    request.fileName = "/nonexistent/x.qob";
    DecodeFailure failure;
    EXPECT_EQ(decodePicture(request, nullptr, &failure), 1);
    EXPECT_EQ(failure.reason, FailureReason::cannotOpen);
    EXPECT_EQ(describeFailure(failure), "cannot open: No such file or directory");
}

TEST(Driver, AHeaderThatNoLongerMatchesIsRefused) {
    test::HeaderFields fields;
    fields.gray = true;
    const std::vector<uint8_t> bytes = test::qobFile(fields, {1, 2, 3, 4});
    PictureHeader expected;
    expected.width = 16;
    expected.height = 8;  // the buffer was sized for a smaller picture
    expected.gray = 1;
    DecodeRequest request;
    request.data = bytes.data();
    request.size = bytes.size();
    request.expected = &expected;
    std::vector<uint8_t> pixels(16 * 8, 0xCD);
    DecodeFailure failure;
    EXPECT_EQ(decodePicture(request, pixels.data(), &failure), 1);
    EXPECT_EQ(failure.reason, FailureReason::fileChanged);
    for (uint8_t b : pixels) ASSERT_EQ(b, 0xCD);
}

TEST(Driver, PixelLimitIsCheckedBeforeAnyAllocation) {
    test::HeaderFields fields;
    fields.width = 65535;
    fields.height = 65535;
    const std::vector<uint8_t> bytes = test::qobFile(fields, {1, 2});
    DecodeRequest request;
    request.data = bytes.data();
    request.size = bytes.size();
    request.maxPixels = uint64_t{1} << 28;
    DecodeFailure failure;
    int64_t allocations = -1;
    EXPECT_EQ(decodePicture(request, nullptr, &failure, &allocations), 1);
    EXPECT_EQ(failure.reason, FailureReason::tooLarge);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(describeFailure(failure),
              "picture of 65535 x 65535 exceeds the limit of 268435456 pixels");
}

}  // namespace
}  // namespace xqob
