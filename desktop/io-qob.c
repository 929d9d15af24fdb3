/* GdkPixbuf loader for QOB pictures, over the xqob C interface.
 *
 * GTK programs, file choosers and gdk-pixbuf-thumbnailer read pictures through loaders like
 * this one. Two ways in:
 * - load: the whole file from a FILE stream, read through the library's read callback;
 * - begin_load / load_increment / stop_load: bytes pushed in pieces of any size.
 *
 * A QOB payload runs to the end of the file and is decoded in one pass, so the incremental
 * path keeps the bytes it is given and decodes once the caller says the input is complete
 * (stop_load). It reads the header as soon as enough bytes have arrived: a file that is not
 * QOB, has a bad header or exceeds the pixel limit fails at once, and the size-prepared
 * callback learns the size before the payload is stored. GdkPixbufLoader scales the decoded
 * picture down to the size the callback chose, which is how thumbnails are made.
 *
 * Pictures are delivered as 8-bit RGB without alpha; gray pictures expand to R = G = B. Every
 * failure is a GError in GDK_PIXBUF_ERROR carrying the library's message. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include "xqob/xqob.h"

/* Pictures above this many pixels are refused before the pixel buffer is allocated: 2^28
 * pixels are 768 MiB of RGB, already more than a thumbnailer should be asked to hold. */
#define QOB_LOADER_MAX_PIXELS XQOB_DEFAULT_MAX_PIXELS

typedef struct {
    GdkPixbufModuleSizeFunc size_func;
    GdkPixbufModulePreparedFunc prepared_func;
    GdkPixbufModuleUpdatedFunc updated_func;
    gpointer user_data;
    GByteArray* bytes;      /* everything received so far */
    gboolean header_read;   /* the size callback has run */
    gboolean size_declined; /* the size callback asked for no picture: ignore the rest */
    gboolean failed;        /* an error was reported; later calls fail the same way */
} QobContext;

static GdkPixbufError pixbuf_error_code(int32_t status) {
    switch (status) {
        case XQOB_ERROR_NOT_QOB:
            return GDK_PIXBUF_ERROR_UNKNOWN_TYPE;
        case XQOB_ERROR_TOO_LARGE:
        case XQOB_ERROR_OUT_OF_MEMORY:
            return GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY;
        case XQOB_ERROR_CANNOT_OPEN:
        case XQOB_ERROR_READ_FAILED:
        case XQOB_ERROR_FILE_CHANGED:
            return GDK_PIXBUF_ERROR_FAILED;
        default:
            return GDK_PIXBUF_ERROR_CORRUPT_IMAGE;
    }
}

static void set_qob_error(GError** error, const xqob_error* failure) {
    const char* message =
        failure->message[0] != '\0' ? failure->message : xqob_status_string(failure->status);
    g_set_error_literal(error, GDK_PIXBUF_ERROR, pixbuf_error_code(failure->status), message);
}

static void init_options(xqob_decode_options* options) {
    xqob_init_decode_options(options, sizeof *options);
    options->max_pixels = QOB_LOADER_MAX_PIXELS;
    options->threads = 1;
}

static void free_pixels(guchar* pixels, gpointer data) {
    (void)data;
    xqob_free(pixels);
}

/* A picture without rows or columns is valid QOB but cannot be a GdkPixbuf. */
static gboolean check_not_empty(int32_t width, int32_t height, GError** error) {
    if (width > 0 && height > 0) return TRUE;
    g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
                "QOB picture of %d x %d pixels has nothing to show", (int)width, (int)height);
    return FALSE;
}

/* Wraps decoded packed RGB rows; the pixbuf owns them from here on. */
static GdkPixbuf* wrap_pixels(xqob_image* image, GError** error) {
    GdkPixbuf* pixbuf =
        gdk_pixbuf_new_from_data(image->pixels, GDK_COLORSPACE_RGB, FALSE, 8, image->width,
                                 image->height, (int)image->stride, free_pixels, NULL);
    if (pixbuf == NULL) {
        xqob_free(image->pixels);
        g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
                            "cannot allocate the picture");
    }
    image->pixels = NULL;
    return pixbuf;
}

/* The picture of a finished decode, or NULL with *error set. */
static GdkPixbuf* finish_decode(xqob_status status, xqob_image* image, const xqob_error* failure,
                                GError** error) {
    if (status != XQOB_OK) {
        set_qob_error(error, failure);
        return NULL;
    }
    if (!check_not_empty(image->width, image->height, error)) return NULL;
    return wrap_pixels(image, error);
}

/* Decodes a whole file held in memory. */
static GdkPixbuf* decode_bytes(const guint8* data, gsize size, GError** error) {
    xqob_decode_options options;
    xqob_image image = {.struct_size = sizeof image, .format = XQOB_FORMAT_RGB};
    xqob_error failure = {.struct_size = sizeof failure};
    init_options(&options);
    xqob_status status = xqob_decode_memory(data, size, &options, &image, &failure);
    return finish_decode(status, &image, &failure, error);
}

/* ---- Whole file from a stream ---- */

typedef struct {
    FILE* file;
} StreamInput;

static size_t read_stream(void* opaque, void* buffer, size_t size) {
    StreamInput* input = opaque;
    size_t count = fread(buffer, 1, size, input->file);
    if (count < size && ferror(input->file)) return (size_t)-1;
    return count;
}

static GdkPixbuf* qob_image_load(FILE* file, GError** error) {
    StreamInput input = {file};
    xqob_decode_options options;
    xqob_image image = {.struct_size = sizeof image, .format = XQOB_FORMAT_RGB};
    xqob_error failure = {.struct_size = sizeof failure};
    init_options(&options);
    xqob_status status = xqob_decode_callback(read_stream, &input, &options, &image, &failure);
    return finish_decode(status, &image, &failure, error);
}

/* ---- Bytes in pieces ---- */

static gpointer qob_image_begin_load(GdkPixbufModuleSizeFunc size_func,
                                     GdkPixbufModulePreparedFunc prepared_func,
                                     GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data,
                                     GError** error) {
    (void)error;
    QobContext* context = g_new0(QobContext, 1);
    context->size_func = size_func;
    context->prepared_func = prepared_func;
    context->updated_func = updated_func;
    context->user_data = user_data;
    context->bytes = g_byte_array_new();
    return context;
}

static void free_context(QobContext* context) {
    g_byte_array_unref(context->bytes);
    g_free(context);
}

/* Reads the header once enough bytes are there. Returns FALSE on failure; leaves
 * header_read unset while the header is still incomplete. */
static gboolean read_header(QobContext* context, GError** error) {
    xqob_info info = {.struct_size = sizeof info};
    xqob_error failure = {.struct_size = sizeof failure};
    xqob_status status =
        xqob_info_memory(context->bytes->data, context->bytes->len, &info, &failure);
    if (status == XQOB_ERROR_TRUNCATED) return TRUE;
    if (status != XQOB_OK) {
        set_qob_error(error, &failure);
        return FALSE;
    }
    context->header_read = TRUE;
    if (!check_not_empty(info.width, info.height, error)) return FALSE;
    if ((uint64_t)info.width * (uint64_t)info.height > QOB_LOADER_MAX_PIXELS) {
        g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
                    "picture of %d x %d exceeds the limit of %llu pixels", (int)info.width,
                    (int)info.height, (unsigned long long)QOB_LOADER_MAX_PIXELS);
        return FALSE;
    }
    if (context->size_func != NULL) {
        gint width = info.width;
        gint height = info.height;
        context->size_func(&width, &height, context->user_data);
        /* A size of 0 is the caller's way of asking for the header alone
         * (gdk_pixbuf_get_file_info). */
        if (width == 0 || height == 0) {
            context->size_declined = TRUE;
            g_byte_array_set_size(context->bytes, 0);
        }
    }
    return TRUE;
}

static gboolean qob_image_load_increment(gpointer data, const guchar* buf, guint size,
                                         GError** error) {
    QobContext* context = data;
    if (context->failed) {
        g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED,
                            "the QOB loader already failed");
        return FALSE;
    }
    if (context->size_declined) return TRUE;
    g_byte_array_append(context->bytes, buf, size);
    if (!context->header_read && !read_header(context, error)) {
        context->failed = TRUE;
        return FALSE;
    }
    return TRUE;
}

static gboolean qob_image_stop_load(gpointer data, GError** error) {
    QobContext* context = data;
    gboolean ok = TRUE;
    if (context->failed) {
        g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED,
                            "the QOB loader already failed");
        ok = FALSE;
    } else if (context->size_declined) {
        ok = TRUE;
    } else {
        GdkPixbuf* pixbuf = decode_bytes(context->bytes->data, context->bytes->len, error);
        if (pixbuf == NULL) {
            ok = FALSE;
        } else {
            if (context->prepared_func != NULL)
                context->prepared_func(pixbuf, NULL, context->user_data);
            if (context->updated_func != NULL)
                context->updated_func(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf),
                                      gdk_pixbuf_get_height(pixbuf), context->user_data);
            g_object_unref(pixbuf);
        }
    }
    free_context(context);
    return ok;
}

/* ---- Registration ---- */

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module);
G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info);

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module) {
    module->load = qob_image_load;
    module->begin_load = qob_image_begin_load;
    module->stop_load = qob_image_stop_load;
    module->load_increment = qob_image_load_increment;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info) {
    static GdkPixbufModulePattern signature[] = {
        {"QOB", NULL, 100},
        {NULL, NULL, 0},
    };
    static gchar* mime_types[] = {"image/x-qob", NULL};
    static gchar* extensions[] = {"qob", NULL};

    info->name = "qob";
    info->signature = signature;
    info->description = "QOB picture";
    info->mime_types = mime_types;
    info->extensions = extensions;
    info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
    info->license = "BSD";
}
