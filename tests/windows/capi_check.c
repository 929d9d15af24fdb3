/* Prints what the C interface makes of each file named on the command line: the header, and
 * a digest of every decode in every pixel format into packed and padded caller buffers and
 * into allocated ones, from a file, from memory and through a read callback; or the status
 * and message of a refusal. Built for Linux and for Windows, the two outputs must be equal.
 * On Windows it also prints lines starting "windows:" about the UTF-16 file functions. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <xqob/xqob.h>

#ifdef _WIN32
#include <wchar.h>
#endif

static const int kBytes[] = {0, 1, 3, 4, 4, 3};

/* FNV-1a, 64 bits: equal digests mean equal bytes for the purpose of this comparison. */
static unsigned long long digest(const unsigned char* data, size_t size) {
    unsigned long long hash = 1469598103934665603ULL;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ULL;
    return hash;
}

static size_t readFile(void* opaque, void* buffer, size_t size) {
    FILE* file = (FILE*)opaque;
    if (size > 777) size = 777; /* short reads, as from a pipe */
    size_t got = fread(buffer, 1, size, file);
    return ferror(file) ? (size_t)-1 : got;
}

static unsigned char* slurp(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    unsigned char* data = NULL;
    size_t used = 0, got;
    unsigned char block[4096];
    while ((got = fread(block, 1, sizeof block, file)) > 0) {
        data = realloc(data, used + got);
        memcpy(data + used, block, got);
        used += got;
    }
    fclose(file);
    *size = used;
    return data != NULL ? data : malloc(1);
}

/* One decode: source 0 file, 1 memory, 2 callback; padding -1 for an allocated buffer. */
static void decodeOnce(const char* path, int source, int format, int padding, int threads) {
    xqob_info info = {.struct_size = sizeof info};
    xqob_info_file(path, &info, NULL);
    xqob_image image = {.struct_size = sizeof image};
    xqob_error error = {.struct_size = sizeof error};
    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    options.threads = threads;
    image.format = format;
    size_t size = 0;
    const int bytes = kBytes[format != 0 ? format : (info.gray ? 1 : 2)];
    if (padding >= 0) {
        image.stride = (size_t)info.width * bytes + padding;
        size = image.stride * (size_t)info.height + 1;
        image.pixels = malloc(size);
        memset(image.pixels, 0xA5, size);
        image.buffer_size = size;
    }
    int status;
    if (source == 0) {
        status = xqob_decode_file(path, &options, &image, &error);
    } else if (source == 1) {
        size_t length = 0;
        unsigned char* data = slurp(path, &length);
        status = xqob_decode_memory(data, length, &options, &image, &error);
        free(data);
    } else {
        FILE* file = fopen(path, "rb");
        if (file == NULL) return;
        status = xqob_decode_callback(readFile, file, &options, &image, &error);
        fclose(file);
    }
    if (padding < 0) size = image.pixels != NULL ? image.stride * (size_t)image.height : 0;
    printf(
        "  source %d format %d padding %d threads %d: status %d \"%s\" -> format %d %dx%d "
        "stride %u digest %016llx\n",
        source, format, padding, threads, status, error.message, image.format, image.width,
        image.height, (unsigned)image.stride,
        image.pixels != NULL ? digest(image.pixels, size) : 0ULL);
    if (padding < 0) {
        xqob_free(image.pixels);
    } else {
        free(image.pixels);
    }
}

/* Refusals of the arguments themselves. */
static void refuseArguments(const char* path) {
    xqob_error error = {.struct_size = sizeof error};
    xqob_image image = {.struct_size = sizeof image};
    unsigned char small[16];
    int status = xqob_decode_file(path, NULL, NULL, &error);
    printf("no image: %d \"%s\"\n", status, error.message);
    image.format = 9;
    status = xqob_decode_file(path, NULL, &image, &error);
    printf("format 9: %d \"%s\"\n", status, error.message);
    image.format = XQOB_FORMAT_RGB;
    image.pixels = small;
    image.buffer_size = sizeof small;
    status = xqob_decode_file(path, NULL, &image, &error);
    printf("buffer of 16: %d \"%s\"\n", status, error.message);
    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    options.max_pixels = 1;
    image.pixels = NULL;
    status = xqob_decode_file(path, &options, &image, &error);
    printf("max_pixels 1: %d \"%s\"\n", status, error.message);
    status = xqob_decode_file(NULL, NULL, &image, &error);
    printf("no path: %d \"%s\"\n", status, error.message);
}

#ifdef _WIN32
/* A copy of path under a name that no ANSI code page holds, read through the UTF-16
 * functions and through the char ones given its UTF-8 bytes. */
static void wideNames(const char* path, const char* folder) {
    wchar_t name[512];
    swprintf(name, 512, L"%hs\\pr\u00f8ve-\u03c0-\u5199\u771f.qob", folder);
    size_t length = 0;
    unsigned char* data = slurp(path, &length);
    FILE* copy = _wfopen(name, L"wb");
    if (copy == NULL || data == NULL) {
        printf("windows: cannot write the copy\n");
        return;
    }
    fwrite(data, 1, length, copy);
    fclose(copy);
    free(data);
    xqob_info info = {.struct_size = sizeof info};
    xqob_error error = {.struct_size = sizeof error};
    int status = xqob_info_file_w(name, &info, &error);
    printf("windows: info_file_w %d \"%s\" %dx%d payload %llu\n", status, error.message, info.width,
           info.height, (unsigned long long)info.payload_bytes);
    for (int threads = 1; threads <= 2; ++threads) {
        xqob_decode_options options;
        xqob_init_decode_options(&options, sizeof options);
        options.threads = threads;
        xqob_image image = {.struct_size = sizeof image};
        status = xqob_decode_file_w(name, &options, &image, &error);
        printf("windows: decode_file_w threads %d: %d \"%s\" digest %016llx\n", threads, status,
               error.message,
               image.pixels ? digest(image.pixels, image.stride * (size_t)image.height) : 0ULL);
        xqob_free(image.pixels);
    }
    char utf8[1024];
    snprintf(utf8, sizeof utf8, "%s\\pr\xc3\xb8ve-\xcf\x80-\xe5\x86\x99\xe7\x9c\x9f.qob", folder);
    status = xqob_info_file(utf8, &info, &error);
    printf("windows: info_file (UTF-8 bytes) %d \"%s\"\n", status, error.message);
    xqob_image image = {.struct_size = sizeof image};
    status = xqob_decode_file_w(L"no such file.qob", NULL, &image, &error);
    printf("windows: decode_file_w missing %d \"%s\"\n", status, error.message);
    _wremove(name);
}
#endif

int main(int argc, char** argv) {
    int first = 1;
#ifdef _WIN32
    if (argc > 3 && strcmp(argv[1], "--wide") == 0) {
        wideNames(argv[2], argv[3]);
        first = 4;
    }
#endif
    printf("version %s %08x\n", xqob_version_string(), (unsigned)xqob_version());
    for (int i = first; i < argc; ++i) {
        const char* path = argv[i];
        const char* name = path;
        for (const char* c = path; *c != '\0'; ++c) {
            if (*c == '/' || *c == '\\') name = c + 1;
        }
        printf("%s\n", name);
        xqob_info info = {.struct_size = sizeof info};
        xqob_error error = {.struct_size = sizeof error};
        int status = xqob_info_file(path, &info, &error);
        printf(
            "  info %d \"%s\": %dx%d gray %d full %d quality %d chroma %d optional %d "
            "header %llu payload %llu\n",
            status, error.message, info.width, info.height, info.gray, info.full_chroma,
            info.quality, info.chroma_quality, info.optional_block,
            (unsigned long long)info.header_bytes, (unsigned long long)info.payload_bytes);
        if (status != XQOB_OK) {
            decodeOnce(path, 0, 0, -1, 1); /* the decode's own refusal */
            decodeOnce(path, 2, 0, -1, 1);
            continue;
        }
        for (int format = 0; format <= 5; ++format) {
            decodeOnce(path, 0, format, 0, 1);
            decodeOnce(path, 0, format, 13, 1);
            decodeOnce(path, 0, format, -1, 2);
            decodeOnce(path, 1, format, 7, 1);
            decodeOnce(path, 2, format, -1, 1);
        }
        if (i == first) refuseArguments(path);
    }
    return 0;
}
