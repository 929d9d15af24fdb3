// qob decode: QOB pictures to PNG, PPM or PGM, one file or a batch decoded in parallel.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// MinGW-w64's win32 thread model, with which the Windows tool is built, starts no
// std::thread and has no std::mutex: there a batch decodes one picture at a time.
#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#define QOB_BATCH_THREADS 0
#else
#define QOB_BATCH_THREADS 1
#include <mutex>
#endif

#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"
#include "tools/qob/image_write.h"
#include "tools/qob/input_file.h"
#include "tools/qob/output_file.h"

namespace qob {

namespace {

struct DecodeJob {
    std::string input;
    std::string output;  // "-" for standard output
    OutputFormat format = OutputFormat::png;
};

struct JobResult {
    bool ok = false;
    std::string message;  // the failure, or the -v report
};

// The format of -o OUT: -f when given (it must agree with a known extension), else the
// extension, else PNM for standard output. Returns kExitOk or the reported usage status.
int outputFormat(const DecodeSettings& settings, OutputFormat* format) {
    OutputFormat named;
    const bool known = settings.output != "-" && formatFromExtension(settings.output, &named);
    if (!settings.format.empty()) {
        if (!formatFromName(settings.format, format)) {
            return reportUsage("unknown format '" + settings.format + "' (png, ppm, pgm or pnm)",
                               "decode");
        }
        if (known && named != *format) {
            return reportUsage(
                "-f " + settings.format + " disagrees with the extension of " + settings.output,
                "decode");
        }
        return kExitOk;
    }
    if (settings.output == "-") {
        *format = OutputFormat::pnm;
    } else if (known) {
        *format = named;
    } else {
        return reportUsage("cannot tell the format of " + settings.output +
                               ": name it .png, .ppm, .pgm or .pnm, or give -f",
                           "decode");
    }
    return kExitOk;
}

// Turns the settings into jobs and refuses, before anything is decoded, every command line
// that would lose a picture: two inputs written to one file, or an input written over.
int planJobs(const DecodeSettings& settings, std::vector<DecodeJob>* jobs) {
    if (settings.output.empty() == settings.folder.empty()) {
        return reportUsage("give either -o OUT or -d DIR", "decode");
    }
    const size_t standardInputs =
        size_t(std::count(settings.inputs.begin(), settings.inputs.end(), "-"));
    if (!settings.output.empty()) {
        if (settings.inputs.size() > 1) {
            return reportUsage("-o takes one input; use -d DIR for several", "decode");
        }
        OutputFormat format;
        if (int status = outputFormat(settings, &format); status != kExitOk) return status;
        jobs->push_back(DecodeJob{settings.inputs[0], settings.output, format});
    } else {
        if (standardInputs > 0) return reportUsage("standard input needs -o OUT", "decode");
        OutputFormat format = OutputFormat::png;
        if (!settings.format.empty() && !formatFromName(settings.format, &format)) {
            return reportUsage("unknown format '" + settings.format + "' (png, ppm, pgm or pnm)",
                               "decode");
        }
        for (const std::string& input : settings.inputs) {
            const std::filesystem::path name = std::filesystem::path(input).stem();
            const std::string path =
                (std::filesystem::path(settings.folder) / name).string() + "." + formatName(format);
            jobs->push_back(DecodeJob{input, path, format});
        }
    }
    std::vector<std::string> outputs;
    for (const DecodeJob& job : *jobs) outputs.push_back(job.output);
    return checkOutputsDistinct("decode", settings.inputs, outputs);
}

using Clock = std::chrono::steady_clock;

// The output of one job, fed row by row while the picture decodes, so that no buffer for the
// whole picture exists. The file is opened only once the first rows have decoded, and under
// its name only when complete; a decode or write that fails part way leaves no file (except
// on standard output or a device, where what was written stays written).
struct StreamedOutput {
    StreamedOutput(const DecodeJob& job, int pngLevel) : job(&job), pngLevel(pngLevel) {}

    const DecodeJob* job;
    int pngLevel;
    OutputFile file;
    std::optional<PictureWriter> writer;
    std::string error;          // why the output failed; empty while it has not
    Clock::duration writing{};  // time spent writing, which -v leaves out of the decode time
    int32_t width = 0, height = 0;

    bool begin(int32_t pictureWidth, int32_t pictureHeight, int32_t channels) {
        const auto start = Clock::now();
        width = pictureWidth;
        height = pictureHeight;
        bool ok = formatTakes(job->format, channels, &error) && file.open(job->output, &error);
        if (ok) {
            writer.emplace(file.stream(), job->format, pngLevel);
            ok = writer->begin(width, height, channels, &error);
        }
        writing += Clock::now() - start;
        return ok;
    }

    bool rows(const xqob::Rows& group) {
        if (!writer && !begin(group.width, group.height, xqob::bytesPerPixel(group.format))) {
            return false;
        }
        const auto start = Clock::now();
        bool ok = true;
        for (int32_t y = group.first; ok && y < group.first + group.count; ++y) {
            ok = writer->writeRow(group.row(y), &error);
        }
        writing += Clock::now() - start;
        return ok;
    }

    // A picture without rows still gets its (empty) output.
    bool finish(const xqob::Image& image) {
        if (!writer && !begin(image.width, image.height, image.channels())) return false;
        return writer->finish(&error) && file.commit(&error);
    }
};

// Reads, decodes and writes one job.
JobResult runJob(const DecodeJob& job, const DecodeSettings& settings, int32_t pictureThreads) {
    JobResult result;
    const auto start = Clock::now();
    StreamedOutput output(job, settings.pngLevel);
    // Rows go straight to the output; PGM takes colour pictures as gray.
    xqob::Image image;
    image.rowsOnly = true;
    if (job.format == OutputFormat::pgm) image.format = xqob::Format::gray;
    xqob::DecodeOptions options;
    options.maxPixels = settings.maxPixels;
    options.threads = pictureThreads;
    options.rows = [&](const xqob::Rows& rows) { return output.rows(rows); };
    xqob::Error failure;
    // A regular file is read as it decodes, which keeps its bytes out of memory too; anything
    // else (standard input, a pipe) can be read only once and is held whole.
    struct stat status;
    if (job.input != "-" && stat(job.input.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        failure = xqob::decodeFile(job.input, image, options);
    } else {
        std::vector<uint8_t> bytes;
        if (!readInput(job.input, &bytes, &failure.message)) {
            result.message = "qob: " + displayName(job.input) + ": " + failure.message;
            return result;
        }
        failure = xqob::decodeMemory(bytes, image, options);
    }
    // A failed write stops the decode; its reason is the one to report, not the stop.
    if (output.error.empty() && failure) {
        result.message = "qob: " + displayName(job.input) + ": " + failure.message;
        return result;
    }
    const double seconds =
        std::chrono::duration<double>(Clock::now() - start - output.writing).count();
    if (!output.error.empty() || !output.finish(image)) {
        result.message = "qob: " + displayName(job.output, true) + ": " + output.error;
        return result;
    }
    result.ok = true;
    if (settings.verbose) {
        const double megapixels = double(output.width) * double(output.height) / 1e6;
        char text[128];
        std::snprintf(text, sizeof text, ": %dx%d decoded in %.2f ms, %.1f MP/s", output.width,
                      output.height, seconds * 1e3, seconds > 0 ? megapixels / seconds : 0.0);
        result.message = displayName(job.input) + text;
    }
    return result;
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

int runDecode(const DecodeSettings& settings) {
    std::vector<DecodeJob> jobs;
    if (const int status = planJobs(settings, &jobs); status != kExitOk) return status;
    if (!settings.folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(settings.folder, error);
        if (error) return reportFileFailure(settings.folder, "cannot create: " + error.message());
    }

    unsigned threads = settings.threads;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = unsigned(std::min<size_t>(threads, jobs.size()));
    const bool progress = jobs.size() > 1 && isatty(STDERR_FILENO);
    // A single picture uses the cores itself; a batch keeps them busy with pictures.
    int32_t pictureThreads = jobs.size() == 1 ? 0 : 1;
    if (settings.pictureThreads >= 0) pictureThreads = settings.pictureThreads;

    std::atomic<size_t> next{0};
    size_t done = 0, failures = 0;
#if QOB_BATCH_THREADS
    std::mutex reporting;
#endif
    auto worker = [&] {
        for (size_t i = next++; i < jobs.size(); i = next++) {
            const JobResult result = runJob(jobs[i], settings, pictureThreads);
#if QOB_BATCH_THREADS
            std::lock_guard<std::mutex> lock(reporting);
#endif
            if (progress) std::fputs("\r\033[K", stderr);
            if (!result.message.empty()) std::fprintf(stderr, "%s\n", result.message.c_str());
            ++done;
            if (!result.ok) ++failures;
            if (progress) drawProgress(done, jobs.size());
        }
    };
#if QOB_BATCH_THREADS
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
#else
    worker();
#endif
    if (jobs.size() > 1) {
        std::fprintf(stderr, "qob: %zu decoded, %zu failed\n", done - failures, failures);
    }
    return failures > 0 ? kExitFileFailure : kExitOk;
}

}  // namespace qob
