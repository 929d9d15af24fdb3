// The C interface: refusals with their statuses and messages, struct sizes, pixel formats and
// strides against the C++ interface, the read and row callbacks, and encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <xqob/xqob.h>
#include <xqob/xqob.hpp>
#include "tests/support/public_images.h"
#include "tests/support/qob_files.h"
#include "tests/support/synthetic_images.h"

namespace {

using xqob::test::HeaderFields;

// A zeroed struct with its size set.
template <typename Struct>
Struct sized() {
    Struct value{};
    value.struct_size = sizeof value;
    return value;
}

std::vector<uint8_t> encodePicture(const xqob::test::Picture& picture, int quality = 75) {
    xqob::EncodeOptions options;
    options.quality = quality;
    const std::vector<uint8_t> file = xqob::test::encodeRows(picture, options);
    EXPECT_FALSE(file.empty());
    return file;
}

const std::vector<uint8_t>& colourFile() {
    static const std::vector<uint8_t> file =
        encodePicture(xqob::test::makePicture(xqob::test::Pattern::mixed, 37, 21, 3));
    return file;
}

const std::vector<uint8_t>& grayFile() {
    static const std::vector<uint8_t> file =
        encodePicture(xqob::test::makePicture(xqob::test::Pattern::edges, 19, 35, 1));
    return file;
}

// Owns what a decode allocated.
struct Decoded {
    xqob_image image = sized<xqob_image>();
    xqob_error error = sized<xqob_error>();
    xqob_status status = XQOB_OK;
    ~Decoded() { xqob_free(image.pixels); }
};

// A read callback over bytes that counts what it handed out, in pieces of at most chunk.
struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t offset = 0;
    size_t chunk = 7;
    bool fail = false;
    static size_t read(void* opaque, void* buffer, size_t size) {
        Reader* reader = static_cast<Reader*>(opaque);
        if (reader->fail) return SIZE_MAX;
        size = std::min({size, reader->chunk, reader->bytes->size() - reader->offset});
        if (size != 0) std::memcpy(buffer, reader->bytes->data() + reader->offset, size);
        reader->offset += size;
        return size;
    }
};

struct RefusalCase {
    const char* name;
    std::vector<uint8_t> file;
    xqob_status status;
    const char* message;  // a part of the message
};

std::vector<RefusalCase> refusalCases() {
    HeaderFields badQuality;
    badQuality.qualityIndex = 101;
    HeaderFields huge;
    huge.width = 40000;
    huge.height = 40000;
    std::vector<uint8_t> truncated = colourFile();
    truncated.resize(truncated.size() / 2);
    return {
        {"empty", {}, XQOB_ERROR_TRUNCATED, "header ends after 0 bytes"},
        {"not QOB", {'Q', 'O', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, XQOB_ERROR_NOT_QOB, "QOB"},
        {"bad quality", xqob::test::headerBytes(badQuality), XQOB_ERROR_BAD_HEADER,
         "quality index 101"},
        {"truncated payload", truncated, XQOB_ERROR_TRUNCATED, "payload ends"},
        {"over the default limit", xqob::test::qobFile(huge, {}), XQOB_ERROR_TOO_LARGE,
         "exceeds the limit of 268435456 pixels"},
    };
}

TEST(CapiRefusals, EverySourceGivesTheStatusAndMessage) {
    for (const RefusalCase& c : refusalCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = xqob::test::writeTempFile("refused.qob", c.file);
        Decoded memory, file, callback;
        memory.status =
            xqob_decode_memory(c.file.data(), c.file.size(), nullptr, &memory.image, &memory.error);
        file.status = xqob_decode_file(path.c_str(), nullptr, &file.image, &file.error);
        Reader reader{&c.file};
        callback.status =
            xqob_decode_callback(Reader::read, &reader, nullptr, &callback.image, &callback.error);
        for (const Decoded* d : {&memory, &file, &callback}) {
            EXPECT_EQ(d->status, c.status);
            EXPECT_EQ(d->error.status, c.status);
            EXPECT_NE(std::string(d->error.message).find(c.message), std::string::npos)
                << d->error.message;
            EXPECT_EQ(d->image.pixels, nullptr);
        }
    }
}

// A path that opens but is no picture file: the status of a file that cannot be opened, and
// what the path names.
TEST(CapiRefusals, PathsThatAreNotFiles) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    struct Case {
        const char* path;
        const char* message;
    } cases[] = {{folder.c_str(), "cannot open: is a directory, not a file"},
                 {"/nonexistent/x.qob", "cannot open: No such file or directory"}};
    for (const Case& c : cases) {
        Decoded decoded;
        xqob_info info = sized<xqob_info>();
        xqob_error infoError = sized<xqob_error>();
        EXPECT_EQ(xqob_info_file(c.path, &info, &infoError), XQOB_ERROR_CANNOT_OPEN) << c.path;
        EXPECT_STREQ(infoError.message, c.message);
        EXPECT_EQ(xqob_decode_file(c.path, nullptr, &decoded.image, &decoded.error),
                  XQOB_ERROR_CANNOT_OPEN);
        EXPECT_STREQ(decoded.error.message, c.message);
    }
}

TEST(CapiRefusals, BadArguments) {
    const std::vector<uint8_t>& file = colourFile();
    xqob_decode_options options;
    ASSERT_EQ(xqob_init_decode_options(&options, sizeof options), XQOB_OK);
    struct Case {
        const char* name;
        void (*change)(xqob_image*, xqob_decode_options*);
        xqob_status status;
        const char* message;
    };
    const Case cases[] = {
        {"old image struct", [](xqob_image* i, xqob_decode_options*) { i->struct_size = 8; },
         XQOB_ERROR_INVALID_ARGUMENT, "struct_size"},
        {"old options struct",
         [](xqob_image*, xqob_decode_options* o) { o->struct_size = sizeof(size_t); },
         XQOB_ERROR_INVALID_ARGUMENT, "struct_size"},
        {"unknown format", [](xqob_image* i, xqob_decode_options*) { i->format = xqob_format(6); },
         XQOB_ERROR_INVALID_ARGUMENT, "unknown pixel format 6"},
        {"stride below a row", [](xqob_image* i, xqob_decode_options*) { i->stride = 110; },
         XQOB_ERROR_INVALID_ARGUMENT, "stride 110 is smaller than a row of 111 bytes"},
        {"negative threads", [](xqob_image*, xqob_decode_options* o) { o->threads = -1; },
         XQOB_ERROR_INVALID_ARGUMENT, "threads"},
        {"limit below the picture",
         [](xqob_image*, xqob_decode_options* o) { o->max_pixels = 776; }, XQOB_ERROR_TOO_LARGE,
         "37 x 21 exceeds the limit of 776"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        xqob_decode_options changed = options;
        c.change(&d.image, &changed);
        d.status = xqob_decode_memory(file.data(), file.size(), &changed, &d.image, &d.error);
        EXPECT_EQ(d.status, c.status);
        EXPECT_NE(std::string(d.error.message).find(c.message), std::string::npos)
            << d.error.message;
    }
    Decoded d;
    EXPECT_EQ(xqob_decode_file("/nonexistent/x.qob", nullptr, &d.image, &d.error),
              XQOB_ERROR_CANNOT_OPEN);
    EXPECT_STREQ(d.error.message, "cannot open: No such file or directory");
    EXPECT_EQ(xqob_decode_memory(nullptr, 5, nullptr, &d.image, &d.error),
              XQOB_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(xqob_decode_memory(file.data(), file.size(), nullptr, nullptr, nullptr),
              XQOB_ERROR_INVALID_ARGUMENT);
    // The limit 0 lifts it.
    options.max_pixels = 0;
    EXPECT_EQ(xqob_decode_memory(file.data(), file.size(), &options, &d.image, &d.error), XQOB_OK);
}

TEST(CapiRefusals, ReadCallbackFailure) {
    Reader reader{&colourFile()};
    reader.fail = true;
    Decoded d;
    EXPECT_EQ(xqob_decode_callback(Reader::read, &reader, nullptr, &d.image, &d.error),
              XQOB_ERROR_READ_FAILED);
    xqob_info info = sized<xqob_info>();
    EXPECT_EQ(xqob_info_callback(Reader::read, &reader, &info, &d.error), XQOB_ERROR_READ_FAILED);
    EXPECT_NE(std::string(d.error.message).find("read callback"), std::string::npos);
}

TEST(CapiInfo, EverySourceAgreesAndTheCallbackReadsOnlyTheHeader) {
    for (int flags : {0, 1}) {
        HeaderFields fields;
        fields.flags = flags;
        fields.gray = true;
        fields.fullChroma = true;
        fields.width = 300;
        fields.height = 7;
        const std::vector<uint8_t> file = xqob::test::qobFile(fields, std::vector<uint8_t>(50));
        const std::string path = xqob::test::writeTempFile("info.qob", file);
        xqob_info memory = sized<xqob_info>(), disk = memory, streamed = memory;
        ASSERT_EQ(xqob_info_memory(file.data(), file.size(), &memory, nullptr), XQOB_OK);
        ASSERT_EQ(xqob_info_file(path.c_str(), &disk, nullptr), XQOB_OK);
        Reader reader{&file};
        ASSERT_EQ(xqob_info_callback(Reader::read, &reader, &streamed, nullptr), XQOB_OK);
        const uint64_t header = flags ? 24 : 14;
        EXPECT_EQ(reader.offset, header);
        EXPECT_EQ(streamed.payload_bytes, 0u);
        streamed.payload_bytes = 50;
        for (const xqob_info* info : {&memory, &disk, &streamed}) {
            EXPECT_EQ(info->width, 300);
            EXPECT_EQ(info->height, 7);
            EXPECT_EQ(info->gray, 1);
            EXPECT_EQ(info->full_chroma, 1);
            EXPECT_EQ(info->quality, 75);
            EXPECT_EQ(info->chroma_quality, 50);
            EXPECT_EQ(info->optional_block, flags);
            EXPECT_EQ(info->header_bytes, header);
            EXPECT_EQ(info->payload_bytes, 50u);
        }
    }
}

// A caller built against a later header passes larger structs: the library fills what it
// knows and leaves the rest alone.
TEST(CapiStructs, LargerStructsFromLaterHeadersKeepTheirTail) {
    struct LaterInfo {
        xqob_info info;
        uint8_t tail[16];
    } later;
    std::memset(&later, 0x5A, sizeof later);
    later.info.struct_size = sizeof later;
    const std::vector<uint8_t>& file = colourFile();
    ASSERT_EQ(xqob_info_memory(file.data(), file.size(), &later.info, nullptr), XQOB_OK);
    EXPECT_EQ(later.info.struct_size, sizeof later);
    EXPECT_EQ(later.info.width, 37);
    for (uint8_t byte : later.tail) EXPECT_EQ(byte, 0x5A);
}

TEST(CapiDecode, FormatsAndStridesMatchTheCppInterface) {
    for (const std::vector<uint8_t>* file : {&colourFile(), &grayFile()}) {
        xqob::Image reference;
        ASSERT_FALSE(xqob::decodeMemory(*file, reference));
        const int32_t channels = reference.channels();
        for (int32_t format = XQOB_FORMAT_AUTO; format <= XQOB_FORMAT_BGR; ++format) {
            SCOPED_TRACE(format);
            Decoded d;
            d.image.format = xqob_format(format);
            d.image.stride = format == XQOB_FORMAT_AUTO ? 0 : size_t(reference.width) * 4 + 3;
            ASSERT_EQ(xqob_decode_memory(file->data(), file->size(), nullptr, &d.image, &d.error),
                      XQOB_OK)
                << d.error.message;
            const int32_t resolved = format != XQOB_FORMAT_AUTO ? format
                                     : channels == 1            ? XQOB_FORMAT_GRAY
                                                                : XQOB_FORMAT_RGB;
            EXPECT_EQ(d.image.format, resolved);
            EXPECT_EQ(d.image.buffer_size,
                      (size_t(reference.height) - 1) * d.image.stride +
                          size_t(reference.width) *
                              (resolved == XQOB_FORMAT_GRAY                                 ? 1
                               : resolved == XQOB_FORMAT_RGB || resolved == XQOB_FORMAT_BGR ? 3
                                                                                            : 4));
            for (int32_t y = 0; y < reference.height; ++y) {
                for (int32_t x = 0; x < reference.width; ++x) {
                    const uint8_t* in = reference.row(y) + size_t(x) * size_t(channels);
                    const int r = in[0], g = in[channels - 2 > 0 ? 1 : 0], b = in[channels - 1];
                    const uint8_t* out = d.image.pixels + size_t(y) * d.image.stride;
                    int got[4] = {-1, -1, -1, -1}, want[4] = {-1, -1, -1, -1};
                    switch (resolved) {
                        case XQOB_FORMAT_GRAY:
                            got[0] = out[x];
                            want[0] = (19595 * r + 38470 * g + 7471 * b + 32768) >> 16;
                            break;
                        case XQOB_FORMAT_RGB:
                        case XQOB_FORMAT_BGR:
                            std::copy(out + x * 3, out + x * 3 + 3, got);
                            want[0] = r, want[1] = g, want[2] = b;
                            break;
                        default:
                            std::copy(out + x * 4, out + x * 4 + 4, got);
                            want[0] = r, want[1] = g, want[2] = b, want[3] = 255;
                    }
                    if (resolved == XQOB_FORMAT_BGR || resolved == XQOB_FORMAT_BGRA) {
                        std::swap(want[0], want[2]);
                    }
                    ASSERT_EQ(std::vector<int>(got, got + 4), std::vector<int>(want, want + 4))
                        << x << ", " << y;
                }
            }
        }
    }
}

TEST(CapiDecode, EmptyPicturesAllocateNothing) {
    for (auto [width, height] : {std::pair{0, 9}, std::pair{9, 0}, std::pair{0, 0}}) {
        for (int32_t channels : {1, 3}) {
            const std::vector<uint8_t> file = encodePicture(
                xqob::test::makePicture(xqob::test::Pattern::flat, width, height, channels));
            for (int32_t format : {XQOB_FORMAT_GRAY, XQOB_FORMAT_RGB, XQOB_FORMAT_BGRA}) {
                SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " format " +
                             std::to_string(format) + " from " + std::to_string(channels));
                Decoded d;
                d.image.format = xqob_format(format);
                ASSERT_EQ(xqob_decode_memory(file.data(), file.size(), nullptr, &d.image, &d.error),
                          XQOB_OK)
                    << d.error.message;
                EXPECT_EQ(d.image.pixels, nullptr);
                EXPECT_EQ(d.image.width, width);
                EXPECT_EQ(d.image.height, height);
                // The same into a caller's buffer that has no room at all.
                uint8_t none = 0;
                Decoded caller;
                caller.image.format = xqob_format(format);
                caller.image.pixels = &none;
                ASSERT_EQ(xqob_decode_memory(file.data(), file.size(), nullptr, &caller.image,
                                             &caller.error),
                          XQOB_OK);
                caller.image.pixels = nullptr;
            }
        }
    }
}

struct RowLog {
    std::vector<int32_t> firsts;
    int32_t rows = 0;
    const uint8_t* start = nullptr;
    size_t stride = 0;
    bool contiguous = true;
    int32_t stopAt = -1;
    static int call(void* opaque, const uint8_t* rows, size_t stride, int32_t first,
                    int32_t count) {
        RowLog* log = static_cast<RowLog*>(opaque);
        if (log->firsts.empty()) log->start = rows;
        log->contiguous &= rows == log->start + size_t(first) * stride && first == log->rows;
        log->firsts.push_back(first);
        log->rows += count;
        log->stride = stride;
        return first == log->stopAt;
    }
};

TEST(CapiDecode, RowCallbackSeesEveryRowOnceInOrder) {
    const std::vector<uint8_t>& file = grayFile();
    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    RowLog log;
    options.row_callback = RowLog::call;
    options.row_opaque = &log;
    Decoded d;
    d.image.stride = 40;
    ASSERT_EQ(xqob_decode_memory(file.data(), file.size(), &options, &d.image, &d.error), XQOB_OK);
    EXPECT_EQ(log.rows, 35);
    EXPECT_TRUE(log.contiguous);
    EXPECT_EQ(log.start, d.image.pixels);
    EXPECT_EQ(log.stride, 40u);

    RowLog stopping;
    stopping.stopAt = 16;
    options.row_opaque = &stopping;
    Decoded stopped;
    EXPECT_EQ(
        xqob_decode_memory(file.data(), file.size(), &options, &stopped.image, &stopped.error),
        XQOB_ERROR_ABORTED);
    EXPECT_EQ(stopped.image.pixels, nullptr);
    EXPECT_STREQ(stopped.error.message, "the row callback stopped the decode at row 16");
}

TEST(CapiEncode, EveryFormatAndStrideEncodesTheSamePicture) {
    const xqob::test::Picture picture =
        xqob::test::makePicture(xqob::test::Pattern::gradient, 23, 17, 3);
    const std::vector<uint8_t> expected = encodePicture(picture, 60);
    xqob_encode_options options;
    ASSERT_EQ(xqob_init_encode_options(&options, sizeof options), XQOB_OK);
    options.quality = 60;
    // The colour channel at each byte of a pixel; -1 for alpha (any value, not stored).
    const int order[][4] = {{}, {}, {0, 1, 2, -1}, {0, 1, 2, -1}, {2, 1, 0, -1}, {2, 1, 0, -1}};
    for (int32_t format = XQOB_FORMAT_RGB; format <= XQOB_FORMAT_BGR; ++format) {
        SCOPED_TRACE(format);
        const size_t bytes = format == XQOB_FORMAT_RGB || format == XQOB_FORMAT_BGR ? 3 : 4;
        const size_t stride = 23 * bytes + 5;
        std::vector<uint8_t> rows(stride * 17, 0xEE);
        for (size_t y = 0; y < 17; ++y) {
            for (size_t x = 0; x < 23; ++x) {
                for (size_t c = 0; c < bytes; ++c) {
                    const int from = order[format][c];
                    rows[y * stride + x * bytes + c] =
                        from < 0 ? 9 : picture.pixels[(y * 23 + x) * 3 + size_t(from)];
                }
            }
        }
        xqob_image image = sized<xqob_image>();
        image.format = xqob_format(format);
        image.width = 23;
        image.height = 17;
        image.stride = stride;
        image.pixels = rows.data();
        uint8_t* output = nullptr;
        size_t size = 0;
        ASSERT_EQ(xqob_encode(&image, &options, &output, &size, nullptr), XQOB_OK);
        EXPECT_EQ(std::vector<uint8_t>(output, output + size), expected);
        xqob_free(output);
    }
}

TEST(CapiEncode, RefusesBadImagesAndOptions) {
    uint8_t pixels[64] = {};
    struct Case {
        xqob_image image;
        int32_t quality;
        xqob_status status;
        const char* message;
    };
    xqob_image good = sized<xqob_image>();
    good.format = XQOB_FORMAT_GRAY;
    good.width = 8;
    good.height = 8;
    good.pixels = pixels;
    std::vector<Case> cases(6, Case{good, 75, XQOB_ERROR_INVALID_ARGUMENT, ""});
    cases[0].image.format = XQOB_FORMAT_AUTO, cases[0].message = "unknown source pixel format 0";
    cases[1].image.width = 70000, cases[1].message = "70000 x 8 is outside 0..65535";
    cases[2].image.stride = 7, cases[2].message = "stride 7 is smaller than a row of 8 bytes";
    cases[3].image.pixels = nullptr, cases[3].message = "image.pixels is NULL";
    cases[4].quality = 101, cases[4].message = "quality";
    cases[5].status = XQOB_OK;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        xqob_encode_options options;
        xqob_init_encode_options(&options, sizeof options);
        options.quality = c.quality;
        xqob_error error = sized<xqob_error>();
        uint8_t* output = nullptr;
        size_t size = 0;
        EXPECT_EQ(xqob_encode(&c.image, &options, &output, &size, &error), c.status);
        EXPECT_NE(std::string(error.message).find(c.message), std::string::npos) << error.message;
        EXPECT_EQ(output == nullptr, c.status != XQOB_OK);
        xqob_free(output);
    }
}

TEST(CapiEncode, PicturesWithoutRowsOrColumnsNeedNoPixels) {
    for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) {
        for (int32_t format = XQOB_FORMAT_GRAY; format <= XQOB_FORMAT_BGR; ++format) {
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " format " +
                         std::to_string(format));
            xqob_image image = sized<xqob_image>();
            image.format = xqob_format(format);
            image.width = width;
            image.height = height;
            uint8_t* output = nullptr;
            size_t size = 0;
            ASSERT_EQ(xqob_encode(&image, nullptr, &output, &size, nullptr), XQOB_OK);
            xqob_info info = sized<xqob_info>();
            EXPECT_EQ(xqob_info_memory(output, size, &info, nullptr), XQOB_OK);
            EXPECT_EQ(info.width, width);
            EXPECT_EQ(info.height, height);
            xqob_free(output);
        }
    }
}

TEST(CapiVersion, AgreesWithTheCppInterface) {
    const uint32_t v = xqob_version();
    const std::string text = std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 255) + "." +
                             std::to_string(v & 255);
    EXPECT_EQ(text, xqob_version_string());
    EXPECT_STREQ(xqob::versionString(), xqob_version_string());
    for (int32_t status = XQOB_OK; status <= XQOB_ERROR_ABORTED + 1; ++status) {
        EXPECT_NE(xqob_status_string(xqob_status(status)), nullptr);
    }
}

}  // namespace
