// The qob encode command: the pictures it reads, the file it writes, and its exit statuses
// and messages.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/png_bytes.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"
#include "xqob/encoder/encode_picture.h"
#include "xqob/format/header.h"

namespace xqob::test {
namespace {

struct ToolRun {
    int status;
    std::string errors;
};

// Runs the tool with arguments (already quoted for the shell), standard error captured.
ToolRun runTool(const std::string& arguments) {
    const std::string errors = writeTempFile("tool-stderr.txt", {});
    const std::string command =
        std::string("'") + QOB_TOOL_PATH + "' " + arguments + " >/dev/null 2>'" + errors + "'";
    const int result = std::system(command.c_str());
    const std::vector<uint8_t> text = readFileBytes(errors);
    return ToolRun{WIFEXITED(result) ? WEXITSTATUS(result) : -1,
                   std::string(text.begin(), text.end())};
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

PictureHeader headerOf(const std::vector<uint8_t>& file) {
    ByteSource source = memorySource(file.data(), file.size());
    PictureHeader header;
    EXPECT_EQ(readPictureHeader(&source, &header), 0);
    return header;
}

struct InputCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t channels;  // of the picture the tool should read
    std::vector<uint8_t> pixels;
};

// Every input kind gives the file the library makes from the same pixels.
TEST(EncoderTool, EncodesPngPgmAndPpm) {
    const Picture colour = makePicture(Pattern::mixed, 21, 13, 3);
    const Picture gray = makePicture(Pattern::mixed, 21, 13, 1);
    std::vector<uint8_t> opaque;  // RGBA with full alpha reads as the RGB picture
    for (size_t i = 0; i < colour.pixels.size(); i += 3) {
        opaque.insert(opaque.end(), colour.pixels.begin() + long(i),
                      colour.pixels.begin() + long(i + 3));
        opaque.push_back(255);
    }
    const InputCase cases[] = {
        {"in.ppm", pnmBytes(21, 13, 3, colour.pixels), 3, colour.pixels},
        {"in.pgm", pnmBytes(21, 13, 1, gray.pixels), 1, gray.pixels},
        {"rgb.png", pngBytes(21, 13, 2, colour.pixels), 3, colour.pixels},
        {"gray.png", pngBytes(21, 13, 0, gray.pixels), 1, gray.pixels},
        {"rgba.png", pngBytes(21, 13, 6, opaque), 3, colour.pixels},
    };
    for (const InputCase& c : cases) {
        const std::string input = writeTempFile(c.name, c.bytes);
        const std::string output = input + ".qob";
        const ToolRun run = runTool("encode " + quoted(input) + " -o " + quoted(output) +
                                    " -q 60 --chroma-quality 33");
        ASSERT_EQ(run.status, 0) << c.name << ": " << run.errors;
        EncoderOptions options;
        options.quality = 60;
        options.chromaQuality = 33;
        EncodedPicture expected;
        ASSERT_TRUE(
            encodePicture(SourceImage{c.pixels.data(), 21, 13, c.channels}, options, &expected));
        EXPECT_EQ(readFileBytes(output), expected.file) << c.name;
    }
}

TEST(EncoderTool, OptionsReachTheHeader) {
    const Picture colour = makePicture(Pattern::gradient, 40, 30, 3);
    const std::string input = writeTempFile("options.ppm", pnmBytes(40, 30, 3, colour.pixels));
    const std::string output = input + ".qob";
    struct Case {
        const char* options;
        int32_t qualityIndex;
        int32_t chromaQuantiser;
        int32_t gray;
        int32_t fullChroma;
    } cases[] = {
        {"", 25, 28, 0, 0},  // defaults: quality 75, chroma following it
        {"-q 90 --chroma-quality 70", 10, 10, 0, 0},
        {"--gray -q 0", 100, 80, 1, 0},
        {"--full-chroma --chroma-quality 0", 25, 80, 0, 1},
    };
    for (const Case& c : cases) {
        const ToolRun run =
            runTool("encode " + quoted(input) + " " + c.options + " -o " + quoted(output));
        ASSERT_EQ(run.status, 0) << c.options << ": " << run.errors;
        const std::vector<uint8_t> file = readFileBytes(output);
        const PictureHeader header = headerOf(file);
        EXPECT_EQ(header.width, 40);
        EXPECT_EQ(header.height, 30);
        EXPECT_EQ(header.qualityIndex, c.qualityIndex) << c.options;
        EXPECT_EQ(header.chromaQuantiser, c.chromaQuantiser) << c.options;
        EXPECT_EQ(header.gray, c.gray) << c.options;
        EXPECT_EQ(header.fullChroma, c.fullChroma) << c.options;
        std::vector<uint8_t> decoded;
        EXPECT_TRUE(decodeBytes(file, 40, 30, c.gray != 0, &decoded));
    }
}

TEST(EncoderTool, FailuresAndBadUsage) {
    const Picture gray = makePicture(Pattern::flat, 8, 8, 1);
    const std::string good = writeTempFile("good.pgm", pnmBytes(8, 8, 1, gray.pixels));
    const std::string junk = writeTempFile("junk.png", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i'});
    std::vector<uint8_t> truncated = pnmBytes(8, 8, 1, gray.pixels);
    truncated.resize(truncated.size() - 10);
    const std::string shortFile = writeTempFile("short.pgm", truncated);
    const std::string missing = good + ".missing";
    const std::string output = good + ".qob";
    const std::string unwritable = good + ".folder/out.qob";
    struct Case {
        std::string arguments;
        int status;
        std::string message;  // the start of standard error
    } cases[] = {
        {"encode " + quoted(missing) + " -o " + quoted(output), 1,
         "qob: " + missing + ": cannot open: No such file or directory"},
        {"encode " + quoted(junk) + " -o " + quoted(output), 1,
         "qob: " + junk + ": not a PNG, binary PGM or binary PPM file"},
        {"encode " + quoted(shortFile) + " -o " + quoted(output), 1,
         "qob: " + shortFile + ": PNM file ends inside its samples"},
        {"encode " + quoted(good) + " -o " + quoted(unwritable), 1,
         "qob: " + unwritable + ": cannot write: No such file or directory"},
        {"", 2, "qob: no command given"},
        {"squash " + quoted(good), 2, "qob: unknown command 'squash'"},
        {"encode " + quoted(good), 2, "qob: no output given: add -o OUT.qob"},
        {"encode -o " + quoted(output), 2, "qob: no picture to encode given"},
        {"encode " + quoted(good) + " -o " + quoted(output) + " -q 101", 2,
         "qob: --quality: Value 101 not in range 0 to 100"},
        {"encode " + quoted(good) + " -o " + quoted(output) + " --chroma-quality 4x", 2,
         "qob: --chroma-quality: Value 4x not in range 0 to 80"},
        {"encode " + quoted(good) + " -o " + quoted(output) + " --fast", 2,
         "qob: The following argument was not expected: --fast"},
        {"encode " + quoted(good) + " " + quoted(good) + " -o " + quoted(output), 2,
         "qob: The following argument was not expected"},
        {"encode " + quoted(good) + " -o", 2, "qob: --output: 1 required OUT.qob missing"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.errors.substr(0, c.message.size()), c.message) << c.arguments;
    }
    EXPECT_EQ(runTool("--help").status, 0);
}

}  // namespace
}  // namespace xqob::test
