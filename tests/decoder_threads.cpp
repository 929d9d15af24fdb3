// Decoding on two threads: the same rows, the same failures and the same clean exits as on
// one, for every kind of payload, and many such decodes at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <xqob/xqob.h>

#include <xqob/xqob.hpp>
#include "tests/support/payloads.h"
#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"
#include "xqob/decoder/decode_picture.h"

namespace xqob {
namespace {

// Everything a decode shows its caller: the result, the failure and every row delivered, in
// the order delivered.
struct Outcome {
    int32_t result = 0;
    DecodeFailure failure;
    int64_t allocations = 0;
    std::vector<int32_t> rowNumbers;
    std::vector<uint8_t> rows;
};

struct Sink {
    Outcome* outcome;
    size_t rowBytes;
    int32_t stopAt;  // refuse this row; -1 never
};

bool collectRow(void* opaque, int32_t row, const uint8_t* pixels) {
    Sink* sink = static_cast<Sink*>(opaque);
    if (row == sink->stopAt) return false;
    sink->outcome->rowNumbers.push_back(row);
    sink->outcome->rows.insert(sink->outcome->rows.end(), pixels, pixels + sink->rowBytes);
    return true;
}

Outcome decodeWith(const std::vector<uint8_t>& file, int32_t threads, int32_t stopAt = -1,
                   int64_t failAt = 0) {
    Outcome outcome;
    PictureHeader header{};
    ByteSource source = memorySource(file.data(), file.size());
    DecodeFailure headerFailure;
    size_t rowBytes = 0;
    if (readPictureHeader(&source, &header, &headerFailure) == 0) {
        rowBytes = size_t(header.width) * (header.gray ? 1 : 3);
    }
    Sink sink{&outcome, rowBytes, stopAt};
    DecodeRequest request;
    request.data = file.data();
    request.size = file.size();
    request.sink = collectRow;
    request.sinkOpaque = &sink;
    request.threads = threads;
    request.failAllocationAt = failAt;
    outcome.result = decodePicture(request, nullptr, &outcome.failure, &outcome.allocations);
    return outcome;
}

void expectSame(const Outcome& one, const Outcome& two, const std::string& name) {
    EXPECT_EQ(one.result, two.result) << name;
    EXPECT_EQ(one.failure.reason, two.failure.reason) << name;
    EXPECT_EQ(one.failure.value, two.failure.value) << name;
    EXPECT_EQ(one.failure.value2, two.failure.value2) << name;
    EXPECT_EQ(one.rowNumbers, two.rowNumbers) << name;
    EXPECT_TRUE(one.rows == two.rows) << name;
}

// One thread and two decode file alike.
void expectThreadsAgree(const std::vector<uint8_t>& file, const std::string& name) {
    expectSame(decodeWith(file, 1), decodeWith(file, 2), name);
}

std::vector<uint8_t> encoded(test::Pattern pattern, int32_t width, int32_t height, int32_t channels,
                             const EncodeOptions& options) {
    const test::Picture picture = test::makePicture(pattern, width, height, channels, 7);
    return test::encodeRows(picture, options);
}

struct RegressionCase {
    const char* name;
    int width, height;
    bool gray, fullChroma;
    int qualityIndex, chromaQuantiser, flags;
    uint32_t seed, density;
    uint64_t expected;
};

const RegressionCase kRegressionCases[] = {
#include "tests/decoder_regression_cases.inc"
};

// The pictures whose one-thread checksums are recorded decode alike on two threads.
TEST(Threads, RecordedRegressionPictures) {
    for (const RegressionCase& c : kRegressionCases) {
        test::HeaderFields fields;
        fields.width = c.width;
        fields.height = c.height;
        fields.gray = c.gray;
        fields.fullChroma = c.fullChroma;
        fields.qualityIndex = c.qualityIndex;
        fields.chromaQuantiser = c.chromaQuantiser;
        fields.flags = c.flags;
        const size_t payloadSize = 64 + size_t(c.width) * size_t(c.height) * (c.density ? 2 : 64);
        const std::vector<uint8_t> file =
            test::qobFile(fields, test::fixedPayload(c.seed, payloadSize, c.density));
        const Outcome one = decodeWith(file, 1);
        EXPECT_EQ(one.result, 0) << c.name;
        expectSame(one, decodeWith(file, 2), c.name);
    }
}

TEST(Threads, RandomPayloadsOfEveryHeaderKind) {
    struct Kind {
        bool gray;
        bool fullChroma;
    } kinds[] = {{true, false}, {false, false}, {false, true}};
    struct Size {
        int32_t width, height;
    } sizes[] = {{1, 1}, {17, 1}, {16, 80}, {33, 47}, {130, 70}};
    int32_t decoded = 0;
    int32_t failed = 0;
    for (const Kind& kind : kinds) {
        for (const Size& size : sizes) {
            for (int32_t quality : {0, 37, 100}) {
                // Payloads that run out early, part way and never.
                for (size_t length : {90, 700, 60000})
                    for (uint32_t density : {0u, 3u, 40u}) {
                        test::HeaderFields fields;
                        fields.width = size.width;
                        fields.height = size.height;
                        fields.gray = kind.gray;
                        fields.fullChroma = kind.fullChroma;
                        fields.qualityIndex = quality;
                        fields.chromaQuantiser = quality * 4 / 5;
                        const uint32_t seed = uint32_t(size.width * 131 + quality + density);
                        const std::vector<uint8_t> file =
                            test::qobFile(fields, test::fixedPayload(seed, length, density));
                        expectThreadsAgree(
                            file, std::to_string(size.width) + "x" + std::to_string(size.height) +
                                      (kind.gray ? " gray" : " colour") + " q" +
                                      std::to_string(quality) + " d" + std::to_string(density));
                        const int32_t result = decodeWith(file, 2).result;
                        decoded += result == 0;
                        failed += result != 0;
                    }
            }
        }
    }
    EXPECT_GT(decoded, 0);  // not every payload runs out, nor every one suffices
    EXPECT_GT(failed, 0);
}

TEST(Threads, EncoderOutputAndEveryCutOfIt) {
    struct Case {
        test::Pattern pattern;
        int32_t width, height, channels;
        bool fullChroma;
        int32_t quality;
    } cases[] = {
        {test::Pattern::mixed, 96, 80, 3, false, 75},
        {test::Pattern::noise, 50, 37, 3, true, 90},
        {test::Pattern::edges, 64, 48, 1, false, 30},
        {test::Pattern::gradient, 200, 20, 3, false, 5},
    };
    for (const Case& c : cases) {
        EncodeOptions options;
        options.quality = c.quality;
        options.fullChroma = c.fullChroma;
        const std::vector<uint8_t> file =
            encoded(c.pattern, c.width, c.height, c.channels, options);
        const Outcome whole = decodeWith(file, 2);
        EXPECT_EQ(whole.result, 0) << test::patternName(c.pattern);
        EXPECT_EQ(whole.rowNumbers.size(), size_t(c.height));
        expectSame(decodeWith(file, 1), whole, test::patternName(c.pattern));
        // Cuts through the payload from the first bytes to the last: the same failure after
        // the same rows.
        for (size_t keep = 14; keep < file.size(); keep += 1 + file.size() / 23) {
            const std::vector<uint8_t> cut(file.begin(), file.begin() + ptrdiff_t(keep));
            expectThreadsAgree(
                cut, std::string(test::patternName(c.pattern)) + " cut at " + std::to_string(keep));
        }
    }
}

TEST(Threads, TheCallerStoppingAtAnyRow) {
    EncodeOptions options;
    const std::vector<uint8_t> file = encoded(test::Pattern::mixed, 48, 70, 3, options);
    for (int32_t stopAt : {0, 1, 13, 14, 30, 61, 69}) {
        const Outcome one = decodeWith(file, 1, stopAt);
        const Outcome two = decodeWith(file, 2, stopAt);
        EXPECT_EQ(two.failure.reason, FailureReason::stoppedByCaller);
        EXPECT_EQ(two.rowNumbers.size(), size_t(stopAt));
        expectSame(one, two, "stop at " + std::to_string(stopAt));
    }
}

TEST(Threads, AnAllocationFailureAnywhereFailsBeforeAnyRow) {
    for (int32_t channels : {1, 3}) {
        EncodeOptions options;
        const std::vector<uint8_t> file = encoded(test::Pattern::edges, 40, 40, channels, options);
        const Outcome one = decodeWith(file, 1);
        const Outcome two = decodeWith(file, 2);
        ASSERT_EQ(two.result, 0);
        // The ring of rows between the threads is the one allocation more, the last.
        ASSERT_EQ(two.allocations, one.allocations + 1);
        for (int64_t n = 1; n <= two.allocations; ++n) {
            const Outcome failed = decodeWith(file, 2, -1, n);
            EXPECT_EQ(failed.failure.reason, FailureReason::outOfMemory) << n;
            EXPECT_TRUE(failed.rowNumbers.empty()) << n;
            if (n <= one.allocations) expectSame(decodeWith(file, 1, -1, n), failed, "alloc");
        }
    }
}

TEST(Threads, FilesAndTheInterfacesAgree) {
    EncodeOptions options;
    const std::vector<uint8_t> file = encoded(test::Pattern::mixed, 77, 51, 3, options);
    const std::string path = test::writeTempFile("threads.qob", file);
    Image reference;
    DecodeOptions oneThread;
    oneThread.threads = 1;
    ASSERT_FALSE(decodeMemory(file, reference, oneThread));
    const int descriptors = test::openDescriptorCount();
    for (int32_t threads : {0, 2, 7}) {
        DecodeOptions decodeOptions;
        decodeOptions.threads = threads;
        Image fromFile, fromMemory;
        ASSERT_FALSE(decodeFile(path, fromFile, decodeOptions));
        ASSERT_FALSE(decodeMemory(file, fromMemory, decodeOptions));
        EXPECT_TRUE(std::ranges::equal(fromFile.bytes(), reference.bytes())) << threads;
        EXPECT_TRUE(std::ranges::equal(fromMemory.bytes(), reference.bytes())) << threads;

        xqob_decode_options c;
        xqob_init_decode_options(&c, sizeof c);
        c.threads = threads;
        xqob_image image;
        std::memset(&image, 0, sizeof image);
        image.struct_size = sizeof image;
        ASSERT_EQ(xqob_decode_memory(file.data(), file.size(), &c, &image, nullptr), XQOB_OK);
        EXPECT_EQ(std::memcmp(image.pixels, reference.data(), reference.size()), 0);
        xqob_free(image.pixels);
    }
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
    DecodeOptions negative;
    negative.threads = -1;
    Image ignored;
    EXPECT_EQ(decodeMemory(file, ignored, negative).code, ErrorCode::invalidArgument);
}

// The threads of this process, counted while a decode delivers its rows.
struct TaskCount {
    size_t before = 0;
    size_t most = 0;
};

size_t countTasks() {
    size_t tasks = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++tasks;
    }
    return tasks;
}

bool countTasksAtRow(void* opaque, int32_t, const uint8_t*) {
    TaskCount* count = static_cast<TaskCount*>(opaque);
    count->most = std::max(count->most, countTasks());
    return true;
}

// Explicit counts are kept; "as many as help" takes a second thread only for a picture large
// enough to gain from it, and only where there is a second core.
TEST(Threads, AsManyAsHelpDependsOnThePictureSize) {
    const int32_t many = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    struct Case {
        int32_t requested;
        uint64_t pixels;
        int32_t threads;
    };
    const Case cases[] = {
        {1, uint64_t{1} << 30, 1},
        {-3, uint64_t{1} << 30, 1},
        {2, 1, 2},
        {7, 0, 2},
        {0, 0, 1},
        {0, kThreadedMinimumPixels - 1, 1},
        {0, kThreadedMinimumPixels, many},
        {0, uint64_t{1} << 30, many},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(threadsToUse(c.requested, c.pixels), c.threads)
            << c.requested << " threads for " << c.pixels << " pixels";
    }
}

// The plug-in's requests leave threads at its default: the decode stays on the host's thread.
TEST(Threads, TheDefaultRequestStartsNoThread) {
    if (!std::filesystem::exists("/proc/self/task")) GTEST_SKIP() << "no /proc/self/task";
    EncodeOptions options;
    const std::vector<uint8_t> file = encoded(test::Pattern::noise, 64, 200, 3, options);
    TaskCount count;
    count.before = countTasks();
    DecodeRequest request;
    request.data = file.data();
    request.size = file.size();
    request.sink = countTasksAtRow;
    request.sinkOpaque = &count;
    ASSERT_EQ(decodePicture(request, nullptr), 0);
    EXPECT_EQ(count.most, count.before);
}

TEST(Threads, ManyPicturesAtOnceEachOnTwoThreads) {
    std::vector<std::vector<uint8_t>> files;
    std::vector<Outcome> expected;
    const test::Pattern patterns[] = {test::Pattern::mixed, test::Pattern::noise,
                                      test::Pattern::edges};
    for (int32_t i = 0; i < 6; ++i) {
        EncodeOptions options;
        options.quality = 20 + 13 * i;
        files.push_back(
            encoded(patterns[i % 3], 40 + 9 * i, 60 - 5 * i, i % 4 == 3 ? 1 : 3, options));
        // Every other one cut short, so that failures race with successes.
        if (i % 2 == 1) files.back().resize(files.back().size() * 2 / 3);
        expected.push_back(decodeWith(files.back(), 1));
    }
    std::vector<int32_t> mismatches(8, 0);
    std::vector<std::thread> workers;
    for (int32_t w = 0; w < 8; ++w) {
        workers.emplace_back([&, w] {
            for (int32_t round = 0; round < 5; ++round) {
                for (size_t i = 0; i < files.size(); ++i) {
                    const Outcome got = decodeWith(files[(i + size_t(w)) % files.size()], 2);
                    const Outcome& want = expected[(i + size_t(w)) % files.size()];
                    if (got.result != want.result || got.failure.reason != want.failure.reason ||
                        got.rows != want.rows) {
                        ++mismatches[size_t(w)];
                    }
                }
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (int32_t m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
}  // namespace xqob
