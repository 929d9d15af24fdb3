// The C interface's row callback and read callback during a decode: rows land in place and
// are handed out group by group while the picture decodes, a callback can stop the decode,
// a failing payload ends the rows, and a read callback's input streams through the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <xqob/xqob.h>
#include <xqob/xqob.hpp>
#include "tests/support/public_images.h"
#include "tests/support/synthetic_images.h"

namespace {

using xqob::test::Pattern;

constexpr uint8_t kUnwritten = 0xA5;

bool unwritten(const uint8_t* from, const uint8_t* to) {
    return std::all_of(from, to, [](uint8_t b) { return b == kUnwritten; });
}

template <typename Struct>
Struct sized() {
    Struct value{};
    value.struct_size = sizeof value;
    return value;
}

std::vector<uint8_t> encoded(Pattern pattern, int32_t width, int32_t height, int32_t channels,
                             bool fullChroma = false, int32_t quality = 75) {
    const xqob::test::Picture picture =
        xqob::test::makePicture(pattern, width, height, channels, 3);
    xqob::EncodeOptions options;
    options.quality = quality;
    options.fullChroma = fullChroma;
    return xqob::test::encodeRows(picture, options);
}

// 7 groups, the last of 4 rows.
const std::vector<uint8_t>& colourFile() {
    static const std::vector<uint8_t> file = encoded(Pattern::mixed, 45, 100, 3);
    return file;
}

// A read callback over bytes in small pieces of varying size, like a pipe. It notes how far
// the input had been read when each row group arrived, and on which thread it was called.
struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t offset = 0;
    size_t failAt = SIZE_MAX;  // report an error when asked for the byte at this offset
    bool overfill = false;     // claim one byte more than asked for once past the header
    int32_t callsAfterEnd = 0;
    bool ended = false;
    std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    static size_t read(void* opaque, void* buffer, size_t size) {
        Reader* r = static_cast<Reader*>(opaque);
        r->otherThread |= std::this_thread::get_id() != r->caller;
        if (r->ended) ++r->callsAfterEnd;
        if (r->offset >= r->failAt) return r->ended = true, SIZE_MAX;
        if (r->overfill && r->offset > 24) return r->ended = true, size + 1;
        const size_t piece = 1 + (r->offset * 7919) % 1500;
        size = std::min({size, piece, r->bytes->size() - r->offset, r->failAt - r->offset});
        std::memcpy(buffer, r->bytes->data() + r->offset, size);
        r->offset += size;
        r->ended = size == 0;
        return size;
    }
};

// Records the groups as they arrive; checks that each is in place and that nothing below it
// has been written yet (the caller's buffer starts as kUnwritten); stops at group stopAt.
struct Groups {
    size_t rowBytes = 0;
    const uint8_t* buffer = nullptr;  // the caller's, or the first group's rows
    size_t bufferSize = 0;
    const Reader* reader = nullptr;
    int32_t stopAt = -1;
    std::vector<std::pair<int32_t, int32_t>> calls;  // first row, row count
    std::vector<uint8_t> seen;                       // the rows as they were at the call
    std::vector<size_t> inputRead;                   // reader->offset at each call
    bool inPlace = true;
    bool laterRowsUnwritten = true;
    static int call(void* opaque, const uint8_t* rows, size_t stride, int32_t first,
                    int32_t count) {
        Groups* g = static_cast<Groups*>(opaque);
        if (g->buffer == nullptr) g->buffer = rows;
        g->inPlace &= rows == g->buffer + size_t(first) * stride;
        if (g->bufferSize != 0) {
            const uint8_t* later = g->buffer + size_t(first + count) * stride;
            const uint8_t* end = g->buffer + g->bufferSize;
            g->laterRowsUnwritten &= later >= end || unwritten(later, end);
        }
        for (int32_t r = 0; r < count; ++r) {
            g->seen.insert(g->seen.end(), rows + size_t(r) * stride,
                           rows + size_t(r) * stride + g->rowBytes);
        }
        g->calls.emplace_back(first, count);
        if (g->reader != nullptr) g->inputRead.push_back(g->reader->offset);
        return int32_t(g->calls.size()) - 1 == g->stopAt;
    }
};

struct Decode {
    xqob_image image = sized<xqob_image>();
    xqob_error error = sized<xqob_error>();
    xqob_status status = XQOB_OK;
    std::vector<uint8_t> callerBuffer;
    bool allocated = false;
    ~Decode() {
        if (allocated) xqob_free(image.pixels);
    }
    // Into a caller's buffer of kUnwritten bytes when caller, else one the library allocates.
    void run(const std::vector<uint8_t>& file, int32_t threads, Groups* groups, int32_t format,
             size_t stride, bool caller, Reader* reader = nullptr) {
        xqob_decode_options options;
        xqob_init_decode_options(&options, sizeof options);
        options.threads = threads;
        options.row_callback = groups != nullptr ? Groups::call : nullptr;
        options.row_opaque = groups;
        image.format = xqob_format(format);
        image.stride = stride;
        if (caller) {
            callerBuffer.assign(200000, kUnwritten);
            image.pixels = callerBuffer.data();
            image.buffer_size = callerBuffer.size();
            if (groups != nullptr) groups->buffer = callerBuffer.data();
            if (groups != nullptr) groups->bufferSize = callerBuffer.size();
        }
        status = reader != nullptr
                     ? xqob_decode_callback(Reader::read, reader, &options, &image, &error)
                     : xqob_decode_memory(file.data(), file.size(), &options, &image, &error);
        allocated = !caller;
    }
    // The rows of the picture, without the stride's padding.
    std::vector<uint8_t> rows(size_t rowBytes) const {
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = image.pixels + size_t(y) * image.stride;
            out.insert(out.end(), row, row + rowBytes);
        }
        return out;
    }
};

size_t bytesPerPixel(int32_t format) {
    return format == XQOB_FORMAT_GRAY                                 ? 1
           : format == XQOB_FORMAT_RGBA || format == XQOB_FORMAT_BGRA ? 4
                                                                      : 3;
}

TEST(CapiRows, GroupsArriveInPlaceInOrderWhileThePictureDecodes) {
    const std::vector<uint8_t> files[] = {colourFile(), encoded(Pattern::edges, 33, 70, 1),
                                          encoded(Pattern::gradient, 20, 40, 3, true)};
    for (const std::vector<uint8_t>& file : files) {
        for (int32_t format = XQOB_FORMAT_GRAY; format <= XQOB_FORMAT_BGR; ++format) {
            Decode reference;
            reference.run(file, 1, nullptr, format, 0, false);
            ASSERT_EQ(reference.status, XQOB_OK) << reference.error.message;
            const int32_t height = reference.image.height;
            const size_t rowBytes = size_t(reference.image.width) * bytesPerPixel(format);
            for (const auto& [threads, padding, caller] :
                 {std::tuple{1, 0, true}, std::tuple{2, 5, true}, std::tuple{1, 3, false},
                  std::tuple{2, 0, false}}) {
                SCOPED_TRACE(testing::Message() << reference.image.width << "x" << height
                                                << " format " << format << " threads " << threads
                                                << " padding " << padding << " caller " << caller);
                Groups groups;
                groups.rowBytes = rowBytes;
                Decode d;
                d.run(file, threads, &groups, format, padding ? rowBytes + padding : 0, caller);
                ASSERT_EQ(d.status, XQOB_OK) << d.error.message;
                ASSERT_EQ(groups.calls.size(), size_t(height + 15) / 16);
                for (size_t i = 0; i < groups.calls.size(); ++i) {
                    EXPECT_EQ(groups.calls[i].first, int32_t(i) * 16);
                    EXPECT_EQ(groups.calls[i].second, std::min(16, height - int32_t(i) * 16));
                }
                EXPECT_TRUE(groups.inPlace);
                EXPECT_TRUE(groups.laterRowsUnwritten);
                EXPECT_EQ(groups.buffer, d.image.pixels);
                EXPECT_EQ(groups.seen, reference.rows(rowBytes));
                EXPECT_EQ(d.rows(rowBytes), groups.seen);
                for (int32_t y = 0; caller && y < height; ++y) {
                    const uint8_t* pad = d.image.pixels + size_t(y) * d.image.stride + rowBytes;
                    EXPECT_TRUE(unwritten(pad, pad + padding)) << "row " << y;
                }
            }
        }
    }
}

TEST(CapiRows, StoppingAtAnyGroupEndsTheDecodeThere) {
    const std::vector<uint8_t>& file = colourFile();
    for (int32_t threads : {1, 2}) {
        for (int32_t stopAt : {0, 3, 6}) {
            for (bool caller : {true, false}) {
                SCOPED_TRACE(testing::Message() << "threads " << threads << " stop at group "
                                                << stopAt << " caller " << caller);
                Groups groups;
                groups.rowBytes = 45 * 4;
                groups.stopAt = stopAt;
                Decode d;
                d.run(file, threads, &groups, XQOB_FORMAT_BGRA, 0, caller);
                EXPECT_EQ(d.status, XQOB_ERROR_ABORTED);
                EXPECT_EQ(d.error.status, XQOB_ERROR_ABORTED);
                EXPECT_EQ(
                    std::string(d.error.message),
                    "the row callback stopped the decode at row " + std::to_string(16 * stopAt));
                EXPECT_EQ(groups.calls.size(), size_t(stopAt) + 1);
                // Nothing below the refused group was written, and nothing is left to free.
                EXPECT_TRUE(groups.laterRowsUnwritten);
                if (caller) {
                    const uint8_t* start = d.callerBuffer.data();
                    EXPECT_TRUE(unwritten(start + size_t(16 * (stopAt + 1)) * 45 * 4,
                                          start + d.callerBuffer.size()));
                } else {
                    EXPECT_EQ(d.image.pixels, nullptr);
                }
            }
        }
    }
}

TEST(CapiRows, APayloadCutShortEndsTheRowsWithTheSameError) {
    // A colour picture's rows go out during the chroma loop, so cuts late in the payload fail
    // after some groups have gone out.
    const std::vector<uint8_t> file = encoded(Pattern::noise, 64, 400, 3, false, 90);
    Decode whole;
    whole.run(file, 1, nullptr, XQOB_FORMAT_RGB, 0, false);
    ASSERT_EQ(whole.status, XQOB_OK);
    const std::vector<uint8_t> picture = whole.rows(64 * 3);
    int32_t failedAfterRows = 0;
    for (size_t keep = file.size() / 2; keep < file.size(); keep += file.size() / 12) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + long(keep));
        Decode plain;
        plain.run(cut, 1, nullptr, XQOB_FORMAT_RGB, 0, false);
        if (plain.status == XQOB_OK) continue;  // enough was left
        std::vector<std::pair<int32_t, int32_t>> callsOnOneThread;
        for (int32_t threads : {1, 2}) {
            for (bool streamed : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << keep << " bytes, threads " << threads << " streamed " << streamed);
                Groups groups;
                groups.rowBytes = 64 * 3;
                Reader reader{&cut};
                Decode d;
                d.run(cut, threads, &groups, XQOB_FORMAT_RGB, 0, false,
                      streamed ? &reader : nullptr);
                EXPECT_EQ(d.status, plain.status);
                EXPECT_STREQ(d.error.message, plain.error.message);
                EXPECT_EQ(d.image.pixels, nullptr);
                // What went out is the top of the real picture, and the same rows every way.
                EXPECT_TRUE(std::equal(groups.seen.begin(), groups.seen.end(), picture.begin()));
                if (threads == 1 && !streamed) callsOnOneThread = groups.calls;
                EXPECT_EQ(groups.calls, callsOnOneThread);
                failedAfterRows += !groups.calls.empty();
            }
        }
    }
    EXPECT_GT(failedAfterRows, 0);
}

TEST(CapiRows, AReadCallbackStreamsThroughTheDecoder) {
    // Gray rows go out during the luma loop: well before the end of a long payload.
    const std::vector<uint8_t> file = encoded(Pattern::noise, 256, 320, 1, false, 95);
    ASSERT_GT(file.size(), 50000u);
    Decode reference;
    reference.run(file, 1, nullptr, XQOB_FORMAT_GRAY, 0, false);
    ASSERT_EQ(reference.status, XQOB_OK);
    for (int32_t threads : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "threads " << threads);
        Reader reader{&file};
        Groups groups;
        groups.rowBytes = 256;
        groups.reader = &reader;
        Decode d;
        d.run(file, threads, &groups, XQOB_FORMAT_GRAY, 0, false, &reader);
        ASSERT_EQ(d.status, XQOB_OK) << d.error.message;
        EXPECT_EQ(d.rows(256), reference.rows(256));
        EXPECT_EQ(reader.offset, file.size());
        EXPECT_EQ(reader.callsAfterEnd, 0);
        EXPECT_FALSE(reader.otherThread);
        // On one thread the first rows arrive with a small part of the input read; a second
        // thread reads all of it first.
        ASSERT_FALSE(groups.inputRead.empty());
        if (threads == 1) {
            EXPECT_LT(groups.inputRead.front(), file.size() / 4);
        } else {
            EXPECT_EQ(groups.inputRead.front(), file.size());
        }

        // A callback that stops the decode stops the reading too.
        Reader stopped{&file};
        Groups stopping;
        stopping.rowBytes = 256;
        stopping.stopAt = 0;
        Decode s;
        s.run(file, threads, &stopping, XQOB_FORMAT_GRAY, 0, false, &stopped);
        EXPECT_EQ(s.status, XQOB_ERROR_ABORTED);
        if (threads == 1) {
            EXPECT_LT(stopped.offset, file.size() / 4);
        }
    }
}

TEST(CapiRows, AReadFailureAnywhereFailsTheDecode) {
    std::vector<uint8_t> file = encoded(Pattern::noise, 64, 200, 3, false, 90);
    const size_t size = file.size();
    file.resize(size + 3000, 0);  // bytes after the payload are read to the end too
    struct Case {
        const char* name;
        size_t failAt;
        bool overfill;
    };
    const Case cases[] = {
        {"in the header", 5, false},
        {"early in the payload", 100, false},
        {"late in the payload", size - 10, false},
        {"after the payload", size + 2000, false},
        {"more bytes than asked", SIZE_MAX, true},
    };
    for (const Case& c : cases) {
        for (int32_t threads : {1, 2}) {
            SCOPED_TRACE(testing::Message() << c.name << ", threads " << threads);
            Reader reader{&file};
            reader.failAt = c.failAt;
            reader.overfill = c.overfill;
            Groups groups;
            groups.rowBytes = 64 * 3;
            Decode d;
            d.run(file, threads, &groups, XQOB_FORMAT_RGB, 0, false, &reader);
            EXPECT_EQ(d.status, XQOB_ERROR_READ_FAILED);
            EXPECT_NE(std::string(d.error.message).find("read callback"), std::string::npos);
            EXPECT_EQ(d.image.pixels, nullptr);
            EXPECT_EQ(reader.callsAfterEnd, 0);
        }
    }
}

}  // namespace
