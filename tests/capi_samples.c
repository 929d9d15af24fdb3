/* Decodes every picture named on the command line through the C interface, in every pixel
 * format, into the caller's buffers with strides larger than a row and into buffers the
 * library allocates, from a file, from memory and through a read callback, and checks that
 * all of them agree with the picture as stored. Plain C99: it builds against the installed
 * header and library with nothing but cc and pkg-config. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <xqob/xqob.h>

#define CHECK(condition, ...)              \
    do {                                   \
        if (!(condition)) {                \
            fprintf(stderr, "%s: ", path); \
            fprintf(stderr, __VA_ARGS__);  \
            fputc('\n', stderr);           \
            return 1;                      \
        }                                  \
    } while (0)

static const int kBytes[] = {0, 1, 3, 4, 4, 3};
static const char* const kNames[] = {"AUTO", "GRAY", "RGB", "RGBA", "BGRA", "BGR"};

struct Reader {
    FILE* file;
    size_t calls;
};

static size_t readFile(void* opaque, void* buffer, size_t size) {
    struct Reader* reader = (struct Reader*)opaque;
    reader->calls++;
    /* Short reads, as from a pipe. */
    if (size > 1000) size = 1000;
    size_t got = fread(buffer, 1, size, reader->file);
    return ferror(reader->file) ? (size_t)-1 : got;
}

static unsigned char* slurp(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    fseek(file, 0, SEEK_END);
    *size = (size_t)ftell(file);
    fseek(file, 0, SEEK_SET);
    unsigned char* data = malloc(*size ? *size : 1);
    if (data != NULL && fread(data, 1, *size, file) != *size) {
        free(data);
        data = NULL;
    }
    fclose(file);
    return data;
}

/* The expected pixel (x, y) in format from the packed picture as stored. */
static void expected(const xqob_image* stored, int x, int y, int format, unsigned char* out) {
    const int channels = stored->format == XQOB_FORMAT_GRAY ? 1 : 3;
    const unsigned char* in = stored->pixels + (size_t)y * stored->stride + (size_t)x * channels;
    unsigned r = in[0], g = in[channels == 1 ? 0 : 1], b = in[channels == 1 ? 0 : 2];
    switch (format) {
        case XQOB_FORMAT_GRAY:
            out[0] = channels == 1
                         ? in[0]
                         : (unsigned char)((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
            break;
        case XQOB_FORMAT_RGB:
            out[0] = r, out[1] = g, out[2] = b;
            break;
        case XQOB_FORMAT_RGBA:
            out[0] = r, out[1] = g, out[2] = b, out[3] = 255;
            break;
        case XQOB_FORMAT_BGRA:
            out[0] = b, out[1] = g, out[2] = r, out[3] = 255;
            break;
        case XQOB_FORMAT_BGR:
            out[0] = b, out[1] = g, out[2] = r;
            break;
    }
}

static int compare(const char* path, const xqob_image* stored, const xqob_image* image,
                   int format) {
    CHECK(image->width == stored->width && image->height == stored->height, "%s: size differs",
          kNames[format]);
    CHECK(image->format == format, "%s: format %d written", kNames[format], image->format);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            unsigned char want[4];
            expected(stored, x, y, format, want);
            const unsigned char* got =
                image->pixels + (size_t)y * image->stride + (size_t)x * kBytes[format];
            CHECK(memcmp(want, got, (size_t)kBytes[format]) == 0, "%s: pixel (%d, %d) differs",
                  kNames[format], x, y);
        }
    }
    return 0;
}

static int checkFormat(const char* path, const unsigned char* data, size_t size,
                       const xqob_image* stored, int format) {
    xqob_error error = {.struct_size = sizeof error};
    /* The caller's buffer, rows 13 bytes longer than needed, guard bytes after each row. */
    const size_t row = (size_t)stored->width * (size_t)kBytes[format];
    const size_t stride = row + 13;
    const size_t bytes = stride * (size_t)stored->height;
    unsigned char* buffer = malloc(bytes ? bytes : 1);
    CHECK(buffer != NULL, "out of memory");
    memset(buffer, 0xA5, bytes);
    xqob_image image = {.struct_size = sizeof image};
    image.format = format;
    image.stride = stride;
    image.pixels = buffer;
    image.buffer_size = bytes;
    xqob_status status = xqob_decode_memory(data, size, NULL, &image, &error);
    CHECK(status == XQOB_OK, "%s: %s", kNames[format], error.message);
    CHECK(image.pixels == buffer && image.stride == stride, "%s: buffer replaced", kNames[format]);
    int failed = compare(path, stored, &image, format);
    for (size_t y = 0; !failed && y < (size_t)stored->height; ++y) {
        for (size_t i = row; i < stride; ++i) {
            if (buffer[y * stride + i] != 0xA5) failed = 1;
        }
    }
    free(buffer);
    CHECK(!failed, "%s: caller's buffer wrong or written beyond the rows", kNames[format]);

    /* One byte short: refused before decoding. */
    if (bytes != 0) {
        xqob_image small = {.struct_size = sizeof small};
        unsigned char one = 0;
        small.format = format;
        small.pixels = &one;
        small.buffer_size = row * (size_t)stored->height - 1;
        status = xqob_decode_memory(data, size, NULL, &small, &error);
        CHECK(status == XQOB_ERROR_BUFFER_TOO_SMALL, "%s: short buffer gives %d", kNames[format],
              status);
        /* Built with -Wextra -Werror: the returned status and the record's compare cleanly. */
        CHECK(error.status == status, "%s: error.status %d", kNames[format], error.status);
    }

    /* Library-allocated, packed, from the file. */
    xqob_image allocated = {.struct_size = sizeof allocated};
    allocated.format = format;
    status = xqob_decode_file(path, NULL, &allocated, &error);
    CHECK(status == XQOB_OK, "%s from file: %s", kNames[format], error.message);
    CHECK(allocated.stride == row, "%s: stride %zu", kNames[format], allocated.stride);
    failed = compare(path, stored, &allocated, format);
    xqob_free(allocated.pixels);
    return failed;
}

static int checkSample(const char* path) {
    size_t size = 0;
    unsigned char* data = slurp(path, &size);
    CHECK(data != NULL, "cannot read");
    xqob_error error = {.struct_size = sizeof error};
    xqob_info info = {.struct_size = sizeof info};
    CHECK(xqob_info_memory(data, size, &info, &error) == XQOB_OK, "info: %s", error.message);

    /* The picture as stored, through the read callback in short pieces. */
    struct Reader reader = {fopen(path, "rb"), 0};
    CHECK(reader.file != NULL, "cannot open");
    xqob_image stored = {.struct_size = sizeof stored};
    xqob_status status = xqob_decode_callback(readFile, &reader, NULL, &stored, &error);
    fclose(reader.file);
    CHECK(status == XQOB_OK, "callback: %s", error.message);
    CHECK(stored.format == (info.gray ? XQOB_FORMAT_GRAY : XQOB_FORMAT_RGB), "AUTO gave format %d",
          stored.format);
    CHECK(stored.width == info.width && stored.height == info.height, "size differs from info");

    int failed = 0;
    for (int format = XQOB_FORMAT_GRAY; format <= XQOB_FORMAT_BGR && !failed; ++format) {
        failed = checkFormat(path, data, size, &stored, format);
    }
    if (!failed) {
        printf("%s: %dx%d %s, %d formats, strides and sources agree\n", path, info.width,
               info.height, info.gray ? "gray" : "colour", XQOB_FORMAT_BGR);
    }
    xqob_free(stored.pixels);
    free(data);
    return failed;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE.qob...\n", argv[0]);
        return 2;
    }
    printf("xqob %s (0x%06x)\n", xqob_version_string(), (unsigned)xqob_version());
    int failed = 0;
    for (int i = 1; i < argc; ++i) failed |= checkSample(argv[i]);
    return failed;
}
