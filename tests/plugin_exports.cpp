// The six exports as the host sees them, loaded from the shared library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/plugin_loader.h"
#include "tests/support/qob_files.h"
#include "xqob/decoder/decode_picture.h"

namespace xqob {
namespace {

using test::plugin;

const std::vector<uint8_t> kPayload(64, 0x3C);

TEST(PluginInfo, OnlyVersionTwoAnswers) {
    for (int32_t version : {1, 3, 0, -2}) {
        char label[8];
        std::memset(label, 0x7E, sizeof label);
        uint32_t extension = 0xDEADBEEF;
        int32_t flag = 77;
        EXPECT_EQ(plugin().getPluginInfo(version, label, 8, &extension, 0, &flag), 0);
        for (char c : label) EXPECT_EQ(c, 0x7E);
        EXPECT_EQ(extension, 0xDEADBEEFu);
        EXPECT_EQ(flag, 77);
    }
}

TEST(PluginInfo, LabelCopyIsBounded) {
    struct Case {
        uint32_t size;
        const char expected[8];
    } cases[] = {
        {2, {'Q', 'O', 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E}},
        {3, {'Q', 'O', 'B', 0x7E, 0x7E, 0x7E, 0x7E, 0x7E}},
        {8, {'Q', 'O', 'B', 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        char label[8];
        std::memset(label, 0x7E, sizeof label);
        uint32_t extension = 0;
        int32_t flag = 0;
        EXPECT_EQ(plugin().getPluginInfo(2, label, c.size, &extension, 0, &flag), 1);
        EXPECT_EQ(std::memcmp(label, c.expected, 8), 0) << c.size;
        unsigned char bytes[4];
        std::memcpy(bytes, &extension, 4);
        EXPECT_EQ(bytes[0], 'q');
        EXPECT_EQ(bytes[1], 'o');
        EXPECT_EQ(bytes[2], 'b');
        EXPECT_EQ(bytes[3], 0);
        EXPECT_EQ(flag, 1);
    }
}

struct Info {
    int32_t values[7];  // arguments 2..8
    char description[16];
};

Info infoOf(void* handle) {
    Info info;
    for (int32_t& v : info.values) v = -99;
    std::memset(info.description, 0x7E, sizeof info.description);
    EXPECT_EQ(
        plugin().getInfo(handle, &info.values[0], &info.values[1], &info.values[2], &info.values[3],
                         &info.values[4], &info.values[5], &info.values[6], info.description, 0),
        1);
    return info;
}

TEST(LoadPicture, InfoValues) {
    struct Case {
        bool gray;
        int width, height, qualityIndex;
        int bitsPerPixel, bytesPerRow;
        const char* description;
    } cases[] = {
        {true, 5, 3, 25, 8, 5, "QOB -q 75"},
        {false, 5, 3, 25, 24, 15, "QOB -q 75"},
        {false, 17, 1, 0, 24, 51, "QOB -q 100"},
        {true, 1, 1, 100, 8, 1, "QOB -q 0"},
    };
    for (const Case& c : cases) {
        test::HeaderFields fields;
        fields.gray = c.gray;
        fields.width = c.width;
        fields.height = c.height;
        fields.qualityIndex = c.qualityIndex;
        const std::string path = test::writeTempFile("info.qob", test::qobFile(fields, kPayload));
        void* handle = plugin().init(path.c_str());
        ASSERT_NE(handle, nullptr);
        const Info info = infoOf(handle);
        EXPECT_EQ(info.values[0], 0);
        EXPECT_EQ(info.values[1], c.width);
        EXPECT_EQ(info.values[2], c.height);
        EXPECT_EQ(info.values[3], 68);
        EXPECT_EQ(info.values[4], c.bitsPerPixel);
        EXPECT_EQ(info.values[5], c.bytesPerRow);
        EXPECT_EQ(info.values[6], 0);
        EXPECT_STREQ(info.description, c.description);
        EXPECT_LE(std::strlen(info.description), 10u);
        plugin().exit(handle);
    }
}

TEST(LoadPicture, InfoIsWrittenInTheHostsOrder) {
    // Aliasing two arguments shows which of them is written last.
    test::HeaderFields fields;
    fields.width = 5;
    fields.height = 3;
    const std::string path = test::writeTempFile("order.qob", test::qobFile(fields, kPayload));
    void* handle = plugin().init(path.c_str());
    ASSERT_NE(handle, nullptr);
    const int order[7] = {3, 4, 6, 2, 5, 7, 8};  // argument numbers in write order
    const int32_t value[9] = {0, 0, 0, 5, 3, 68, 24, 15, 0};
    for (int first = 0; first < 7; ++first) {
        for (int second = first + 1; second < 7; ++second) {
            int32_t slots[9];
            for (int32_t& v : slots) v = -1;
            int32_t* arg[9];
            for (int i = 0; i < 9; ++i) arg[i] = &slots[i];
            arg[order[first]] = arg[order[second]];
            char text[16];
            plugin().getInfo(handle, arg[2], arg[3], arg[4], arg[5], arg[6], arg[7], arg[8], text,
                             0);
            EXPECT_EQ(*arg[order[second]], value[order[second]])
                << order[first] << " before " << order[second];
        }
    }
    plugin().exit(handle);
}

TEST(LoadPicture, RowsComeInSequenceWhateverRowIsAsked) {
    test::HeaderFields fields;
    fields.width = 7;
    fields.height = 4;
    const std::vector<uint8_t> bytes = test::qobFile(fields, kPayload);
    const std::string path = test::writeTempFile("rows.qob", bytes);
    std::vector<uint8_t> expected(7 * 4 * 3);
    DecodeRequest request;
    request.data = bytes.data();
    request.size = bytes.size();
    ASSERT_EQ(decodePicture(request, expected.data()), 0);

    void* handle = plugin().init(path.c_str());
    ASSERT_NE(handle, nullptr);
    const int32_t asked[4] = {3, 3, 0, 99};
    for (int row = 0; row < 4; ++row) {
        uint8_t line[22];
        std::memset(line, 0xEE, sizeof line);
        EXPECT_EQ(plugin().getLine(handle, asked[row], line), 1);
        EXPECT_EQ(std::memcmp(line, &expected[size_t(row) * 21], 21), 0) << row;
        EXPECT_EQ(line[21], 0xEE);  // exactly one row
    }
    uint8_t line[22];
    std::memset(line, 0xEE, sizeof line);
    EXPECT_EQ(plugin().getLine(handle, 0, line), 0);
    for (uint8_t b : line) EXPECT_EQ(b, 0xEE);
    plugin().exit(handle);
}

TEST(LoadPicture, EmptyPictureOpens) {
    for (auto [width, height] : {std::pair{0, 0}, std::pair{0, 9}, std::pair{9, 0}}) {
        test::HeaderFields fields;
        fields.width = width;
        fields.height = height;
        const std::string path = test::writeTempFile("empty.qob", test::qobFile(fields, {1, 2}));
        void* handle = plugin().init(path.c_str());
        ASSERT_NE(handle, nullptr) << width << "x" << height;
        const Info info = infoOf(handle);
        EXPECT_EQ(info.values[1], width);
        EXPECT_EQ(info.values[2], height);
        // Each of the height rows is handed out empty; a picture without rows has none.
        uint8_t line[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        for (int row = 0; row < height; ++row) EXPECT_EQ(plugin().getLine(handle, row, line), 1);
        if (width > 0 || height == 0) {
            EXPECT_EQ(plugin().getLine(handle, height, line), 0);
        }
        EXPECT_EQ(line[0], 0xEE);
        plugin().exit(handle);
    }
}

TEST(LoadPicture, ColormapIsNeverOffered) {
    EXPECT_EQ(plugin().getColormap(nullptr, nullptr), 0);
}

TEST(LoadPicture, NullArgumentsAreRefused) {
    EXPECT_EQ(plugin().init(nullptr), nullptr);
    uint8_t line[4];
    EXPECT_EQ(plugin().getLine(nullptr, 0, line), 0);
    int32_t v;
    char text[16];
    EXPECT_EQ(plugin().getInfo(nullptr, &v, &v, &v, &v, &v, &v, &v, text, 0), 0);
    plugin().exit(nullptr);
}

TEST(LoadPicture, EveryFailureReturnsNullAndLeavesNoDescriptor) {
    test::HeaderFields gray;
    gray.gray = true;
    std::vector<uint8_t> badMagic = test::qobFile(gray, kPayload);
    badMagic[1] = 'X';
    std::vector<uint8_t> badQuality = test::qobFile(gray, kPayload);
    badQuality[3] = 101;
    std::vector<uint8_t> badChroma = test::qobFile(gray, kPayload);
    badChroma[4] = 81;
    std::vector<uint8_t> badFlags = test::qobFile(gray, kPayload);
    badFlags[5] = 4;
    const std::vector<uint8_t> header = test::headerBytes(gray);
    const std::vector<uint8_t> shortHeader(header.begin(), header.begin() + 9);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"bad magic", badMagic},
        {"bad quality", badQuality},
        {"bad chroma", badChroma},
        {"bad flags", badFlags},
        {"header cut short", shortHeader},
        {"no payload", test::qobFile(gray, {})},
        {"one payload byte", test::qobFile(gray, {0x40})},
        {"empty file", {}},
    };
    const int descriptors = test::openDescriptorCount();
    for (const Case& c : cases) {
        const std::string path = test::writeTempFile("bad.qob", c.bytes);
        EXPECT_EQ(plugin().init(path.c_str()), nullptr) << c.name;
        EXPECT_EQ(test::openDescriptorCount(), descriptors) << c.name;
    }
    EXPECT_EQ(plugin().init("/nonexistent/picture.qob"), nullptr);
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
}

}  // namespace
}  // namespace xqob
