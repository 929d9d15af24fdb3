/* The C functions behind xqob.mjs: each one call of the C interface, with plain arguments
 * and results in a small block of int32 words, so that the JavaScript side never depends on
 * the layout of the interface's structs. The block is the caller's (one per instance). */
#include <malloc.h>
#include <stdint.h>
#include <string.h>

#include <xqob/xqob.h>

#define XQOB_WEB_EXPORT __attribute__((used, visibility("default")))

enum { MESSAGE_BYTES = 256 };

static void copy_message(const xqob_error* error, char* message) {
    memcpy(message, error->message, MESSAGE_BYTES);
    message[MESSAGE_BYTES - 1] = '\0';
}

/* out: width, height, gray, quality, chroma quality, full chroma. */
XQOB_WEB_EXPORT int32_t xqob_web_info(const void* data, size_t size, int32_t* out, char* message) {
    xqob_info info = {.struct_size = sizeof info};
    xqob_error error = {.struct_size = sizeof error};
    const xqob_status status = xqob_info_memory(data, size, &info, &error);
    copy_message(&error, message);
    if (status != XQOB_OK) return status;
    out[0] = info.width;
    out[1] = info.height;
    out[2] = info.gray;
    out[3] = info.quality;
    out[4] = info.chroma_quality;
    out[5] = info.full_chroma;
    return XQOB_OK;
}

/* Packed rows in format. out: width, height, pixels (for xqob_free; 0 for an empty picture),
 * bytes. */
XQOB_WEB_EXPORT int32_t xqob_web_decode(const void* data, size_t size, int32_t format, int32_t* out,
                                        char* message) {
    xqob_image image = {.struct_size = sizeof image, .format = format};
    xqob_error error = {.struct_size = sizeof error};
    const xqob_status status = xqob_decode_memory(data, size, NULL, &image, &error);
    copy_message(&error, message);
    if (status != XQOB_OK) return status;
    out[0] = image.width;
    out[1] = image.height;
    out[2] = (int32_t)(uintptr_t)image.pixels;
    out[3] = image.pixels != NULL ? (int32_t)image.buffer_size : 0;
    return XQOB_OK;
}

/* Packed rows in format. out: file (for xqob_free), bytes. */
XQOB_WEB_EXPORT int32_t xqob_web_encode(const uint8_t* pixels, int32_t width, int32_t height,
                                        int32_t format, int32_t quality, int32_t chroma_quality,
                                        int32_t gray, int32_t full_chroma, int32_t optional_block,
                                        int32_t* out, char* message) {
    xqob_image image = {.struct_size = sizeof image,
                        .format = format,
                        .width = width,
                        .height = height,
                        .pixels = (uint8_t*)pixels};
    xqob_encode_options options;
    xqob_init_encode_options(&options, sizeof options);
    options.quality = quality;
    options.chroma_quality = chroma_quality;
    options.gray = gray;
    options.full_chroma = full_chroma;
    options.optional_block = optional_block;
    xqob_error error = {.struct_size = sizeof error};
    uint8_t* file = NULL;
    size_t file_size = 0;
    const xqob_status status = xqob_encode(&image, &options, &file, &file_size, &error);
    copy_message(&error, message);
    if (status != XQOB_OK) return status;
    out[0] = (int32_t)(uintptr_t)file;
    out[1] = (int32_t)file_size;
    return XQOB_OK;
}

/* Bytes of the heap in use, for the tests that check that every call frees what it took. */
XQOB_WEB_EXPORT int32_t xqob_web_heap_in_use(void) {
    return (int32_t)mallinfo().uordblks;
}
