/* xqob: read, decode and encode QOB pictures. The C interface (C99 and C++).
 *
 *   xqob_decode_options options;
 *   xqob_image image = {.struct_size = sizeof image};
 *   xqob_error error = {.struct_size = sizeof error};
 *   xqob_init_decode_options(&options, sizeof options);
 *   image.format = XQOB_FORMAT_RGBA;
 *   if (xqob_decode_file("photo.qob", &options, &image, &error) != XQOB_OK) {
 *       fprintf(stderr, "photo.qob: %s\n", error.message);
 *   } else {
 *       use(image.pixels, image.width, image.height, image.stride);
 *       xqob_free(image.pixels);
 *   }
 *
 * Structs carry their size in their first field, struct_size, which the caller sets to
 * sizeof the struct it was compiled with. Later versions only append fields, and the library
 * reads and writes only the fields that fit in struct_size, so a program built against an
 * older header keeps working with a newer library.
 *
 * Every function that can fail returns an xqob_status: XQOB_OK (0) on success, otherwise the
 * reason. When error is not NULL it receives the same status and a message a person can act
 * on, such as "quality index 101 out of range 0..100". On failure, nothing is allocated that
 * the caller must free, no file is left open, and the caller's buffer may hold the rows
 * decoded before the failure.
 *
 * Threads: the library keeps no global state. A decode may start one thread of its own (see
 * xqob_decode_options.threads), which ends before the call returns. Any
 * function may be called from any thread; separate decodes and encodes may run on separate
 * threads at the same time. One xqob_image, xqob_error or options struct must not be used by
 * two calls at once, and a read callback is called only from the thread that made the call.
 *
 * Output rows run top to bottom; stride is the number of bytes from the start of one row to
 * the start of the next. Samples are 8 bits.
 */
#ifndef XQOB_XQOB_H
#define XQOB_XQOB_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header, for #if checks; xqob_version() returns XQOB_VERSION of the
 * library loaded at run time. */
#define XQOB_VERSION_MAJOR 1
#define XQOB_VERSION_MINOR 0
#define XQOB_VERSION_PATCH 0
#define XQOB_VERSION ((XQOB_VERSION_MAJOR << 16) | (XQOB_VERSION_MINOR << 8) | XQOB_VERSION_PATCH)

#if defined(_WIN32) && defined(XQOB_SHARED)
#if defined(XQOB_BUILDING)
#define XQOB_API __declspec(dllexport)
#else
#define XQOB_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define XQOB_API __attribute__((visibility("default")))
#else
#define XQOB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Each enum has a last member below every real value, so that it is a signed 32-bit type in
 * every C and C++ compiler (even with -fshort-enums): comparing a returned status with
 * error.status, or image.format with an xqob_format, warns nowhere. The struct fields that
 * hold them are int32_t, which C and C++ assign from the enums and from plain integers. */
typedef enum xqob_status {
    XQOB_OK = 0,
    XQOB_ERROR_CANNOT_OPEN = 1,         /* the file cannot be opened */
    XQOB_ERROR_NOT_QOB = 2,             /* the input does not start with "QOB" */
    XQOB_ERROR_BAD_HEADER = 3,          /* a header field is out of range */
    XQOB_ERROR_TRUNCATED = 4,           /* the input ends inside the header or the payload */
    XQOB_ERROR_TOO_LARGE = 5,           /* width x height exceeds the pixel limit */
    XQOB_ERROR_OUT_OF_MEMORY = 6,       /* an allocation failed or a size does not fit */
    XQOB_ERROR_FILE_CHANGED = 7,        /* the file changed while it was being read */
    XQOB_ERROR_INVALID_ARGUMENT = 8,    /* a bad pointer, size, format, stride or option */
    XQOB_ERROR_BUFFER_TOO_SMALL = 9,    /* the caller's buffer cannot hold the picture */
    XQOB_ERROR_READ_FAILED = 10,        /* the read callback reported an error */
    XQOB_ERROR_ABORTED = 11,            /* the row callback asked to stop */
    XQOB_STATUS_FORCE_INT32 = INT32_MIN /* not a status: makes the type signed 32-bit */
} xqob_status;

/* Pixel formats of decoded and source pictures, in byte order.
 * - AUTO: decode only; GRAY for a gray picture, RGB for a colour one (as stored).
 * - Gray pictures expand into the colour formats with R = G = B.
 * - Alpha is written as 255; it is ignored when encoding (QOB has no alpha).
 * - Colour pictures decoded to GRAY are converted from the decoded R, G, B with the
 *   BT.601 weights used by the colour conversion itself:
 *   gray = (19595 R + 38470 G + 7471 B + 32768) >> 16. */
typedef enum xqob_format {
    XQOB_FORMAT_AUTO = 0,
    XQOB_FORMAT_GRAY = 1,               /* 1 byte per pixel */
    XQOB_FORMAT_RGB = 2,                /* 3 bytes: R, G, B */
    XQOB_FORMAT_RGBA = 3,               /* 4 bytes: R, G, B, A */
    XQOB_FORMAT_BGRA = 4,               /* 4 bytes: B, G, R, A */
    XQOB_FORMAT_BGR = 5,                /* 3 bytes: B, G, R */
    XQOB_FORMAT_FORCE_INT32 = INT32_MIN /* not a format: makes the type signed 32-bit */
} xqob_format;

/* The default limit on width x height: 2^28 pixels. */
#define XQOB_DEFAULT_MAX_PIXELS ((uint64_t)1 << 28)

typedef struct xqob_error {
    size_t struct_size; /* in: sizeof(xqob_error) */
    int32_t status;     /* out: the xqob_status the call returned */
    char message[256];  /* out: NUL-terminated; "" on success */
} xqob_error;

/* What the header says. */
typedef struct xqob_info {
    size_t struct_size;     /* in: sizeof(xqob_info) */
    int32_t width;          /* 0..65535 */
    int32_t height;         /* 0..65535 */
    int32_t gray;           /* 1: luma only */
    int32_t full_chroma;    /* 1: chroma at full resolution; 0: half in each direction */
    int32_t quality;        /* 0..100, higher is better */
    int32_t chroma_quality; /* 0..80, higher is better */
    int32_t optional_block; /* 1: the header carries the optional 10-byte block */
    uint64_t header_bytes;  /* 14 or 24 */
    uint64_t payload_bytes; /* bytes after the header; 0 when read through a callback */
} xqob_info;

/* A picture in memory: the destination of a decode or the source of an encode. */
typedef struct xqob_image {
    size_t struct_size; /* in: sizeof(xqob_image) */
    int32_t format;     /* decode in: wanted xqob_format; out: the one written (AUTO resolved) */
    int32_t width;      /* decode out; encode in: 0..65535 */
    int32_t height;     /* decode out; encode in: 0..65535 */
    size_t stride;      /* in: bytes per row, 0 for packed rows; decode out: the stride used */
    uint8_t* pixels;    /* decode in: the caller's buffer, or NULL to have one allocated (out),
                         * freed with xqob_free; encode in: the source rows */
    size_t buffer_size; /* decode in: bytes at pixels (caller's buffer); out: bytes allocated */
    int32_t rows_only;  /* decode in: 1 keeps no whole picture: each group of rows reaches
                         * row_callback (required) in a buffer of at most 16 rows at stride
                         * that the library reuses; pixels must be NULL and stays NULL.
                         * For a picture larger than memory, or one written out row by row. */
} xqob_image;

/* Rows delivered during a decode, as soon as they are final: row_count rows from first_row
 * on, at rows with the image's stride, already in the image's format and in their place in
 * the output (the caller's buffer, the one the library allocates, or the reused buffer of
 * rows_only). Before the first call, image->width, height, format and stride already hold
 * the picture's values (the opaque pointer may lead to image). Rows arrive top to
 * bottom, each once, in groups of 16 (the last group may be shorter), while the picture
 * is still decoding; the rows below a group are not written yet. Called on the thread that
 * made the call. Return 0 to go on, anything else to stop the decode at once with
 * XQOB_ERROR_ABORTED: no further row is written and no further call made. A decode that
 * fails part way (a truncated payload) makes no further call and returns the same failure
 * as without a callback; the rows written before it stay in the caller's buffer, and a
 * buffer the library allocated is freed. */
typedef int (*xqob_row_callback)(void* opaque, const uint8_t* rows, size_t stride,
                                 int32_t first_row, int32_t row_count);

typedef struct xqob_decode_options {
    size_t struct_size;  /* sizeof(xqob_decode_options) */
    uint64_t max_pixels; /* refuse larger pictures before any large allocation; 0 lifts it */
    int32_t threads;     /* 0: as many as help, which is 2 on a machine of 2 or more cores
                          * for a picture of 400000 pixels or more, else 1;
                          * 1: the calling thread only; 2 or more: a second thread reads the
                          * payload ahead of the calling thread, which reconstructs and calls
                          * row_callback. The result and any error are the same for every
                          * count. */
    xqob_row_callback row_callback; /* optional */
    void* row_opaque;               /* passed to row_callback */
} xqob_decode_options;

typedef struct xqob_encode_options {
    size_t struct_size;     /* sizeof(xqob_encode_options) */
    int32_t quality;        /* 0..100, default 75 */
    int32_t chroma_quality; /* 0..80; -1 (default) follows quality, 52 at quality 75 */
    int32_t gray;           /* 1: store luma only, also from a colour source */
    int32_t full_chroma;    /* 1: chroma at full resolution instead of half */
    int32_t optional_block; /* 1: write the optional 10-byte header block (zeros) */
} xqob_encode_options;

/* Reads up to size bytes into buffer and returns how many it placed there. Fewer than size
 * only at the end of the input, 0 once it is over; (size_t)-1 for a read error. Each byte of
 * the input is asked for once, in order: a pipe or a socket works. */
typedef size_t (*xqob_read_callback)(void* opaque, void* buffer, size_t size);

/* The library's version: "major.minor.patch", and major << 16 | minor << 8 | patch, equal to
 * XQOB_VERSION when the header and the library are of the same version. */
XQOB_API const char* xqob_version_string(void);
XQOB_API uint32_t xqob_version(void);

/* A short fixed description of a status, e.g. "truncated input". Never NULL. */
XQOB_API const char* xqob_status_string(int32_t status);

/* Set struct_size and the defaults: XQOB_DEFAULT_MAX_PIXELS, threads 1, no row callback;
 * quality 75, chroma quality -1, half-resolution colour. struct_size is sizeof the caller's
 * struct; it must be at least the size of the first version of the struct. */
XQOB_API xqob_status xqob_init_decode_options(xqob_decode_options* options, size_t struct_size);
XQOB_API xqob_status xqob_init_encode_options(xqob_encode_options* options, size_t struct_size);

/* Header information. Reads only the header: from memory, from a file, or through read
 * (at most 24 bytes are asked for). A path that names a directory or anything else that is
 * neither a regular file nor a readable stream gets XQOB_ERROR_CANNOT_OPEN, saying what it
 * is, as do the decodes. */
XQOB_API xqob_status xqob_info_memory(const void* data, size_t size, xqob_info* info,
                                      xqob_error* error);
XQOB_API xqob_status xqob_info_file(const char* path, xqob_info* info, xqob_error* error);
XQOB_API xqob_status xqob_info_callback(xqob_read_callback read, void* opaque, xqob_info* info,
                                        xqob_error* error);

/* Decodes a whole picture into image (see xqob_image). options may be NULL for the
 * defaults. Into the caller's buffer (image->pixels set): height rows of image->stride bytes
 * must fit in image->buffer_size, the last row needing only width x bytes per pixel;
 * otherwise XQOB_ERROR_BUFFER_TOO_SMALL before any decoding. With image->pixels NULL, the
 * library allocates height x stride bytes (stride 0: packed rows; the last row needs only
 * width x bytes per pixel) when the first row is ready, so that a picture that fails
 * before then allocates nothing; free them with xqob_free. On failure the buffer is freed and
 * image->pixels stays NULL. A picture of width or height 0 decodes to no rows, and then
 * nothing is allocated (pixels stays NULL). Rows are written as they are decoded, each
 * once, straight into their place. */
XQOB_API xqob_status xqob_decode_memory(const void* data, size_t size,
                                        const xqob_decode_options* options, xqob_image* image,
                                        xqob_error* error);
XQOB_API xqob_status xqob_decode_file(const char* path, const xqob_decode_options* options,
                                      xqob_image* image, xqob_error* error);
/* Reads the input once, in order, through read. On the calling thread alone (options.threads
 * 1, the default) the payload streams through the decoder as it arrives, a few kilobytes at
 * a time: the input is never held whole, rows reach row_callback before all of it has been
 * read, and a decode that fails or is stopped reads no further; once the picture has
 * decoded, the rest of the input is read to its end. With a second thread, which reads the
 * payload, the input is read whole first (read is called only on the calling thread), then
 * decoded. A header that is refused (not QOB, a bad field) stops the reading after it. */
XQOB_API xqob_status xqob_decode_callback(xqob_read_callback read, void* opaque,
                                          const xqob_decode_options* options, xqob_image* image,
                                          xqob_error* error);

/* Encodes image (any format but AUTO; rows at image->stride, 0 for packed) into a QOB file
 * in a buffer the library allocates: *output, *output_size bytes, freed with xqob_free.
 * options may be NULL for the defaults. A GRAY source is always stored gray. */
XQOB_API xqob_status xqob_encode(const xqob_image* image, const xqob_encode_options* options,
                                 uint8_t** output, size_t* output_size, xqob_error* error);

/* Frees what the library allocated (decoded pixels, encoded files). NULL is allowed. */
XQOB_API void xqob_free(void* pointer);

#ifdef _WIN32
/* Windows: the file functions above take the path as the C runtime does, in the ANSI code
 * page. These take it as UTF-16, which names every file, and otherwise behave the same
 * (the file is read once, in order, as through a read callback). */
XQOB_API xqob_status xqob_info_file_w(const wchar_t* path, xqob_info* info, xqob_error* error);
XQOB_API xqob_status xqob_decode_file_w(const wchar_t* path, const xqob_decode_options* options,
                                        xqob_image* image, xqob_error* error);
#endif

#ifdef __cplusplus
}
#endif

#endif /* XQOB_XQOB_H */
