// Rows of the C++ interface as they finish: the whole picture's pixels group by group, with or
// without a whole picture kept (rowsOnly); stopping; an exception from the callback.
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

TEST(CppRows, SamePixelsAsTheWholePictureWithOrWithoutIt) {
    for (const auto& [gray, width, height] :
         {std::tuple{false, 37, 300}, std::tuple{true, 48, 33}, std::tuple{false, 20, 16}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const std::vector<uint8_t> bytes = picture(gray, false, width, height);
        Image whole;
        whole.format = Format::bgr;
        ASSERT_FALSE(decodeMemory(bytes, whole));
        for (bool rowsOnly : {false, true}) {
            std::vector<uint8_t> seen;
            int32_t next = 0;
            DecodeOptions options;
            options.rows = [&](const Rows& rows) {
                EXPECT_EQ(rows.first, next);
                EXPECT_EQ(rows.format, Format::bgr);
                EXPECT_EQ(rows.height, height);
                next = rows.first + rows.count;
                for (int32_t y = rows.first; y < next; ++y) {
                    seen.insert(seen.end(), rows.row(y), rows.row(y) + 3 * width);
                }
                return true;
            };
            Image image;
            image.format = Format::bgr;
            image.rowsOnly = rowsOnly;
            ASSERT_FALSE(decodeMemory(bytes, image, options));
            EXPECT_EQ(next, height);
            EXPECT_TRUE(std::ranges::equal(seen, whole.bytes()));
            EXPECT_EQ(image.data() == nullptr, rowsOnly);
        }
    }
}

TEST(CppRows, FalseStopsAndAnExceptionReachesTheCaller) {
    const std::vector<uint8_t> bytes = picture(false, true, 16, 64);
    int32_t calls = 0;
    DecodeOptions options;
    options.rows = [&](const Rows& rows) {
        ++calls;
        return rows.first < 16;
    };
    Image image;
    const Error error = decodeMemory(bytes, image, options);
    EXPECT_EQ(error.code, ErrorCode::stopped);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(image.data(), nullptr);

    options.rows = [&](const Rows& rows) -> bool {
        if (rows.first == 32) throw std::runtime_error("disk full");
        return true;
    };
    image.rowsOnly = true;
    EXPECT_THROW(decodeMemory(bytes, image, options), std::runtime_error);
    const Reader failing = [](uint8_t*, size_t) -> size_t { throw std::runtime_error("gone"); };
    EXPECT_THROW(decodeReader(failing, image, options), std::runtime_error);
}

}  // namespace
}  // namespace xqob
