// qob decode: QOB pictures to PNG, PPM or PGM, one file or a batch decoded in parallel.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"
#include "tools/qob/image_write.h"

namespace qob {

const char* const kDecodeUsage =
    "usage: qob decode IN.qob -o OUT       decode one picture (OUT: .png, .ppm, .pgm, .pnm,\n"
    "                                      or - for PNM on standard output)\n"
    "       qob decode IN.qob... -d DIR    decode several pictures into DIR\n"
    "options:\n"
    "  -o OUT            output file; its extension chooses the format\n"
    "  -d DIR            output folder for several inputs (created if missing)\n"
    "  -f png|ppm|pgm|pnm  format of the files written into DIR (default png)\n"
    "  -j N              decode N pictures at a time (default: the number of cores)\n"
    "  -v                print decode time and megapixels per second\n"
    "  --max-pixels N    refuse pictures of more than N pixels (default 268435456; 0: none)\n";

namespace {

struct DecodeJob {
    std::string input;
    std::string output;  // "-" for standard output
    OutputFormat format = OutputFormat::png;
};

struct Settings {
    std::vector<DecodeJob> jobs;
    unsigned threads = 0;
    bool verbose = false;
    xqob::DecodeOptions options;
};

bool parseCount(const char* text, unsigned long long* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(text, &end, 10);
    return text[0] != '\0' && text[0] != '-' && *end == '\0' && errno == 0;
}

int usageError(const char* message, const char* detail = "") {
    std::fprintf(stderr, "qob decode: %s%s\n%s", message, detail, kDecodeUsage);
    return 2;
}

// Fills settings from the arguments; returns -1 to go on, or an exit status.
int parseArguments(int argc, char** argv, Settings* settings) {
    std::vector<std::string> inputs;
    std::string output, folder, folderFormat = "png";
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kDecodeUsage, stdout);
            return 0;
        } else if (arg == "-v") {
            settings->verbose = true;
        } else if ((arg == "-o" || arg == "-d" || arg == "-f" || arg == "-j" ||
                    arg == "--max-pixels") &&
                   !hasValue) {
            return usageError("missing value after ", argv[i]);
        } else if (arg == "-o") {
            output = argv[++i];
        } else if (arg == "-d") {
            folder = argv[++i];
        } else if (arg == "-f") {
            folderFormat = argv[++i];
        } else if (arg == "-j" || arg == "--max-pixels") {
            unsigned long long value = 0;
            if (!parseCount(argv[++i], &value) || (arg == "-j" && (value < 1 || value > 1024))) {
                return usageError("bad value for ", arg.c_str());
            }
            if (arg == "-j") settings->threads = unsigned(value);
            if (arg == "--max-pixels") settings->options.maxPixels = value;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option ", argv[i]);
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty()) return usageError("no input file");
    if (output.empty() == folder.empty()) return usageError("give either -o OUT or -d DIR");
    if (!output.empty()) {
        if (inputs.size() > 1) return usageError("-o takes one input; use -d DIR for several");
        DecodeJob job{inputs[0], output, OutputFormat::pnm};
        if (output != "-" && !formatFromExtension(output, &job.format)) {
            return usageError("cannot tell the format of ", output.c_str());
        }
        settings->jobs.push_back(job);
        return -1;
    }
    OutputFormat format;
    if (!formatFromExtension("." + folderFormat, &format)) {
        return usageError("unknown format ", folderFormat.c_str());
    }
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    for (const std::string& input : inputs) {
        const std::filesystem::path name = std::filesystem::path(input).stem();
        const std::string path =
            (std::filesystem::path(folder) / name).string() + "." + folderFormat;
        settings->jobs.push_back(DecodeJob{input, path, format});
    }
    return -1;
}

// Decodes and writes one job; the message of a failure goes into error.
bool runJob(const DecodeJob& job, const Settings& settings, std::string* report,
            std::string* error) {
    xqob::Image image;
    const auto start = std::chrono::steady_clock::now();
    if (xqob::Error failure = xqob::decodeFile(job.input, &image, settings.options)) {
        *error = "qob: " + job.input + ": " + failure.message;
        return false;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (job.output == "-") {
        if (!writePnm(stdout, image) || std::fflush(stdout) != 0) {
            *error = "qob: -: cannot write to standard output";
            return false;
        }
    } else {
        std::string message;
        if (!writeImage(job.output, job.format, image, &message)) {
            *error = "qob: " + job.output + ": " + message;
            return false;
        }
    }
    if (settings.verbose) {
        const double megapixels = double(image.width) * double(image.height) / 1e6;
        char text[512];
        std::snprintf(text, sizeof text, "%s: %dx%d decoded in %.2f ms, %.1f MP/s\n",
                      job.input.c_str(), image.width, image.height, seconds * 1e3,
                      seconds > 0 ? megapixels / seconds : 0.0);
        *report = text;
    }
    return true;
}

void drawProgress(size_t done, size_t total) {
    const int width = 30;
    const int filled = total ? int(done * width / total) : width;
    std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu", filled,
                 "==============================", width - filled, "", done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int runDecode(int argc, char** argv) {
    Settings settings;
    const int early = parseArguments(argc, argv, &settings);
    if (early >= 0) return early;

    unsigned threads = settings.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = unsigned(std::min<size_t>(threads, settings.jobs.size()));
    const bool progress = settings.jobs.size() > 1 && isatty(STDERR_FILENO);

    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    size_t done = 0;
    std::mutex output;
    auto worker = [&] {
        for (size_t i = next++; i < settings.jobs.size(); i = next++) {
            std::string report, error;
            const bool ok = runJob(settings.jobs[i], settings, &report, &error);
            if (!ok) ++failures;
            std::lock_guard<std::mutex> lock(output);
            if (progress) std::fputc('\r', stderr);
            if (!ok) std::fprintf(stderr, "%s%s\n", progress ? "\033[K" : "", error.c_str());
            if (!report.empty())
                std::fprintf(stderr, "%s%s", progress ? "\033[K" : "", report.c_str());
            ++done;
            if (progress) drawProgress(done, settings.jobs.size());
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    return failures > 0 ? 1 : 0;
}

}  // namespace qob
