// The public decoding interface: header information, decoding from a file and from memory,
// and the codes and messages of its errors.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <xqob/xqob.hpp>

#include "tests/support/payloads.h"
#include "tests/support/plugin_loader.h"
#include "tests/support/qob_files.h"

namespace xqob {
namespace {

std::vector<uint8_t> samplePicture(bool gray, bool fullChroma, int width, int height) {
    test::HeaderFields fields;
    fields.gray = gray;
    fields.fullChroma = fullChroma;
    fields.width = width;
    fields.height = height;
    fields.qualityIndex = 40;
    fields.chromaQuantiser = 20;
    return test::qobFile(fields, test::fixedPayload(3, 64 + size_t(width * height) * 2, 4));
}

TEST(ApiInfo, ReportsTheHeader) {
    test::HeaderFields fields;
    fields.width = 320;
    fields.height = 240;
    fields.qualityIndex = 25;
    fields.chromaQuantiser = 30;
    fields.flags = 1;
    fields.fullChroma = true;
    const std::vector<uint8_t> bytes = test::qobFile(fields, std::vector<uint8_t>(100, 7));
    const std::string path = test::writeTempFile("info.qob", bytes);
    for (bool fromFile : {false, true}) {
        PictureInfo info;
        const Error error =
            fromFile ? readInfo(path, &info) : readInfo(bytes.data(), bytes.size(), &info);
        ASSERT_FALSE(error) << error.message;
        EXPECT_EQ(info.width, 320);
        EXPECT_EQ(info.height, 240);
        EXPECT_FALSE(info.gray);
        EXPECT_TRUE(info.fullChroma);
        EXPECT_EQ(info.quality, 75);
        EXPECT_EQ(info.chromaQuality, 50);
        EXPECT_TRUE(info.optionalBlock);
        EXPECT_EQ(info.headerBytes, 24u);
        EXPECT_EQ(info.payloadBytes, 100u);
    }
}

TEST(ApiDecode, FileMemoryAndExportsAgree) {
    struct Case {
        bool gray, fullChroma;
        int width, height;
    } cases[] = {{true, false, 33, 17}, {false, false, 33, 17}, {false, true, 5, 40}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = samplePicture(c.gray, c.fullChroma, c.width, c.height);
        const std::string path = test::writeTempFile("agree.qob", bytes);
        Image fromFile, fromMemory;
        ASSERT_FALSE(decodeFile(path, &fromFile));
        ASSERT_FALSE(decodeMemory(bytes.data(), bytes.size(), &fromMemory));
        EXPECT_EQ(fromFile.width, c.width);
        EXPECT_EQ(fromFile.height, c.height);
        EXPECT_EQ(fromFile.channels, c.gray ? 1 : 3);
        EXPECT_EQ(fromFile.pixels, fromMemory.pixels);

        void* handle = test::plugin().init(path.c_str());
        ASSERT_NE(handle, nullptr);
        std::vector<uint8_t> rows;
        std::vector<uint8_t> line(size_t(c.width) * size_t(fromFile.channels));
        for (int r = 0; r < c.height; ++r) {
            ASSERT_EQ(test::plugin().getLine(handle, r, line.data()), 1);
            rows.insert(rows.end(), line.begin(), line.end());
        }
        test::plugin().exit(handle);
        EXPECT_EQ(rows, fromFile.pixels);
    }
}

TEST(ApiDecode, ErrorsCarryACodeAndAMessage) {
    std::vector<uint8_t> good = samplePicture(true, false, 16, 16);
    auto with = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[offset] = value;
        return bytes;
    };
    test::HeaderFields huge;
    huge.width = 65535;
    huge.height = 65535;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        ErrorCode code;
        const char* message;
    } cases[] = {
        {"signature", with(0, 'P'), ErrorCode::notQob, "not a QOB file (signature is not \"QOB\")"},
        {"quality", with(3, 101), ErrorCode::badHeader, "quality index 101 out of range 0..100"},
        {"chroma", with(4, 81), ErrorCode::badHeader, "chroma quantiser 81 out of range 0..80"},
        {"flags", with(5, 4), ErrorCode::badHeader, "unknown header flags 0x04"},
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 9), ErrorCode::truncated,
         "header ends after 9 bytes"},
        {"payload", std::vector<uint8_t>(good.begin(), good.begin() + 17), ErrorCode::truncated,
         "payload ends after 3 bytes"},
        {"one byte", std::vector<uint8_t>(good.begin(), good.begin() + 15), ErrorCode::truncated,
         "payload ends after 1 byte"},
        {"too large", test::qobFile(huge, {1, 2}), ErrorCode::tooLarge,
         "picture of 65535 x 65535 exceeds the limit of 268435456 pixels"},
    };
    for (const Case& c : cases) {
        Image image;
        const Error error = decodeMemory(c.bytes.data(), c.bytes.size(), &image);
        EXPECT_EQ(error.code, c.code) << c.name;
        EXPECT_EQ(error.message, c.message) << c.name;
        EXPECT_TRUE(image.pixels.empty()) << c.name;
    }
    Image image;
    const Error missing = decodeFile("/nonexistent/picture.qob", &image);
    EXPECT_EQ(missing.code, ErrorCode::cannotOpen);
    EXPECT_EQ(missing.message, "cannot open: No such file or directory");
}

TEST(ApiDecode, EmptyPicturesDecodeToNoPixels) {
    // Found by fuzzing: a gray picture of width 0 once copied rows into a missing buffer.
    for (auto [width, height, gray] : {std::tuple{0, 32, true}, std::tuple{32, 0, true},
                                       std::tuple{0, 0, false}, std::tuple{0, 17, false}}) {
        const std::vector<uint8_t> bytes = samplePicture(gray, false, width, height);
        Image image;
        ASSERT_FALSE(decodeMemory(bytes.data(), bytes.size(), &image));
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        EXPECT_TRUE(image.pixels.empty());
    }
}

TEST(ApiDecode, PixelLimitCanBeRaisedOrLifted) {
    const std::vector<uint8_t> bytes = samplePicture(true, false, 40, 30);
    Image image;
    DecodeOptions tight;
    tight.maxPixels = 1199;
    EXPECT_EQ(decodeMemory(bytes.data(), bytes.size(), &image, tight).code, ErrorCode::tooLarge);
    tight.maxPixels = 1200;
    EXPECT_FALSE(decodeMemory(bytes.data(), bytes.size(), &image, tight));
    DecodeOptions none;
    none.maxPixels = 0;
    EXPECT_FALSE(decodeMemory(bytes.data(), bytes.size(), &image, none));
}

}  // namespace
}  // namespace xqob
