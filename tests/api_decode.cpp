// The C++ interface over the C one: the same bytes and statuses as the C calls and the
// plug-in, header information, a failure for every null or empty argument, and the version.
#include <gtest/gtest.h>

#include <filesystem>
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

std::vector<std::string> bundledSamples() {
    const std::filesystem::path folder = test::sourcePath("samples");
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".qob") paths.push_back(entry.path().string());
    }
    return paths;
}

// The C call's status, message and rows, for a file in one format.
struct CResult {
    xqob_status status;
    std::string message;
    std::vector<uint8_t> rows;
};

CResult decodeThroughC(const std::vector<uint8_t>& bytes, xqob_format format) {
    xqob_image image{};
    image.struct_size = sizeof image;
    image.format = format;
    xqob_error error{sizeof error, XQOB_OK, {}};
    const xqob_status status =
        xqob_decode_memory(bytes.data(), bytes.size(), nullptr, &image, &error);
    CResult result{status, error.message, {}};
    if (image.pixels != nullptr) result.rows.assign(image.pixels, image.pixels + image.buffer_size);
    xqob_free(image.pixels);
    return result;
}

TEST(CppInterface, SameBytesAndStatusesAsTheCInterface) {
    std::vector<std::vector<uint8_t>> files;
    for (const std::string& path : bundledSamples()) files.push_back(test::readFileBytes(path));
    ASSERT_GE(files.size(), 3u);
    const std::vector<uint8_t> whole = files[0];
    files.emplace_back(whole.begin(), whole.begin() + 9);                 // inside the header
    files.emplace_back(whole.begin(), whole.begin() + whole.size() / 3);  // inside the payload
    std::vector<uint8_t> damaged = whole;
    damaged[3] = 101;  // quality index
    files.push_back(damaged);
    for (size_t i = 0; i < files.size(); ++i) {
        for (Format format : {Format::automatic, Format::gray, Format::bgra}) {
            SCOPED_TRACE(testing::Message() << "file " << i << ", format " << int(format));
            const CResult c = decodeThroughC(files[i], xqob_format(format));
            Image image;
            image.format = format;
            const Error error = decodeMemory(files[i], image);
            EXPECT_EQ(int(error.code), int(c.status));
            EXPECT_EQ(error.message, c.message);
            EXPECT_TRUE(std::ranges::equal(image.bytes(), c.rows));
        }
    }
}

TEST(CppInterface, FileMemoryReaderAndPluginAgree) {
    for (const auto& [gray, fullChroma, width, height] :
         {std::tuple{true, false, 33, 17}, std::tuple{false, true, 5, 40}}) {
        const std::vector<uint8_t> bytes = samplePicture(gray, fullChroma, width, height);
        const std::string path = test::writeTempFile("agree.qob", bytes);
        Image fromFile, fromMemory, fromReader;
        ASSERT_FALSE(decodeFile(path, fromFile));
        ASSERT_FALSE(decodeMemory(bytes, fromMemory));
        size_t offset = 0;
        const Reader read = [&](uint8_t* buffer, size_t size) {
            const size_t count = std::min<size_t>({size, 7, bytes.size() - offset});
            std::copy_n(bytes.begin() + ptrdiff_t(offset), count, buffer);
            offset += count;
            return count;
        };
        ASSERT_FALSE(decodeReader(read, fromReader));
        EXPECT_EQ(fromFile.width, width);
        EXPECT_EQ(fromFile.channels(), gray ? 1 : 3);
        EXPECT_TRUE(std::ranges::equal(fromFile.bytes(), fromMemory.bytes()));
        EXPECT_TRUE(std::ranges::equal(fromFile.bytes(), fromReader.bytes()));

        void* handle = test::plugin().init(path.c_str());
        ASSERT_NE(handle, nullptr);
        std::vector<uint8_t> line(size_t(width) * size_t(fromFile.channels()));
        for (int32_t r = 0; r < height; ++r) {
            ASSERT_EQ(test::plugin().getLine(handle, r, line.data()), 1);
            EXPECT_TRUE(std::equal(line.begin(), line.end(), fromFile.row(r))) << "row " << r;
        }
        test::plugin().exit(handle);
    }
}

TEST(CppInterface, InfoFromEverySource) {
    test::HeaderFields fields;
    fields.width = 320;
    fields.height = 240;
    fields.qualityIndex = 25;
    fields.chromaQuantiser = 30;
    fields.flags = 1;
    fields.fullChroma = true;
    const std::vector<uint8_t> bytes = test::qobFile(fields, std::vector<uint8_t>(100, 7));
    const std::string path = test::writeTempFile("info.qob", bytes);
    size_t offset = 0;
    const Reader read = [&](uint8_t* buffer, size_t size) {
        const size_t count = std::min(size, bytes.size() - offset);
        std::copy_n(bytes.begin() + ptrdiff_t(offset), count, buffer);
        offset += count;
        return count;
    };
    PictureInfo fromFile, fromMemory, fromReader;
    ASSERT_FALSE(readInfo(path, fromFile));
    ASSERT_FALSE(readInfo(bytes, fromMemory));
    ASSERT_FALSE(readInfo(read, fromReader));
    for (const PictureInfo& info : {fromFile, fromMemory, fromReader}) {
        EXPECT_EQ(info.width, 320);
        EXPECT_EQ(info.height, 240);
        EXPECT_TRUE(info.fullChroma);
        EXPECT_EQ(info.quality, 75);
        EXPECT_EQ(info.chromaQuality, 50);
        EXPECT_TRUE(info.optionalBlock);
        EXPECT_EQ(info.headerBytes, 24u);
    }
    EXPECT_EQ(fromFile.payloadBytes, 100u);
    EXPECT_EQ(fromMemory.payloadBytes, 100u);
    EXPECT_EQ(fromReader.payloadBytes, 0u);  // only the header was read
}

// Each call with each argument null or empty: a status and a message, never a crash.
TEST(CppInterface, NullAndEmptyArgumentsFailCleanly) {
    const std::vector<uint8_t> bytes = samplePicture(true, false, 16, 16);
    const Reader none;
    PictureInfo info;
    Image image;
    std::vector<uint8_t> qob;
    const uint8_t* null = nullptr;
    const char* nullPath = nullptr;
    struct Case {
        const char* name;
        std::function<Error()> call;
        ErrorCode code;
    } cases[] = {
        {"readInfo(null path)", [&] { return readInfo(nullPath, info); },
         ErrorCode::invalidArgument},
        {"readInfo(\"\")", [&] { return readInfo("", info); }, ErrorCode::cannotOpen},
        {"readInfo(null, 100)", [&] { return readInfo(null, 100, info); },
         ErrorCode::invalidArgument},
        {"readInfo(empty span)", [&] { return readInfo(std::span<const uint8_t>(), info); },
         ErrorCode::truncated},
        {"readInfo(no reader)", [&] { return readInfo(none, info); }, ErrorCode::invalidArgument},
        {"decodeFile(null path)", [&] { return decodeFile(nullPath, image); },
         ErrorCode::invalidArgument},
        {"decodeFile(\"\")", [&] { return decodeFile("", image); }, ErrorCode::cannotOpen},
        {"decodeMemory(null, 100)", [&] { return decodeMemory(null, 100, image); },
         ErrorCode::invalidArgument},
        {"decodeMemory(null, 0)", [&] { return decodeMemory(null, 0, image); },
         ErrorCode::truncated},
        {"decodeReader(no reader)", [&] { return decodeReader(none, image); },
         ErrorCode::invalidArgument},
        {"rowsOnly without rows",
         [&] {
             Image band;
             band.rowsOnly = true;
             return decodeMemory(bytes, band);
         },
         ErrorCode::invalidArgument},
        {"encode(null pixels)",
         [&] {
             return encode(ImageView{nullptr, 4, 4}, {}, qob);
         },
         ErrorCode::invalidArgument},
        {"encode(automatic format)",
         [&] {
             return encode(ImageView{bytes.data(), 1, 1, Format::automatic}, {}, qob);
         },
         ErrorCode::invalidArgument},
    };
    for (const Case& c : cases) {
        const Error error = c.call();
        EXPECT_EQ(error.code, c.code) << c.name;
        EXPECT_FALSE(error.message.empty()) << c.name;
    }
    EXPECT_EQ(image.data(), nullptr);  // failures leave the Image as it was
}

TEST(CppInterface, CallersBufferAndStride) {
    const std::vector<uint8_t> bytes = samplePicture(false, false, 20, 9);
    Image packed;
    packed.format = Format::rgba;
    ASSERT_FALSE(decodeMemory(bytes, packed));
    std::vector<uint8_t> memory(8 * 100 + 80);
    Image own;
    own.format = Format::rgba;
    own.stride = 100;
    own.buffer = std::span(memory).first(memory.size() - 1);
    EXPECT_EQ(decodeMemory(bytes, own).code, ErrorCode::bufferTooSmall);
    own.buffer = memory;
    ASSERT_FALSE(decodeMemory(bytes, own));
    EXPECT_EQ(own.data(), memory.data());
    for (int32_t r = 0; r < 9; ++r) {
        EXPECT_TRUE(std::equal(packed.row(r), packed.row(r) + 80, own.row(r))) << "row " << r;
    }
}

TEST(CppInterface, VersionMacrosMatchTheLibrary) {
    EXPECT_EQ(version(), uint32_t(XQOB_VERSION));
    EXPECT_EQ(xqob_version(),
              uint32_t(XQOB_VERSION_MAJOR << 16 | XQOB_VERSION_MINOR << 8 | XQOB_VERSION_PATCH));
    EXPECT_EQ(std::string(versionString()), std::to_string(XQOB_VERSION_MAJOR) + "." +
                                                std::to_string(XQOB_VERSION_MINOR) + "." +
                                                std::to_string(XQOB_VERSION_PATCH));
}

}  // namespace
}  // namespace xqob
