// The qob tool driven as a user would: every command, the exit statuses and the messages.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <xqob/xqob.hpp>

#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "tests/support/tool_run.h"

namespace xqob {
namespace {

using test::ToolRun;

std::string readText(const std::string& path) {
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

ToolRun qob(const std::string& arguments) {
    return test::runQob(arguments);
}

// A small encoded picture written to a temporary file.
std::string encodedFile(const std::string& name, int width, int height, int channels,
                        EncodeOptions options = {}) {
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * size_t(channels));
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = uint8_t((i * 7 + (i / size_t(width * channels)) * 13) & 0xFF);
    }
    return test::writeTempFile(name, test::encodeRows(pixels, width, height, channels, options));
}

// The decoder's rows of a file, packed, in format.
test::Picture decoded(const std::string& path, Format format = Format::automatic) {
    Image image;
    image.format = format;
    EXPECT_FALSE(decodeFile(path, image)) << path;
    return test::Picture{image.width, image.height, image.channels(), test::packedRows(image)};
}

test::Picture readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    test::Picture image;
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
        {"--help", 0, "Usage: qob [OPTIONS] SUBCOMMAND"},
        {"help", 0, "Usage: qob [OPTIONS] SUBCOMMAND"},
        {"info --help", 0, "Usage: qob info"},
        {"help info", 0, "Usage: qob info"},
        {"decode --help", 0, "Usage: qob decode"},
        {"help decode", 0, "Usage: qob decode"},
        {"encode --help", 0, "Usage: qob encode"},
        {"help encode", 0, "--background"},
        {"", 2, "qob: no command given"},
        {"frobnicate", 2, "qob: unknown command 'frobnicate'"},
        {"help frobnicate", 2, "qob: no command 'frobnicate'"},
        {"info", 2, "qob: no QOB file given (- reads standard input)\nRun 'qob info --help'"},
        {"decode -o x.png", 2, "qob: no QOB file given"},
        {"info --bogus x.qob", 2, "--bogus"},
        {"decode", 2, "Run 'qob decode --help'"},
        {"decode a.qob", 2, "qob: give either -o OUT or -d DIR\nRun 'qob decode --help'"},
        {"decode a.qob b.qob -o x.png", 2, "qob: -o takes one input"},
        {"decode a.qob -o x.bmp", 2, "qob: cannot tell the format of x.bmp"},
        {"decode a.qob -o x.png -j 0", 2, "--jobs"},
        {"decode a.qob -o x.png --max-pixels lots", 2, "--max-pixels"},
        {"decode a.qob -o x.png --max-pixels -5", 2, "--max-pixels"},
        {"decode a.qob -o x.png --png-level 10", 2, "--png-level"},
        {"decode a.qob -d /tmp -f gif", 2, "qob: unknown format 'gif'"},
        {"decode - -d /tmp", 2, "qob: standard input needs -o OUT"},
        {"encode", 2, "Run 'qob encode --help'"},
        {"encode", 2, "qob: no picture to encode given"},
        {"encode in.png", 2, "qob: no output given: add -o OUT.qob\nRun 'qob encode --help'"},
        {"encode in.png -o out.qob -q 101", 2, "--quality: Value 101 not in range 0 to 100"},
        {"encode in.png -o out.qob --quality 101", 2, "--quality"},
        {"encode in.png -o out.qob --chroma-quality 4x", 2, "--chroma-quality"},
        {"encode in.png -o out.qob --background pink", 2, "--background takes white"},
    };
    for (const Case& c : cases) {
        const ToolRun run = qob(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        const std::string& text = c.status == 0 ? run.out : run.err;
        EXPECT_NE(text.find(c.text), std::string::npos) << c.arguments << ": " << text;
        if (c.status != 0) {
            // One message, one prefix: no usage dump, nothing from the libraries.
            EXPECT_EQ(run.err.rfind("qob: ", 0), 0u) << run.err;
            EXPECT_EQ(run.err.find("Usage"), std::string::npos) << run.err;
        }
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
    EXPECT_NE(run.out.find(colour + ": 40x24 colour, quality 60 4:4:4, chroma quality 40, " +
                           std::to_string(bytes) + " bytes, " + bpp),
              std::string::npos)
        << run.out;
    // A gray picture has no chroma, so no chroma quality either.
    EXPECT_NE(run.out.find(gray + ": 17x5 gray, quality 75, "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("chroma", run.out.find(gray + ":")), std::string::npos) << run.out;

    const ToolRun json = qob("info --json " + colour + " " + gray);
    ASSERT_EQ(json.status, 0);
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0]["file"], colour);
    EXPECT_EQ(parsed[0]["width"], 40);
    EXPECT_EQ(parsed[0]["height"], 24);
    EXPECT_EQ(parsed[0]["gray"], false);
    EXPECT_EQ(parsed[0]["chroma"], "4:4:4");
    EXPECT_EQ(parsed[0]["quality"], 60);
    EXPECT_EQ(parsed[0]["chromaQuality"], 40);
    EXPECT_EQ(parsed[0]["bytes"], bytes);
    EXPECT_TRUE(parsed[1]["chroma"].is_null());
    EXPECT_TRUE(parsed[1]["chromaQuality"].is_null());
    EXPECT_EQ(parsed[0]["headerBytes"], 14);
    EXPECT_EQ(parsed[0]["payloadBytes"], bytes - 14);
    EXPECT_EQ(parsed[0]["optionalBlock"], false);
}

// Every input gets its entry; a cut payload is a failure, not a small file.
TEST(QobTool, InfoReportsEveryFailure) {
    const std::vector<uint8_t> whole =
        test::readFileBytes(encodedFile("info-whole.qob", 64, 48, 3));
    const std::string cut = test::writeTempFile(
        "info-cut.qob", std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
    const std::string missing = "/nonexistent/x.qob";
    const ToolRun run = qob("info " + cut);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("qob: " + cut +
                           ": the payload holds fewer bytes than the 64x48 "
                           "picture its header declares needs"),
              std::string::npos)
        << run.err;
    const ToolRun json = qob("info --json " + cut + " " + missing);
    EXPECT_EQ(json.status, 1);
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0]["file"], cut);
    EXPECT_EQ(parsed[0]["width"], 64);
    EXPECT_TRUE(parsed[0]["error"].is_string());
    EXPECT_EQ(parsed[1]["file"], missing);
    EXPECT_EQ(parsed[1]["error"], "cannot open: No such file or directory");
}

TEST(QobTool, DecodedFilesHoldTheDecodersPixels) {
    const std::string colour = encodedFile("decode-colour.qob", 37, 21, 3);
    const std::string gray = encodedFile("decode-gray.qob", 19, 8, 1);
    const test::Picture expectedColour = decoded(colour);
    const test::Picture expectedGray = decoded(gray);

    const std::string png = colour + ".png";
    ASSERT_EQ(qob("decode " + colour + " -o " + png).status, 0);
    const test::Picture fromPng = readPng(png);
    EXPECT_EQ(fromPng.width, 37);
    EXPECT_EQ(fromPng.channels, 3);
    EXPECT_EQ(fromPng.pixels, expectedColour.pixels);

    // Every PNG compression level holds the same pixels.
    for (const char* level : {"0", "9"}) {
        const std::string leveled = colour + "-" + level + ".png";
        ASSERT_EQ(qob("decode --png-level " + std::string(level) + " " + colour + " -o " + leveled)
                      .status,
                  0);
        EXPECT_EQ(readPng(leveled).pixels, expectedColour.pixels) << level;
    }

    const std::string grayPng = gray + ".png";
    ASSERT_EQ(qob("decode " + gray + " -o " + grayPng).status, 0);
    EXPECT_EQ(readPng(grayPng).pixels, expectedGray.pixels);

    auto pnm = [](const char* magic, const test::Picture& image) {
        std::string text = std::string(magic) + "\n" + std::to_string(image.width) + " " +
                           std::to_string(image.height) + "\n255\n";
        return text + std::string(image.pixels.begin(), image.pixels.end());
    };
    ASSERT_EQ(qob("decode " + colour + " -o " + colour + ".ppm").status, 0);
    EXPECT_EQ(readText(colour + ".ppm"), pnm("P6", expectedColour));
    ASSERT_EQ(qob("decode " + gray + " -o " + gray + ".PGM").status, 0);
    EXPECT_EQ(readText(gray + ".PGM"), pnm("P5", expectedGray));
    // PPM of a gray picture: each sample three times.
    test::Picture grayAsColour = expectedGray;
    grayAsColour.pixels.clear();
    for (uint8_t sample : expectedGray.pixels)
        grayAsColour.pixels.insert(grayAsColour.pixels.end(), 3, sample);
    ASSERT_EQ(qob("decode " + gray + " -o " + gray + ".ppm").status, 0);
    EXPECT_EQ(readText(gray + ".ppm"), pnm("P6", grayAsColour));
    const ToolRun toStdout = qob("decode " + colour + " -o -");
    ASSERT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, pnm("P6", expectedColour));
    // PGM of a colour picture: the library's gray.
    ASSERT_EQ(qob("decode " + colour + " -o " + colour + ".pgm").status, 0);
    EXPECT_EQ(readText(colour + ".pgm"), pnm("P5", decoded(colour, Format::gray)));

    // -f chooses the format where the extension names none, and for standard output.
    ASSERT_EQ(qob("decode " + colour + " -f ppm -o " + colour + ".image").status, 0);
    EXPECT_EQ(readText(colour + ".image"), pnm("P6", expectedColour));
    const ToolRun pngToStdout = qob("decode " + colour + " -o - -f png");
    ASSERT_EQ(pngToStdout.status, 0);
    EXPECT_EQ(pngToStdout.out, readText(png));
    const ToolRun clash = qob("decode " + colour + " -o " + colour + ".png -f ppm");
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.err.find("-f ppm disagrees with the extension"), std::string::npos);

    const ToolRun verbose = qob("decode -v " + gray + " -o " + gray + ".pnm");
    EXPECT_EQ(verbose.status, 0);
    EXPECT_NE(verbose.err.find("decoded in"), std::string::npos);
    EXPECT_NE(verbose.err.find("MP/s"), std::string::npos);
}

TEST(QobTool, EveryThreadCountDecodesAlike) {
    const std::string colour = encodedFile("threads.qob", 70, 90, 3);
    const std::string gray = encodedFile("threads-gray.qob", 40, 33, 1);
    const std::string reference = colour + ".ppm";
    ASSERT_EQ(qob("decode -t 1 " + colour + " -o " + reference).status, 0);
    for (const char* threads : {"0", "2", "5"}) {
        const std::string out = colour + "-" + threads + ".ppm";
        ASSERT_EQ(qob("decode -t " + std::string(threads) + " " + colour + " -o " + out).status, 0);
        EXPECT_EQ(readText(out), readText(reference)) << threads;
    }
    // A batch on two pictures at once, each on two threads.
    const std::string folder = test::freshFolder("threads-batch");
    ASSERT_EQ(qob("decode -j 2 -t 2 -f ppm " + colour + " " + gray + " -d " + folder).status, 0);
    EXPECT_EQ(readText(folder + "/threads.ppm"), readText(reference));
    EXPECT_EQ(qob("decode -t -1 " + colour + " -o " + reference).status, 2);
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
    EXPECT_NE(run.err.find("qob: 2 decoded, 1 failed\n"), std::string::npos) << run.err;
    EXPECT_EQ(readPng((folder / "batch-b.png").string()).pixels, decoded(b).pixels);
    EXPECT_TRUE(std::filesystem::exists(folder / "batch-a.png"));
    EXPECT_FALSE(std::filesystem::exists(folder / "batch-bad.png"));

    const ToolRun ppm = qob("decode -f ppm -d " + folder.string() + " " + a + " " + b);
    EXPECT_EQ(ppm.status, 0) << ppm.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "batch-b.ppm"));
}

}  // namespace
}  // namespace xqob
