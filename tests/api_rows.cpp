// The public row interface: the same pixels as whole-picture decoding, row by row, from a
// file and from memory; stopping from either callback; exceptions from the callbacks.
#include <gtest/gtest.h>

#include <stdexcept>
#include <xqob/xqob.hpp>

#include "tests/support/payloads.h"
#include "tests/support/qob_files.h"

namespace xqob {
namespace {

std::vector<uint8_t> picture(bool gray, bool fullChroma, int width, int height) {
    test::HeaderFields fields;
    fields.gray = gray;
    fields.fullChroma = fullChroma;
    fields.width = width;
    fields.height = height;
    fields.qualityIndex = 60;
    fields.chromaQuantiser = 50;
    return test::qobFile(fields, test::fixedPayload(5, 64 + size_t(width * height) * 2, 4));
}

struct Received {
    PictureInfo info;
    int32_t begins = 0;
    std::vector<int32_t> rows;
    std::vector<uint8_t> pixels;
};

RowReceiver receiverFor(Received* received) {
    RowReceiver receiver;
    receiver.begin = [received](const PictureInfo& info) {
        received->info = info;
        ++received->begins;
        return true;
    };
    receiver.row = [received](int32_t row, const uint8_t* pixels) {
        received->rows.push_back(row);
        const size_t bytes = size_t(received->info.width) * (received->info.gray ? 1u : 3u);
        received->pixels.insert(received->pixels.end(), pixels, pixels + bytes);
        return true;
    };
    return receiver;
}

TEST(ApiRows, SamePixelsAsTheWholePicture) {
    for (const auto& [gray, fullChroma, width, height] :
         {std::tuple{false, false, 37, 300}, std::tuple{false, true, 20, 41},
          std::tuple{true, false, 48, 33}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const std::vector<uint8_t> bytes = picture(gray, fullChroma, width, height);
        Image image;
        ASSERT_FALSE(decodeMemory(bytes.data(), bytes.size(), &image));
        const std::string path = test::writeTempFile("rows.qob", bytes);
        for (bool fromFile : {false, true}) {
            Received received;
            const Error error =
                fromFile ? decodeFileRows(path, receiverFor(&received))
                         : decodeMemoryRows(bytes.data(), bytes.size(), receiverFor(&received));
            ASSERT_FALSE(error) << error.message;
            EXPECT_EQ(received.begins, 1);
            EXPECT_EQ(received.info.width, width);
            EXPECT_EQ(received.info.height, height);
            ASSERT_EQ(received.rows.size(), size_t(height));
            for (int32_t r = 0; r < height; ++r) EXPECT_EQ(received.rows[size_t(r)], r);
            EXPECT_EQ(received.pixels, image.pixels);
        }
    }
}

TEST(ApiRows, EitherCallbackCanStop) {
    const std::vector<uint8_t> bytes = picture(false, false, 32, 64);
    Received received;
    RowReceiver receiver = receiverFor(&received);
    receiver.begin = [](const PictureInfo&) { return false; };
    Error error = decodeMemoryRows(bytes.data(), bytes.size(), receiver);
    EXPECT_EQ(error.code, ErrorCode::stopped);
    EXPECT_TRUE(received.rows.empty());

    int32_t calls = 0;
    receiver.row = [&calls](int32_t row, const uint8_t*) {
        ++calls;
        return row < 9;
    };
    receiver.begin = nullptr;
    error = decodeMemoryRows(bytes.data(), bytes.size(), receiver);
    EXPECT_EQ(error.code, ErrorCode::stopped);
    EXPECT_EQ(error.message, "stopped by the caller at row 9");
    EXPECT_EQ(calls, 10);

    receiver.row = nullptr;
    EXPECT_EQ(decodeMemoryRows(bytes.data(), bytes.size(), receiver).code,
              ErrorCode::invalidArgument);
}

TEST(ApiRows, AnExceptionFromTheCallbackReachesTheCaller) {
    const std::vector<uint8_t> bytes = picture(false, true, 16, 48);
    RowReceiver receiver;
    int32_t calls = 0;
    receiver.row = [&calls](int32_t row, const uint8_t*) -> bool {
        ++calls;
        if (row == 5) throw std::runtime_error("disk full");
        return true;
    };
    EXPECT_THROW(decodeMemoryRows(bytes.data(), bytes.size(), receiver), std::runtime_error);
    EXPECT_EQ(calls, 6);
}

TEST(ApiRows, FailuresBeforeAnyRow) {
    Received received;
    EXPECT_EQ(decodeFileRows("/nonexistent/x.qob", receiverFor(&received)).code,
              ErrorCode::cannotOpen);
    const std::vector<uint8_t> notQob = {'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decodeMemoryRows(notQob.data(), notQob.size(), receiverFor(&received)).code,
              ErrorCode::notQob);
    DecodeOptions small;
    small.maxPixels = 100;
    const std::vector<uint8_t> bytes = picture(true, false, 16, 16);
    EXPECT_EQ(decodeMemoryRows(bytes.data(), bytes.size(), receiverFor(&received), small).code,
              ErrorCode::tooLarge);
    EXPECT_EQ(received.begins, 0);
    EXPECT_TRUE(received.rows.empty());
}

}  // namespace
}  // namespace xqob
