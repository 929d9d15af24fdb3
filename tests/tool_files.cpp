// The files that qob writes: never over one of its inputs, never two pictures to one name,
// and never a partial picture under the target's name, whatever stops the write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include <xqob/xqob.hpp>

#include "tests/support/png_bytes.h"
#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"
#include "tests/support/tool_run.h"

namespace xqob::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> encodedPicture(Pattern pattern, int32_t width, int32_t height,
                                    int32_t channels, int32_t quality = 75) {
    EncodeOptions options;
    options.quality = quality;
    return encodeRows(makePicture(pattern, width, height, channels), options);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(descriptor, 0) << path;
    ASSERT_EQ(::write(descriptor, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(descriptor);
}

// Starts qob with arguments, standard output and error to /dev/null (or files), an optional
// limit on the size of the files it writes, and standard input from a file.
pid_t startQob(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = RLIM_INFINITY,
               const std::string& errors = "/dev/null", const std::string& output = "/dev/null",
               const std::string& input = "/dev/null") {
    std::vector<char*> argv;
    std::string path = QOB_TOOL_PATH;
    argv.push_back(path.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int error = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(error, STDERR_FILENO);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

struct Ended {
    int status;           // the exit status, or 128 + the signal that ended it
    uint64_t peakMemory;  // the most resident memory it held, in bytes
};

Ended waitForEnd(pid_t child) {
    int status = 0;
    rusage usage = {};
    wait4(child, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            uint64_t(usage.ru_maxrss) * 1024};
}

int waitFor(pid_t child) {
    return waitForEnd(child).status;
}

std::string text(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(QobToolFiles, BatchRefusesTwoInputsForOneOutput) {
    const std::string folder = freshFolder("clash");
    fs::create_directories(folder + "/a");
    fs::create_directories(folder + "/b");
    writeFile(folder + "/a/pic.qob", encodedPicture(Pattern::gradient, 16, 16, 3));
    writeFile(folder + "/b/pic.qob", encodedPicture(Pattern::edges, 16, 16, 3));
    const std::string out = folder + "/out";
    const ToolRun run = runQob("decode " + quoted(folder + "/a/pic.qob") + " " +
                               quoted(folder + "/b/pic.qob") + " -d " + quoted(out));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("both " + folder + "/a/pic.qob and " + folder + "/b/pic.qob"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(out));  // refused before anything was written
}

TEST(QobToolFiles, NeverWritesOverAnInput) {
    const std::string folder = freshFolder("overwrite");
    const std::string photo = folder + "/photo.ppm";
    const std::string qobNamedPng = folder + "/p.png";             // a QOB file with a PNG's name
    writeFile(photo, encodedPicture(Pattern::gradient, 8, 8, 3));  // content does not matter
    writeFile(qobNamedPng, encodedPicture(Pattern::gradient, 8, 8, 3));
    ASSERT_EQ(::link(photo.c_str(), (folder + "/hardlink.ppm").c_str()), 0);
    const std::string cd = "cd " + quoted(folder) + " && " + qobCommand() + " ";
    const char* cases[] = {
        "encode photo.ppm -o photo.ppm",
        "encode photo.ppm -o ./photo.ppm",
        "encode photo.ppm -o ../overwrite/photo.ppm",
        "encode photo.ppm -o hardlink.ppm",
        "decode p.png -o p.png",
        "decode p.png -d .",
    };
    const std::vector<uint8_t> photoBytes = readFileBytes(photo);
    const std::vector<uint8_t> qobBytes = readFileBytes(qobNamedPng);
    for (const char* arguments : cases) {
        const ToolRun run = runShell(cd + arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find("is an input of this command"), std::string::npos)
            << arguments << ": " << run.err;
        EXPECT_EQ(readFileBytes(photo), photoBytes) << arguments;
        EXPECT_EQ(readFileBytes(qobNamedPng), qobBytes) << arguments;
    }
}

// A write that fails half-way (here at the file size limit; a full disk is the same) leaves
// neither a partial file nor a temporary one, and an older file of the name stays intact.
TEST(QobToolFiles, FailedWriteLeavesNothingBehind) {
    const std::string inputs = freshFolder("limit-in");
    const std::string qob = inputs + "/noise.qob";
    writeFile(qob, encodedPicture(Pattern::noise, 256, 256, 3, 100));
    const Picture noise = makePicture(Pattern::noise, 256, 256, 3);
    const std::string ppm = inputs + "/noise.ppm";
    std::vector<uint8_t> ppmBytes = pnmBytes(256, 256, 3, noise.pixels);
    writeFile(ppm, ppmBytes);
    ASSERT_GT(fs::file_size(qob), 40000u);
    const std::string errors = inputs + "/errors.txt";
    struct Case {
        std::vector<std::string> arguments;  // the output is appended
        const char* output;
    } cases[] = {
        {{"decode", qob, "-o"}, "out.png"},
        {{"decode", qob, "-o"}, "out.ppm"},
        {{"decode", qob, "--png-level", "0", "-o"}, "out.png"},
        {{"encode", ppm, "-q", "100", "-o"}, "out.qob"},
    };
    for (bool older : {false, true}) {
        for (const Case& c : cases) {
            const std::string folder = freshFolder("limit-out");
            const std::string output = folder + "/" + c.output;
            if (older) writeFile(output, {'o', 'l', 'd'});
            std::vector<std::string> arguments = c.arguments;
            arguments.push_back(output);
            const int status = waitFor(startQob(arguments, 16384, errors));
            const std::string message = text(errors);
            EXPECT_EQ(status, 1) << c.output;
            EXPECT_NE(message.find("qob: " + output + ": cannot write: File too large"),
                      std::string::npos)
                << message;
            EXPECT_EQ(message.find("libpng"), std::string::npos) << message;
            const std::vector<std::string> expected =
                older ? std::vector<std::string>{c.output} : std::vector<std::string>{};
            EXPECT_EQ(folderEntries(folder), expected) << c.output;
            if (older) {
                EXPECT_EQ(text(output), "old");
            }
        }
    }
}

// A picture whose PNG at the slowest level takes a while to write, so that a signal sent
// once the write has begun arrives before it ends.
const std::string& slowPicture() {
    static const std::string path = [] {
#if defined(__SANITIZE_ADDRESS__)
        // Everything runs several times slower here, the encode that makes the picture too.
        constexpr int32_t size = 1024;
#else
        constexpr int32_t size = 2048;
#endif
        Picture image{size, size, 1, {}};
        image.pixels.resize(size_t(size) * size);
        for (int32_t y = 0; y < size; ++y) {
            for (int32_t x = 0; x < size; ++x) {
                image.pixels[size_t(y) * size + size_t(x)] = uint8_t(((x * x + y * 3) >> 9) & 255);
            }
        }
        EncodeOptions options;
        options.quality = 0;
        return writeTempFile("slow.qob", encodeRows(image, options));
    }();
    return path;
}

// Waits until a temporary file beside target holds bytes; false after a minute without.
bool writeHasBegun(const std::string& folder, const std::string& target) {
    std::string prefix = ".";  // the hidden name that the tool gives its temporary files
    prefix += fs::path(target).filename().string();
    prefix += '.';
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder, ignored)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0 &&
                entry.file_size(ignored) > 0) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(QobToolFiles, StoppedDecodeLeavesNoPartialPicture) {
    struct Case {
        int signal;
        bool older;  // an older picture of the name exists
    } cases[] = {
        {SIGKILL, false},
        {SIGKILL, true},
        {SIGTERM, false},
        {SIGINT, true},
    };
    for (const Case& c : cases) {
        const std::string folder = freshFolder("signal");
        const std::string target = folder + "/big.png";
        if (c.older) writeFile(target, {'o', 'l', 'd'});
        const pid_t child = startQob({"decode", "--png-level", "9", slowPicture(), "-o", target});
        const bool begun = writeHasBegun(folder, target);
        kill(child, c.signal);
        EXPECT_EQ(waitFor(child), 128 + c.signal);
        ASSERT_TRUE(begun) << "the decode never began to write";
        if (c.older) {
            EXPECT_EQ(text(target), "old") << c.signal;
        } else {
            EXPECT_FALSE(fs::exists(target)) << c.signal;
        }
        // A signal that can be caught also takes the temporary file away.
        if (c.signal != SIGKILL) {
            const std::vector<std::string> expected =
                c.older ? std::vector<std::string>{"big.png"} : std::vector<std::string>{};
            EXPECT_EQ(folderEntries(folder), expected) << c.signal;
        }
    }
}

// Encodes a picture in a child process and writes it to path, so that the picture's pixels
// never become part of this process: a child forked later starts with this process's
// resident memory, which would hide the memory that the tool itself uses.
void writeEncodedInChild(const std::string& path, Pattern pattern, int32_t width, int32_t height) {
    const pid_t child = fork();
    if (child == 0) {
        const Picture picture = makePicture(pattern, width, height, 3);
        const std::vector<uint8_t> bytes = encodeRows(picture);
        if (bytes.empty()) _exit(1);
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written = descriptor >= 0 && ::write(descriptor, bytes.data(), bytes.size()) ==
                                                    ssize_t(bytes.size());
        _exit(written && ::close(descriptor) == 0 ? 0 : 1);
    }
    ASSERT_EQ(waitFor(child), 0) << "could not encode " << path;
}

// Rows go to the output as they are decoded: no buffer for the whole picture exists, so the
// tool's peak memory stays far below the picture's width * height * 3 bytes.
TEST(QobToolFiles, DecodesWithoutAWholePictureBuffer) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator and shadow memory make resident sizes meaningless, and a
    // large picture slow: only the output is checked, on a smaller one.
    constexpr int32_t kWidth = 640, kHeight = 480;
    constexpr bool kMeasure = false;
#else
    constexpr int32_t kWidth = 4000, kHeight = 3000;
    constexpr bool kMeasure = true;
#endif
    const std::string folder = freshFolder("stream");
    const std::string qob = folder + "/large.qob";
    const std::string tiny = folder + "/tiny.qob";
    writeEncodedInChild(qob, Pattern::gradient, kWidth, kHeight);  // quick to encode
    writeEncodedInChild(tiny, Pattern::gradient, 16, 16);
    // What the tool holds on any picture: its code, libraries and the memory it starts with.
    const Ended baseline = waitForEnd(startQob({"decode", tiny, "-o", folder + "/tiny.png"}));
    ASSERT_EQ(baseline.status, 0);
    struct Case {
        const char* output;
        bool fromStandardInput;  // read whole into memory instead of as it decodes
    } cases[] = {{"large.png", false}, {"large.ppm", false}, {"stdin.png", true}};
    for (const Case& c : cases) {
        const std::string output = folder + "/" + c.output;
        const pid_t child = c.fromStandardInput
                                ? startQob({"decode", "-", "-o", output}, RLIM_INFINITY,
                                           "/dev/null", "/dev/null", qob)
                                : startQob({"decode", qob, "-o", output});
        const Ended ended = waitForEnd(child);
        ASSERT_EQ(ended.status, 0) << c.output;
        if (kMeasure) {
            // Standard input is held whole, the file it came from is not.
            const uint64_t input = c.fromStandardInput ? fs::file_size(qob) : 0;
            const uint64_t used =
                ended.peakMemory - std::min(ended.peakMemory, baseline.peakMemory + input);
            EXPECT_LT(used, uint64_t(kWidth) * kHeight * 3 / 2)
                << c.output << ": peak " << ended.peakMemory << ", baseline "
                << baseline.peakMemory;
        }
    }
    Image expected;
    ASSERT_FALSE(decodeFile(qob, expected));
    const std::string header =
        "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    EXPECT_TRUE(text(folder + "/large.ppm") ==
                header + std::string(expected.data(), expected.data() + expected.size()));
    EXPECT_EQ(readFileBytes(folder + "/large.png"), readFileBytes(folder + "/stdin.png"));
    fs::remove_all(folder);
}

// A payload that ends part way fails after rows have gone out: the file that was being
// written goes away (an older one of the name stays), and the message is the decoder's, for
// every output format (PGM takes a colour picture as gray).
TEST(QobToolFiles, CutPayloadLeavesNoFile) {
    const std::string inputs = freshFolder("cut-in");
    struct Picture {
        const char* name;
        int32_t channels;
        int percent;  // of the file kept: past the luma of a colour picture, so rows go out
    } pictures[] = {{"colour", 3, 97}, {"gray", 1, 60}};
    for (const Picture& p : pictures) {
        const std::vector<uint8_t> whole = encodedPicture(Pattern::mixed, 256, 192, p.channels);
        const std::vector<uint8_t> cut(whole.begin(),
                                       whole.begin() + whole.size() * p.percent / 100);
        const std::string qob = inputs + "/" + p.name + ".qob";
        writeFile(qob, cut);
        Image ignored;
        const Error failure = decodeMemory(cut, ignored);
        ASSERT_EQ(failure.code, ErrorCode::truncated);
        const std::string payloadMessage = "qob: " + qob + ": " + failure.message + "\n";

        // To standard output what went out stays out; the status still tells of the failure.
        const std::string errors = inputs + "/errors.txt";
        const std::string piped = inputs + "/stdout.bin";
        EXPECT_EQ(waitFor(startQob({"decode", qob, "-o", "-"}, RLIM_INFINITY, errors, piped)), 1);
        EXPECT_EQ(text(errors), payloadMessage);
        EXPECT_GT(readFileBytes(piped).size(), size_t(256 * p.channels))
            << p.name << ": no row went out";

        const char* outputs[] = {"out.png", "out.ppm", "out.pgm"};
        for (const char* name : outputs) {
            for (bool older : {false, true}) {
                const std::string folder = freshFolder("cut-out");
                const std::string output = folder + "/" + name;
                if (older) writeFile(output, {'o', 'l', 'd'});
                EXPECT_EQ(waitFor(startQob({"decode", qob, "-o", output}, RLIM_INFINITY, errors)),
                          1);
                EXPECT_EQ(text(errors), payloadMessage) << name;
                const std::vector<std::string> expected =
                    older ? std::vector<std::string>{name} : std::vector<std::string>{};
                EXPECT_EQ(folderEntries(folder), expected) << p.name << " " << name;
                if (older) {
                    EXPECT_EQ(text(output), "old");
                }
            }
        }
        // In a batch too, beside a picture that decodes.
        const std::string good = inputs + "/good.qob";
        writeFile(good, whole);
        const std::string folder = freshFolder("cut-batch");
        EXPECT_EQ(waitFor(startQob({"decode", "-d", folder, qob, good}, RLIM_INFINITY, errors)), 1);
        EXPECT_NE(text(errors).find(payloadMessage), std::string::npos) << text(errors);
        EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"good.png"});
    }
}

}  // namespace
}  // namespace xqob::test
