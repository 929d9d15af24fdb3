// Single-threaded decode throughput of QOB against WebP (libwebp) and arithmetic-coded JPEG
// (libjpeg-turbo) on the same photographs at about the same bits per pixel, all decoded
// in-process from bytes in memory to R, G, B rows; the entropy decoding of each file on its
// own, per bin; the peak memory of one decode.
//
//   xqob_bench [--runs N] [--fastest] [--qualities 50,75,90] [--keep DIR] [--bins N] PHOTO.png...
//   (--fastest: the fastest of the runs taken in turn instead of their median, steadier on a
//   busy machine)
//   (--bins: the bin count of the one file measured, for builds that cannot count them)
//   xqob_bench --decode N FILE.qob     (N decodes and nothing else, for profilers)
//   xqob_bench --entropy N FILE.qob    (N entropy passes and nothing else)
//   xqob_bench --count-bins FILE.qob...  (bins of each file: the luma syntax and all)
//   xqob_bench --kernels N             (each pixel kernel at each level, N interleaved runs)
//   xqob_bench --memory PHOTO.png...   (peak memory only: colour and gray, one and two threads)

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_codecs.h"
#include "bench/bench_kernels.h"
#include "bench/entropy_pass.h"
#include "xqob/base/allocation_chain.h"
#include "xqob/base/block_records.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/xqob.hpp"

namespace {

using Decoder = bool (*)(const std::vector<uint8_t>&, std::vector<uint8_t>*);

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Median wall times of several decoders, timed in turn within every run so that the load of
// a shared machine falls on all of them alike (one warm-up decode each); with fastest, the
// fastest run of each instead, the one least disturbed on a busy machine.
std::vector<double> interleavedMedians(const std::vector<Decoder>& decoders,
                                       const std::vector<const std::vector<uint8_t>*>& files,
                                       size_t outputSize, int runs, bool fastest = false) {
    std::vector<uint8_t> rgb(outputSize);
    std::vector<std::vector<double>> times(decoders.size());
    for (size_t d = 0; d < decoders.size(); ++d) {
        if (!decoders[d](*files[d], &rgb)) return std::vector<double>(decoders.size(), -1);
    }
    for (int i = 0; i < runs; ++i) {
        for (size_t d = 0; d < decoders.size(); ++d) {
            const double start = secondsNow();
            decoders[d](*files[d], &rgb);
            times[d].push_back(secondsNow() - start);
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(fastest ? t.front() : t[t.size() / 2]);
    }
    return medians;
}

// The fastest of runs entropy passes (after one warm-up pass): the pass is pure computation
// on data in cache, so on a shared machine the fastest run is the one least disturbed.
bench::EntropyRun fastestEntropyPass(const std::vector<uint8_t>& file, int runs) {
    bench::EntropyRun result = bench::runEntropyPass(file, false);
    if (!result.ok) return result;
    for (int i = 0; i < runs; ++i) {
        const bench::EntropyRun run = bench::runEntropyPass(file, false);
        if (run.cycles < result.cycles) result = run;
    }
    return result;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"), or -1.
long statusBytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atol(line.c_str() + prefix.size()) * 1024;
    }
    return -1;
}

// Peak resident growth of one decode, in a child process: large blocks come fresh from
// mmap there (not from memory freed by earlier decodes), and the high-water mark is reset
// just before the decode. Returns bytes, or -1.
long peakDecodeBytes(const std::function<bool()>& decode) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        mallopt(M_MMAP_THRESHOLD, 64 * 1024);
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = statusBytes("VmRSS");
        long peak = -1;
        if (decode()) peak = statusBytes("VmHWM") - before;
        const ssize_t written = write(channel[1], &peak, sizeof peak);
        _exit(written == sizeof peak ? 0 : 1);
    }
    close(channel[1]);
    long peak = -1;
    if (read(channel[0], &peak, sizeof peak) != sizeof peak) peak = -1;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return peak;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int decodeOnly(int count, const std::string& path) {
    const std::vector<uint8_t> file = readFile(path);
    for (int i = 0; i < count; ++i) {
        xqob::Image image;
        xqob::DecodeOptions options;
        options.threads = 1;  // the stage breakdown follows one thread
        if (xqob::decodeMemory(file, image, options)) {
            std::fprintf(stderr, "%s: decode failed\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

struct Options {
    int runs = 7;
    std::vector<int> qualities{50, 75, 90};
    std::string keep;
    int64_t bins = 0;      // the files' bin count when known (a build that cannot count them)
    bool fastest = false;  // the fastest decode of the runs rather than the median
    std::vector<std::string> photos;
};

bool parseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc) {
            options->runs = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--fastest") {
            options->fastest = true;
        } else if (argument == "--bins" && i + 1 < argc) {
            options->bins = std::atoll(argv[++i]);
        } else if (argument == "--keep" && i + 1 < argc) {
            options->keep = argv[++i];
        } else if (argument == "--qualities" && i + 1 < argc) {
            options->qualities.clear();
            std::string list = argv[++i];
            for (size_t start = 0; start < list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                options->qualities.push_back(std::atoi(list.substr(start, comma - start).c_str()));
                start = comma + 1;
            }
        } else if (!argument.empty() && argument[0] == '-') {
            return false;
        } else {
            options->photos.push_back(argument);
        }
    }
    return !options->photos.empty();
}

std::string megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", bytes / 1e6);
    return text;
}

void benchPhoto(const Options& options, const std::string& path,
                std::vector<std::string>* memoryLines, std::vector<std::string>* binLines,
                std::vector<std::string>* threadLines) {
    bench::Picture picture;
    if (!bench::loadPng(path, &picture)) {
        std::printf("%s: cannot read as PNG\n", path.c_str());
        return;
    }
    const double pixels = double(picture.width) * double(picture.height);
    const size_t outputSize = size_t(pixels) * 3;
    for (const int quality : options.qualities) {
        std::vector<uint8_t> qob;
        std::vector<uint8_t> webp;
        std::vector<uint8_t> jpeg;
        bench::encodeQob(picture, quality, &qob);
        const int webpQuality = bench::matchSize(bench::encodeWebp, picture, qob.size(), &webp);
        const int jpegQuality = bench::matchSize(bench::encodeJpeg, picture, qob.size(), &jpeg);
        if (!options.keep.empty()) {
            const std::string name =
                options.keep + "/" + baseName(path) + "-q" + std::to_string(quality) + ".qob";
            std::ofstream(name, std::ios::binary)
                .write(reinterpret_cast<const char*>(qob.data()), std::streamsize(qob.size()));
        }
        // Taken in turn, run by run, so that the load of a shared machine falls on all three.
        const std::vector<double> medians =
            interleavedMedians({bench::decodeQob, bench::decodeWebp, bench::decodeJpeg},
                               {&qob, &webp, &jpeg}, outputSize, options.runs, options.fastest);
        const double qobRate = pixels / 1e6 / medians[0];
        const double webpRate = pixels / 1e6 / medians[1];
        const double jpegRate = pixels / 1e6 / medians[2];
        // Bins are a property of the file: counted once through the plain decoder.
        const int64_t bins =
            options.bins > 0 ? options.bins : bench::runEntropyPass(qob, true).bins;
        const bench::EntropyRun entropy = fastestEntropyPass(qob, options.runs);
        const double qobSeconds = pixels / 1e6 / qobRate;
        std::printf(
            "%-22s %3d %6.3f %6.3f(q%-3d) %6.3f(q%-3d) %6.2f %6.2f %6.1f %5.0f%% %7.1f %7.1f "
            "%7.1f %6.2f %6.2f\n",
            baseName(path).c_str(), quality, 8.0 * double(qob.size()) / pixels,
            8.0 * double(webp.size()) / pixels, webpQuality, 8.0 * double(jpeg.size()) / pixels,
            jpegQuality, double(bins) / pixels, 1e9 * entropy.seconds / double(bins),
            double(entropy.cycles) / double(bins), 100.0 * entropy.seconds / qobSeconds, qobRate,
            webpRate, jpegRate, qobRate / webpRate, qobRate / jpegRate);
        const std::vector<double> threaded = interleavedMedians(
            {bench::decodeQob, bench::decodeQobTwoThreads, bench::decodeWebpThreaded},
            {&qob, &qob, &webp}, outputSize, options.runs);
        char threadLine[200];
        std::snprintf(threadLine, sizeof threadLine, "%-22s %3d %8.1f %8.1f %8.1f %8.2f %8.2f",
                      baseName(path).c_str(), quality, pixels / 1e6 / threaded[0],
                      pixels / 1e6 / threaded[1], pixels / 1e6 / threaded[2],
                      threaded[0] / threaded[1], threaded[2] / threaded[1]);
        threadLines->push_back(threadLine);
        binLines->push_back(baseName(path) + " q" + std::to_string(quality) + ": " +
                            std::to_string(bins) + " bins");
        std::fflush(stdout);
        if (quality == options.qualities[options.qualities.size() / 2]) {
            const double peak = double(peakDecodeBytes([&qob] {
                xqob::Image image;
                return !xqob::decodeMemory(qob, image);
            }));
            // Rows handed to a callback: no buffer for the whole picture.
            const double rowsPeak = double(peakDecodeBytes([&qob] {
                xqob::Image image;
                image.rowsOnly = true;
                xqob::DecodeOptions rows;
                rows.rows = [](const xqob::Rows&) { return true; };
                return !xqob::decodeMemory(qob, image, rows);
            }));
            // Both write into a buffer of the picture's size, as our whole-picture decode does.
            const double webpPeak = double(peakDecodeBytes([&webp, outputSize] {
                std::vector<uint8_t> rgb(outputSize);
                return bench::decodeWebp(webp, &rgb);
            }));
            const double jpegPeak = double(peakDecodeBytes([&jpeg, outputSize] {
                std::vector<uint8_t> rgb(outputSize);
                return bench::decodeJpeg(jpeg, &rgb);
            }));
            const double output = double(outputSize);
            char line[320];
            std::snprintf(line, sizeof line,
                          "%-22s q%-3d qob %8s (%.2f B/px beyond the output), rows %8s "
                          "(%.2f B/px), webp %8s, jpeg %8s",
                          baseName(path).c_str(), quality, megabytes(peak).c_str(),
                          (peak - output) / pixels, megabytes(rowsPeak).c_str(), rowsPeak / pixels,
                          megabytes(webpPeak).c_str(), megabytes(jpegPeak).c_str());
            memoryLines->push_back(line);
        }
    }
}

}  // namespace

// The peak memory of decodes of each photo at quality 75, as colour and as gray (its luma
// alone), on one and on two threads, to a whole-picture buffer and to a row callback.
int memoryOnly(const std::vector<std::string>& photos) {
    std::printf("Peak memory of one decode, beyond its output (B/px), quality 75\n");
    std::printf("%-22s %-6s %3s %10s %8s %10s %8s\n", "photo", "kind", "thr", "whole", "B/px",
                "rows", "B/px");
    for (const std::string& path : photos) {
        bench::Picture picture;
        if (!bench::loadPng(path, &picture)) {
            std::printf("%s: cannot read as PNG\n", path.c_str());
            return 1;
        }
        const double pixels = double(picture.width) * double(picture.height);
        for (const bool gray : {false, true}) {
            std::vector<uint8_t> qob;
            if (!(gray ? bench::encodeQobGray : bench::encodeQob)(picture, 75, &qob)) return 1;
            const double output = pixels * (gray ? 1 : 3);
            for (const int32_t threads : {1, 2}) {
                xqob::DecodeOptions options;
                options.threads = threads;
                const double whole = double(peakDecodeBytes([&qob, &options] {
                    xqob::Image image;
                    return !xqob::decodeMemory(qob, image, options);
                }));
                const double rows = double(peakDecodeBytes([&qob, &options] {
                    xqob::Image image;
                    image.rowsOnly = true;
                    xqob::DecodeOptions rows = options;
                    rows.rows = [](const xqob::Rows&) { return true; };
                    return !xqob::decodeMemory(qob, image, rows);
                }));
                std::printf("%-22s %-6s %3d %10s %8.3f %10s %8.3f\n", baseName(path).c_str(),
                            gray ? "gray" : "colour", threads, megabytes(whole).c_str(),
                            (whole - output) / pixels, megabytes(rows).c_str(), rows / pixels);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

// count entropy passes and nothing else, for profilers.
// Prints the fastest pass in milliseconds and time-stamp-counter cycles, for comparing two
// builds run in turn (and quiet enough for callgrind).
int entropyOnly(int count, const std::string& path) {
    const std::vector<uint8_t> file = readFile(path);
    bench::EntropyRun fastest;
    for (int i = 0; i < count; ++i) {
        const bench::EntropyRun run = bench::runEntropyPass(file, false);
        if (!run.ok) {
            std::fprintf(stderr, "%s: entropy pass failed\n", path.c_str());
            return 1;
        }
        if (i == 0 || run.cycles < fastest.cycles) fastest = run;
    }
    std::printf("%s: fastest of %d entropy passes %.3f ms, %llu cycles\n", path.c_str(), count,
                fastest.seconds * 1e3, static_cast<unsigned long long>(fastest.cycles));
    return 0;
}

// The bins of each file, luma syntax and all, counted through the plain decoder, as
// "FILE pixels N luma N bins N" lines for bench/entropy-cost.
int countBinsOnly(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const std::vector<uint8_t> file = readFile(path);
        const bench::EntropyRun run = bench::runEntropyPass(file, true);
        if (!run.ok) {
            std::fprintf(stderr, "%s: entropy pass failed\n", path.c_str());
            return 1;
        }
        std::printf("%s pixels %lld luma %lld bins %lld\n", path.c_str(),
                    static_cast<long long>(run.pixels), static_cast<long long>(run.lumaBins),
                    static_cast<long long>(run.bins));
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--decode")
        return decodeOnly(std::atoi(argv[2]), argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--entropy")
        return entropyOnly(std::atoi(argv[2]), argv[3]);
    if (argc >= 3 && std::string(argv[1]) == "--count-bins")
        return countBinsOnly(std::vector<std::string>(argv + 2, argv + argc));
    if (argc == 3 && std::string(argv[1]) == "--kernels")
        return xqob::runKernelBench(std::max(1, std::atoi(argv[2])));
    if (argc >= 3 && std::string(argv[1]) == "--memory")
        return memoryOnly(std::vector<std::string>(argv + 2, argv + argc));
    Options options;
    if (!parseArguments(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: xqob_bench [--runs N] [--fastest] [--qualities 50,75,90] [--keep DIR] "
                     "[--bins N] "
                     "PHOTO.png...\n"
                     "       xqob_bench --decode N FILE.qob\n"
                     "       xqob_bench --entropy N FILE.qob\n"
                     "       xqob_bench --count-bins FILE.qob...\n"
                     "       xqob_bench --kernels N\n"
                     "       xqob_bench --memory PHOTO.png...\n");
        return 2;
    }
    std::printf(
        "Decode throughput, single thread, %s of %d runs taken in turn (qob, webp, jpeg), "
        "bytes in memory to R, G, B rows (MP/s = megapixels per second)\n",
        options.fastest ? "fastest" : "median", options.runs);
    std::printf(
        "Entropy: the whole picture's syntax decoded on its own, fastest of the runs (bins per "
        "pixel; ns and time-stamp-counter cycles per bin, all in; its share of the median "
        "decode time)\n");
    std::printf("%-22s %3s %6s %12s %12s %6s %6s %6s %6s %7s %7s %7s %6s %6s\n", "photo", "q",
                "bpp", "webp bpp", "jpeg bpp", "bin/px", "ns/bin", "cy/bin", "share", "qob", "webp",
                "jpeg", "/webp", "/jpeg");
    std::vector<std::string> memoryLines;
    std::vector<std::string> binLines;
    std::vector<std::string> threadLines;
    for (const std::string& photo : options.photos)
        benchPhoto(options, photo, &memoryLines, &binLines, &threadLines);
    std::printf(
        "\nTwo threads (MP/s, medians of %d runs taken in turn): qob on one and on two threads, "
        "libwebp with its own threading (use_threads) at the same size; 2t/1t and 2t/webp-mt "
        "are speed ratios\n",
        options.runs);
    std::printf("%-22s %3s %8s %8s %8s %8s %8s\n", "photo", "q", "qob 1t", "qob 2t", "webp-mt",
                "2t/1t", "2t/webp");
    for (const std::string& line : threadLines) std::printf("%s\n", line.c_str());
    std::printf("\nBins of each file:\n");
    for (const std::string& line : binLines) std::printf("  %s\n", line.c_str());
    std::printf(
        "\nPeak memory of one decode to R, G, B in memory (qob rows: to a row callback, no "
        "whole-picture buffer):\n");
    for (const std::string& line : memoryLines) std::printf("  %s\n", line.c_str());
    return 0;
}
