// The inputs of qob: pipes and "-", directories, transparency, palettes and file names that
// are not UTF-8.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>
#include <xqob/xqob.hpp>

#include "tests/support/png_bytes.h"
#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"
#include "tests/support/tool_run.h"
#include "xqob/encoder/encode_picture.h"

namespace xqob::test {
namespace {

namespace fs = std::filesystem;

std::string asText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The QOB file that the encoder makes of pixels with default options.
std::vector<uint8_t> expectedFile(const std::vector<uint8_t>& pixels, int32_t width, int32_t height,
                                  int32_t channels) {
    EncodedPicture encoded;
    EXPECT_TRUE(encodePicture(SourceImage{pixels.data(), width, height, channels}, EncoderOptions{},
                              &encoded));
    return encoded.file;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(QobToolInputs, PipesAndStandardStreams) {
    const std::string folder = freshFolder("pipes");
    const Picture picture = makePicture(Pattern::mixed, 40, 24, 3);
    const std::vector<uint8_t> ppmBytes = pnmBytes(40, 24, 3, picture.pixels);
    const std::vector<uint8_t> qobBytes = expectedFile(picture.pixels, 40, 24, 3);
    ASSERT_TRUE(fs::exists(writeTempFile("pipes/in.ppm", ppmBytes)));
    ASSERT_TRUE(fs::exists(writeTempFile("pipes/x.qob", qobBytes)));
    Image decoded;
    ASSERT_FALSE(decodeMemory(qobBytes, decoded));
    const std::string ppmOfDecoded = "P6\n40 24\n255\n" + asText(packedRows(decoded));

    const std::string q = qobCommand();
    const std::string cd = "cd " + quoted(folder) + " && ";
    struct Case {
        std::string command;  // run in the folder
        std::string out;      // expected standard output
        std::string file;     // a file the command writes, "" for none
        std::string content;  // its expected content
    } cases[] = {
        {"cat x.qob | " + q + " decode /dev/stdin -o a.ppm", "", "a.ppm", ppmOfDecoded},
        {"cat x.qob | " + q + " decode - -o b.ppm", "", "b.ppm", ppmOfDecoded},
        {q + " decode x.qob -o -", ppmOfDecoded, "", ""},
        {"cat x.qob | " + q + " decode - -o -", ppmOfDecoded, "", ""},
        {"cat in.ppm | " + q + " encode - -o c.qob", "", "c.qob", asText(qobBytes)},
        {"cat in.ppm | " + q + " encode /dev/stdin -o -", asText(qobBytes), "", ""},
        {q + " encode in.ppm -o - | " + q + " decode - -o -", ppmOfDecoded, "", ""},
        {"cat x.qob | " + q + " info /dev/stdin",
         "/dev/stdin: 40x24 colour, quality 75 4:2:0, chroma quality 52, " +
             std::to_string(qobBytes.size()) + " bytes",
         "", ""},
        {"cat x.qob | " + q + " info -", "standard input: 40x24", "", ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = runShell(cd + c.command);
        EXPECT_EQ(run.status, 0) << c.command << ": " << run.err;
        const bool info = c.command.find(" info ") != std::string::npos;
        if (info) {
            EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << c.command << ": " << run.out;
        } else {
            EXPECT_TRUE(run.out == c.out) << c.command << ": " << run.out.size() << " bytes, not "
                                          << c.out.size() << ": " << run.err;
        }
        if (!c.file.empty()) {
            EXPECT_TRUE(asText(readFileBytes(folder + "/" + c.file)) == c.content) << c.command;
        }
    }
    EXPECT_FALSE(fs::exists(folder + "/-"));  // "-" is never a file name
}

TEST(QobToolInputs, DirectoryIsNamedAsSuch) {
    const std::string folder = freshFolder("directory");
    const std::string good =
        writeTempFile("directory/good.qob", expectedFile(std::vector<uint8_t>(64, 9), 8, 8, 1));
    const std::string cases[] = {
        "info " + quoted(folder),
        "decode " + quoted(folder) + " -o " + quoted(folder + "/a.png"),
        "encode " + quoted(folder) + " -o " + quoted(folder + "/a.qob"),
    };
    for (const std::string& arguments : cases) {
        const ToolRun run = runQob(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.err, "qob: " + folder + ": is a directory, not a file\n") << arguments;
    }
    const ToolRun output = runQob("decode " + quoted(good) + " -f png -o " + quoted(folder));
    EXPECT_EQ(output.status, 1);
    EXPECT_EQ(output.err, "qob: " + folder + ": is a directory\n");
}

// "--" ends the options, so that a file name may begin with "-".
TEST(QobToolInputs, DoubleDashEndsTheOptions) {
    const std::string folder = freshFolder("dash");
    writeTempFile("dash/-dash.qob", expectedFile(std::vector<uint8_t>(64, 50), 8, 8, 1));
    const std::string cd = "cd " + quoted(folder) + " && " + qobCommand();
    EXPECT_EQ(runShell(cd + " info -- -dash.qob").status, 0);
    const ToolRun run = runShell(cd + " decode -o out.pgm -- -dash.qob");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder + "/out.pgm"));
}

// Transparent pixels meet the background, by default white, and the tool says so once.
TEST(QobToolInputs, TransparencyIsCompositedAndReported) {
    const Picture colour = makePicture(Pattern::mixed, 21, 13, 3);
    const Picture gray = makePicture(Pattern::mixed, 21, 13, 1);
    std::vector<uint8_t> rgba, grayAlpha;
    std::vector<uint8_t> alpha(21 * 13);
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = uint8_t(i % 3 == 0 ? 0 : i * 37);
    for (size_t i = 0; i < alpha.size(); ++i) {
        rgba.insert(rgba.end(), colour.pixels.begin() + long(3 * i),
                    colour.pixels.begin() + long(3 * i + 3));
        rgba.push_back(alpha[i]);
        grayAlpha.push_back(gray.pixels[i]);
        grayAlpha.push_back(alpha[i]);
    }
    // Over (r, g, b): sample * alpha + background * (255 - alpha), rounded.
    auto over = [&](const std::vector<uint8_t>& pixels, int32_t channels, const uint8_t back[3]) {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < alpha.size(); ++i) {
            for (int32_t c = 0; c < channels; ++c) {
                const uint32_t sample = pixels[i * size_t(channels) + size_t(c)];
                out.push_back(
                    uint8_t((sample * alpha[i] + back[c] * (255u - alpha[i]) + 127) / 255));
            }
        }
        return out;
    };
    const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0}, teal[3] = {0x33, 0x66, 0x99};
    const std::vector<uint8_t> grayAsColour = [&] {
        std::vector<uint8_t> out;
        for (uint8_t v : gray.pixels) out.insert(out.end(), {v, v, v});
        return out;
    }();
    struct Case {
        const char* name;
        int colourType;
        const std::vector<uint8_t>* pixels;
        std::string options;
        std::vector<uint8_t> expected;
        int32_t channels;
        const char* message;
    } cases[] = {
        {"rgba.png", 6, &rgba, "", over(colour.pixels, 3, white), 3, "over #ffffff"},
        {"rgba.png", 6, &rgba, "--background black", over(colour.pixels, 3, black), 3,
         "over #000000"},
        {"rgba.png", 6, &rgba, "--background '#336699'", over(colour.pixels, 3, teal), 3,
         "over #336699"},
        {"ga.png", 4, &grayAlpha, "", over(gray.pixels, 1, white), 1, "over #ffffff"},
        {"ga.png", 4, &grayAlpha, "--background 336699", over(grayAsColour, 3, teal), 3,
         "over #336699"},
    };
    for (const Case& c : cases) {
        const std::string input = writeTempFile(c.name, pngBytes(21, 13, c.colourType, *c.pixels));
        const std::string output = input + ".qob";
        const ToolRun run =
            runQob("encode " + quoted(input) + " -o " + quoted(output) + " " + c.options);
        ASSERT_EQ(run.status, 0) << c.options << ": " << run.err;
        EXPECT_EQ(readFileBytes(output), expectedFile(c.expected, 21, 13, c.channels))
            << c.name << " " << c.options;
        EXPECT_EQ(occurrences(run.err, "transparent pixels composited"), 1u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

// A palette PNG of gray colours is a gray picture; one of real colours stays colour.
TEST(QobToolInputs, PaletteOfGraysEncodesAsGray) {
    const Picture gray = makePicture(Pattern::edges, 19, 11, 1);
    for (bool colourful : {false, true}) {
        std::vector<uint8_t> palette(256 * 3);
        for (int i = 0; i < 256; ++i) {
            palette[size_t(3 * i)] = uint8_t(i);
            palette[size_t(3 * i + 1)] = uint8_t(colourful ? 255 - i : i);
            palette[size_t(3 * i + 2)] = uint8_t(i);
        }
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = 19;
        png.height = 11;
        png.format = PNG_FORMAT_RGB_COLORMAP;
        png.colormap_entries = 256;
        const std::string input = writeTempFile("palette.png", {});
        ASSERT_TRUE(
            png_image_write_to_file(&png, input.c_str(), 0, gray.pixels.data(), 0, palette.data()));
        const ToolRun run = runQob("encode " + quoted(input) + " -o " + quoted(input + ".qob"));
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<uint8_t> expected = gray.pixels;
        if (colourful) {
            expected.clear();
            for (uint8_t index : gray.pixels) {
                expected.insert(expected.end(), &palette[3 * index], &palette[3 * index + 3]);
            }
        }
        EXPECT_EQ(readFileBytes(input + ".qob"), expectedFile(expected, 19, 11, colourful ? 3 : 1))
            << colourful;
    }
}

TEST(QobToolInputs, JsonStaysValidForAnyFileName) {
    const std::string folder = freshFolder("json");
    const std::string name = folder + "/pic-\xff\xfe\"quote\\.qob";
    std::vector<uint8_t> file = expectedFile(std::vector<uint8_t>(64, 100), 8, 8, 1);
    writeTempFile("json/pic-\xff\xfe\"quote\\.qob", file);
    const ToolRun run = runQob("info --json " + quoted(name));
    EXPECT_EQ(run.status, 0) << run.err;
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(run.out)) << run.out;
    ASSERT_EQ(parsed.size(), 1u);
    const std::string shown = parsed[0]["file"];
    EXPECT_EQ(shown, folder + "/pic-\xef\xbf\xbd\xef\xbf\xbd\"quote\\.qob");
    EXPECT_EQ(parsed[0]["width"], 8);
}

}  // namespace
}  // namespace xqob::test
