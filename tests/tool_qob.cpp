// The qob tool driven as a user would: every command, the exit statuses and the messages.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <xqob/xqob.hpp>

#include "tests/support/qob_files.h"

namespace xqob {
namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path) {
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

ToolRun qob(const std::string& arguments) {
    const std::string out = test::writeTempFile("tool.out", {});
    const std::string err = test::writeTempFile("tool.err", {});
    const std::string command =
        std::string(QOB_TOOL_PATH) + " " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
}

// A small encoded picture written to a temporary file.
std::string encodedFile(const std::string& name, int width, int height, int channels,
                        EncodeOptions options = {}) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = uint8_t((i * 7 + (i / size_t(width * channels)) * 13) & 0xFF);
    }
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(encode(image, options, &bytes));
    return test::writeTempFile(name, bytes);
}

Image readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    Image image;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = (png.format & PNG_FORMAT_FLAG_COLOR) ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    image.width = int32_t(png.width);
    image.height = int32_t(png.height);
    image.channels = int32_t(PNG_IMAGE_PIXEL_CHANNELS(png.format));
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr);
    return image;
}

TEST(QobTool, UsageAndVersion) {
    struct Case {
        const char* arguments;
        int status;
        const char* text;  // expected in standard output (status 0) or error (status 2)
    } cases[] = {
        {"--version", 0, "qob "},
        {"--help", 0, "usage: qob COMMAND"},
        {"info --help", 0, "usage: qob info"},
        {"decode --help", 0, "usage: qob decode"},
        {"encode --help", 0, "usage: qob encode"},
        {"", 2, "no command"},
        {"frobnicate", 2, "unknown command"},
        {"info", 2, "usage: qob info"},
        {"info --bogus x.qob", 2, "unknown option"},
        {"decode", 2, "no input file"},
        {"decode a.qob", 2, "give either -o OUT or -d DIR"},
        {"decode a.qob b.qob -o x.png", 2, "-o takes one input"},
        {"decode a.qob -o x.bmp", 2, "cannot tell the format"},
        {"decode a.qob -o x.png -j 0", 2, "bad value for -j"},
        {"decode a.qob -o x.png --max-pixels lots", 2, "bad value for --max-pixels"},
        {"decode a.qob -d /tmp -f gif", 2, "unknown format"},
        {"encode", 2, "input"},
        {"encode in.png -o out.qob -q 101", 2, "0..100"},
    };
    for (const Case& c : cases) {
        const ToolRun run = qob(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        const std::string& text = c.status == 0 ? run.out : run.err;
        EXPECT_NE(text.find(c.text), std::string::npos) << c.arguments << ": " << text;
    }
}

TEST(QobTool, InfoDescribesEachFile) {
    EncodeOptions options;
    options.quality = 60;
    options.chromaQuality = 40;
    options.fullChroma = true;
    const std::string colour = encodedFile("info-colour.qob", 40, 24, 3, options);
    const std::string gray = encodedFile("info-gray.qob", 17, 5, 1);
    const uintmax_t bytes = std::filesystem::file_size(colour);
    const ToolRun run = qob("info " + colour + " " + gray);
    ASSERT_EQ(run.status, 0) << run.err;
    char bpp[32];
    std::snprintf(bpp, sizeof bpp, "%.3f bpp", double(bytes) * 8 / (40 * 24));
    EXPECT_NE(
        run.out.find(colour + ": 40x24 colour, chroma 4:4:4, quality 60, chroma quality 40, " +
                     std::to_string(bytes) + " bytes, " + bpp),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(gray + ": 17x5 gray, chroma none, quality 75"), std::string::npos);

    const ToolRun json = qob("info --json " + colour);
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(
        json.out.find("\"width\": 40, \"height\": 24, \"gray\": false, \"chroma\": \"4:4:4\""),
        std::string::npos)
        << json.out;
    EXPECT_EQ(json.out.front(), '[');
}

TEST(QobTool, DecodedFilesHoldTheDecodersPixels) {
    const std::string colour = encodedFile("decode-colour.qob", 37, 21, 3);
    const std::string gray = encodedFile("decode-gray.qob", 19, 8, 1);
    Image expectedColour, expectedGray;
    ASSERT_FALSE(decodeFile(colour, &expectedColour));
    ASSERT_FALSE(decodeFile(gray, &expectedGray));

    const std::string png = colour + ".png";
    ASSERT_EQ(qob("decode " + colour + " -o " + png).status, 0);
    const Image fromPng = readPng(png);
    EXPECT_EQ(fromPng.width, 37);
    EXPECT_EQ(fromPng.channels, 3);
    EXPECT_EQ(fromPng.pixels, expectedColour.pixels);

    const std::string grayPng = gray + ".png";
    ASSERT_EQ(qob("decode " + gray + " -o " + grayPng).status, 0);
    EXPECT_EQ(readPng(grayPng).pixels, expectedGray.pixels);

    auto pnm = [](const char* magic, const Image& image) {
        std::string text = std::string(magic) + "\n" + std::to_string(image.width) + " " +
                           std::to_string(image.height) + "\n255\n";
        return text + std::string(image.pixels.begin(), image.pixels.end());
    };
    ASSERT_EQ(qob("decode " + colour + " -o " + colour + ".ppm").status, 0);
    EXPECT_EQ(readText(colour + ".ppm"), pnm("P6", expectedColour));
    ASSERT_EQ(qob("decode " + gray + " -o " + gray + ".PGM").status, 0);
    EXPECT_EQ(readText(gray + ".PGM"), pnm("P5", expectedGray));
    const ToolRun toStdout = qob("decode " + colour + " -o -");
    ASSERT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, pnm("P6", expectedColour));
    EXPECT_EQ(qob("decode " + colour + " -o " + colour + ".pgm").status, 1);

    const ToolRun verbose = qob("decode -v " + gray + " -o " + gray + ".pnm");
    EXPECT_EQ(verbose.status, 0);
    EXPECT_NE(verbose.err.find("decoded in"), std::string::npos);
    EXPECT_NE(verbose.err.find("MP/s"), std::string::npos);
}

TEST(QobTool, FailuresNameTheFileAndTheReason) {
    const std::string good = encodedFile("fail-good.qob", 16, 16, 1);
    std::vector<uint8_t> bytes = test::readFileBytes(good);
    const std::string notQob = test::writeTempFile("fail-not.qob", {'P', 'N', 'G', 1, 2, 3, 4});
    const std::string truncated = test::writeTempFile(
        "fail-truncated.qob", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 15));
    test::HeaderFields huge;
    huge.width = 65535;
    huge.height = 65535;
    const std::string tooLarge = test::writeTempFile("fail-huge.qob", test::qobFile(huge, {1, 2}));
    struct Case {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"decode /nonexistent/a.qob -o /tmp/a.png",
         "qob: /nonexistent/a.qob: cannot open: No such file or directory"},
        {"decode " + notQob + " -o /tmp/a.png",
         "qob: " + notQob + ": not a QOB file (signature is not \"QOB\")"},
        {"decode " + truncated + " -o /tmp/a.png",
         "qob: " + truncated + ": payload ends after 1 byte"},
        {"decode " + tooLarge + " -o /tmp/a.png",
         "qob: " + tooLarge + ": picture of 65535 x 65535 exceeds the limit of 268435456 pixels"},
        {"decode --max-pixels 255 " + good + " -o /tmp/a.png",
         "picture of 16 x 16 exceeds the limit of 255 pixels"},
        {"decode " + good + " -o /nonexistent/dir/a.png",
         "qob: /nonexistent/dir/a.png: cannot write: No such file or directory"},
        {"info " + notQob, "qob: " + notQob + ": not a QOB file"},
        {"encode /nonexistent/in.png -o /tmp/a.qob", "qob: /nonexistent/in.png: "},
    };
    for (const Case& c : cases) {
        const ToolRun run = qob(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    }
    EXPECT_EQ(qob("decode --max-pixels 0 " + tooLarge + " -o /tmp/huge.png").status, 1);
    EXPECT_EQ(qob("decode --max-pixels 256 " + good + " -o " + good + ".png").status, 0);
}

TEST(QobTool, BatchGoesOnPastAFailure) {
    const std::string a = encodedFile("batch-a.qob", 20, 20, 3);
    const std::string b = encodedFile("batch-b.qob", 33, 9, 1);
    const std::string bad = test::writeTempFile("batch-bad.qob", {'Q', 'O', 'B', 101});
    const std::filesystem::path folder = std::filesystem::path(a).parent_path() / "batch-out";
    std::filesystem::remove_all(folder);
    const ToolRun run = qob("decode -j 2 -d " + folder.string() + " " + a + " " + bad + " " + b);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("qob: " + bad + ": quality index 101 out of range 0..100"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);  // no progress bar off a terminal
    Image expected;
    ASSERT_FALSE(decodeFile(b, &expected));
    EXPECT_EQ(readPng((folder / "batch-b.png").string()).pixels, expected.pixels);
    EXPECT_TRUE(std::filesystem::exists(folder / "batch-a.png"));
    EXPECT_FALSE(std::filesystem::exists(folder / "batch-bad.png"));

    const ToolRun ppm = qob("decode -f ppm -d " + folder.string() + " " + a + " " + b);
    EXPECT_EQ(ppm.status, 0) << ppm.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "batch-b.ppm"));
}

}  // namespace
}  // namespace xqob
